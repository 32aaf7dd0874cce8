// Renders paging channels as FM-modulated IQ, as an SDR receiver would capture a band: each
// channel's discriminator audio (rendered as for a scanner, full deviation = level 3) drives the
// frequency of a carrier at its offset from the band's centre; then the receiver's faults: a
// frequency error common to every channel (the tuner's oscillator), IQ gain and phase
// imbalance, a DC spike at the centre, and white noise at a carrier-to-noise ratio.
#pragma once

#include <complex>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace pagora::gen {

struct IqChannel {
  double offsetHz = 0;
  double audioRate = 48000;
  std::vector<float> audio;  // +-1.0 = full deviation
};

struct IqRenderOptions {
  double sampleRate = 2.4e6;
  double deviationHz = 4800;  // for audio 1.0
  double frequencyErrorHz = 0;
  double iqGainDb = 0;    // Q's gain relative to I
  double iqPhaseDeg = 0;  // Q's phase error
  double dcSpike = 0;     // amplitude of a carrier at the centre, relative to a channel's
  // Carrier-to-noise ratio per channel in dB, the noise measured in kCnrBandwidthHz; infinity =
  // no noise.
  double cnrDb = std::numeric_limits<double>::infinity();
  std::uint64_t seed = 1;
};

// The bandwidth in which the carrier-to-noise ratio is measured: a paging channel's occupied
// bandwidth.
constexpr double kCnrBandwidthHz = 16000;

// Calls `output` with blocks of samples (each channel's carrier at amplitude 0.25 / channels,
// so that a sum of carriers never clips an 8-bit file) until the longest channel has ended.
void RenderIq(const std::vector<IqChannel>& channels, const IqRenderOptions& options,
              const std::function<void(const std::complex<float>*, std::size_t)>& output);

}  // namespace pagora::gen
