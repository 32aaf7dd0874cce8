#include "app/radio_source.h"

#include <cmath>
#include <cstdlib>

#include "input/producer_source.h"
#include "input/source_factory.h"
#include "sdr/iq_band.h"
#include "sdr/soapy_reader.h"

namespace pagora {

std::unique_ptr<SlicerSource> MakeInputSource(Monitor& monitor) {
  const AppSettings& s = monitor.settings;
  if (s.inputSource != kInputSdr) {
    monitor.channelFrequency = 0;
    return MakeSlicerSource(s);
  }
  std::optional<double> channel = sdr::ParseFrequency(s.sdrFrequency);
  sdr::SdrOptions options;
  options.device = s.sdrDevice;
  // The channel a quarter of the band above the centre, away from the receiver's DC spike.
  options.centreHz = channel.value_or(0) - options.sampleRate / 4;
  options.ppm = s.sdrPpm;
  char* end = nullptr;
  double gain = std::strtod(s.sdrGain.c_str(), &end);
  options.gainDb = end != s.sdrGain.c_str() && std::isfinite(gain) ? gain : NAN;
  monitor.channelFrequency = channel ? std::llround(*channel) : 0;
  auto band = std::make_shared<sdr::IqBand>(sdr::MakeSoapyReader(options), options.centreHz,
                                            std::vector<double>{channel.value_or(0)});
  AudioSlicerConfig slicer = SlicerConfigFor(s, 0);
  return std::make_unique<ProducerSource>(sdr::MakeIqChannelProducer(band, 0, slicer));
}

}  // namespace pagora
