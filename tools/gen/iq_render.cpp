#include "iq_render.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace pagora::gen {

void RenderIq(const std::vector<IqChannel>& channels, const IqRenderOptions& options,
              const std::function<void(const std::complex<float>*, std::size_t)>& output) {
  const double fs = options.sampleRate;
  double seconds = 0;
  for (const IqChannel& c : channels)
    seconds = std::max(seconds, static_cast<double>(c.audio.size()) / c.audioRate);
  auto total = static_cast<std::int64_t>(seconds * fs);
  const double amplitude = 0.25 / static_cast<double>(std::max<std::size_t>(1, channels.size()));
  // Noise over the whole band with the power that gives the ratio within the reference band.
  double noiseSigma = 0;
  if (std::isfinite(options.cnrDb)) {
    double carrierPower = amplitude * amplitude;
    double noiseInBand = carrierPower / std::pow(10.0, options.cnrDb / 10);
    double noisePower = noiseInBand * fs / kCnrBandwidthHz;
    noiseSigma = std::sqrt(noisePower / 2);  // per component
  }
  std::mt19937_64 random(options.seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  const double qGain = std::pow(10.0, options.iqGainDb / 20);
  const double qPhase = options.iqPhaseDeg * std::numbers::pi / 180;
  std::vector<double> phase(channels.size(), 0.0);
  std::vector<std::complex<float>> block(8192);
  std::int64_t n = 0;
  while (n < total) {
    std::size_t count = static_cast<std::size_t>(std::min<std::int64_t>(total - n, 8192));
    for (std::size_t k = 0; k < count; ++k, ++n) {
      double t = static_cast<double>(n) / fs;
      double i = options.dcSpike * amplitude, q = 0;
      for (std::size_t c = 0; c < channels.size(); ++c) {
        const IqChannel& ch = channels[c];
        // Linear interpolation of the audio between its samples.
        double at = t * ch.audioRate;
        auto index = static_cast<std::size_t>(at);
        double a = 0;
        if (index + 1 < ch.audio.size()) {
          double frac = at - static_cast<double>(index);
          a = ch.audio[index] * (1 - frac) + ch.audio[index + 1] * frac;
        }
        double f = ch.offsetHz + options.frequencyErrorHz + options.deviationHz * a;
        phase[c] += 2 * std::numbers::pi * f / fs;
        if (phase[c] > std::numbers::pi)
          phase[c] -= 2 * std::numbers::pi;
        else if (phase[c] < -std::numbers::pi)
          phase[c] += 2 * std::numbers::pi;
        i += amplitude * std::cos(phase[c]);
        q += amplitude * std::sin(phase[c]);
      }
      if (noiseSigma > 0) {
        i += noiseSigma * normal(random);
        q += noiseSigma * normal(random);
      }
      // Imbalance: Q's path has its own gain and a phase error that leaks I into it.
      double qOut = qGain * (q * std::cos(qPhase) + i * std::sin(qPhase));
      block[k] = {static_cast<float>(i), static_cast<float>(qOut)};
    }
    output(block.data(), count);
  }
}

}  // namespace pagora::gen
