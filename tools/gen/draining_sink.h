// An entry sink that feeds the engine's ring the way a paced file source does: when the ring is
// full it drains it first, so nothing is lost however fast entries arrive. Benchmarks and fuzz
// targets use it to run the audio slicer or a capture straight into a Monitor.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/monitor.h"
#include "input/audio_slicer.h"
#include "input/entry_timeline.h"

namespace pagora::gen {

class DrainingSink : public EntrySink {
 public:
  explicit DrainingSink(Monitor& m) : m_(m) {}
  void Put(std::uint16_t duration, std::uint8_t status) override {
    if (m_.ring.Free() == 0)
      m_.Drain();
    m_.ring.Push(duration, status);
  }

 private:
  Monitor& m_;
};

// Runs `audio` through `slicer` into `m` as a paced file source does: 100 ms at a time, the
// ring drained and the engine ticked after each step with `setClock(seconds since the start)`
// called first, then the end of the signal handed over and the engine destroyed.
template <class SetClock>
void DecodeAudio(Monitor& m, AudioSlicer& slicer, const std::vector<float>& audio,
                 double sampleRate, SetClock setClock) {
  DrainingSink sink(m);
  const auto tick = static_cast<std::size_t>(sampleRate / 10);
  double t = 0;
  for (std::size_t at = 0; at < audio.size(); at += tick) {
    slicer.Process(audio.data() + at, std::min(tick, audio.size() - at), sink);
    m.Drain();
    t += 0.1;
    setClock(t);
    m.Tick();
  }
  slicer.Finish(sink);
  m.Drain();
  m.Tick();
  m.Destroy();
}

}  // namespace pagora::gen
