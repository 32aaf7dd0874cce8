// Arbitrary samples through the audio slicer, 2- and 4-level, with and without the low-pass:
// whatever the sound card or file holds (NaN, infinities, clipping, silence), the slicer must
// put only entries the engine can take, and their durations must add up to the signal time.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/bit_recovery.h"
#include "input/audio_slicer.h"

namespace {

class CheckingSink : public pagora::EntrySink {
 public:
  void Put(std::uint16_t duration, std::uint8_t status) override {
    if (status != 0x00 && status != 0x10 && status != 0x30 && status != 0xB0)
      std::abort();
    ticks += duration;
  }
  double ticks = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2)
    return 0;
  static constexpr double kRates[4] = {8000, 22050, 48000, 11025};
  pagora::AudioSlicerConfig config;
  config.sampleRate = kRates[data[0] & 3];
  config.levels = data[0] & 4 ? 4 : 2;
  config.lowPassHz = data[0] & 8 ? pagora::kDefaultLowPassHz : 0;
  bool asFloat = data[0] & 16;       // raw floats (NaN and infinities included) or 16-bit samples
  std::size_t split = data[1] + 1u;  // block size, so blocking is exercised too

  std::vector<float> samples;
  if (asFloat) {
    for (std::size_t i = 2; i + 4 <= size; i += 4) {
      float f;
      std::memcpy(&f, data + i, 4);
      samples.push_back(f);
    }
  } else {
    for (std::size_t i = 2; i + 2 <= size; i += 2) {
      auto s = static_cast<std::int16_t>(data[i] | (data[i + 1] << 8));
      samples.push_back(static_cast<float>(s) / 32768.0f);
    }
  }

  pagora::AudioSlicer slicer(config);
  CheckingSink sink;
  for (std::size_t at = 0; at < samples.size(); at += split) {
    std::size_t n = std::min(split, samples.size() - at);
    slicer.Process(samples.data() + at, n, sink);
    if (slicer.level() < 0 || slicer.level() > 3)
      std::abort();
  }
  slicer.Finish(sink);
  // Entries describe the whole signal: rounding of each boundary is at most half a tick.
  double expected =
      static_cast<double>(samples.size()) / (config.sampleRate * pagora::kTickSeconds);
  if (!samples.empty() && std::fabs(sink.ticks - expected) > 1.0)
    std::abort();
  return 0;
}
