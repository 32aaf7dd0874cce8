// Renders symbol streams as the audio a scanner's discriminator would give: each symbol a
// steady voltage for its level (level 3 the most positive, the highest RF frequency), sampled
// with the exact edge positions kept (each sample is the mean of the signal over its interval),
// then the receiver's impairments: a symbol clock error, timing jitter, a DC offset, a low-pass
// like a receiver's audio filter and white Gaussian noise.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "transmission.h"

namespace pagora::gen {

struct AudioRenderOptions {
  double sampleRate = 22050;  // Hz
  double amplitude = 0.5;     // full deviation (level 3) as a share of full scale
  // Voltages of levels 0..3 as shares of the amplitude.
  std::array<double, 4> levelValues{-1.0, -1.0 / 3, 1.0 / 3, 1.0};
  bool invert = false;   // the opposite discriminator polarity
  double dcOffset = 0;   // share of full scale
  double lowPassHz = 0;  // fourth-order Butterworth corner; 0 = none
  // Signal-to-noise ratio in dB: 10 log10(A^2 / sigma^2), A the amplitude of full deviation and
  // sigma^2 the variance of white Gaussian noise over 0..fs/2. Infinity = no noise.
  double snrDb = std::numeric_limits<double>::infinity();
  double clockPpm = 0;  // symbol clock error; positive = symbols that much longer
  double jitterUs = 0;  // RMS displacement of every symbol edge, microseconds
  std::uint64_t seed = 1;
};

class AudioRenderer {
 public:
  using Output = std::function<void(const float* samples, std::size_t count)>;

  AudioRenderer(const AudioRenderOptions& options, Output output);

  void Append(const SymbolStream& stream);
  // A quiet channel (the centre voltage, with the noise) for `seconds`.
  void AppendGap(double seconds);
  // Renders the last partial sample and hands over everything still buffered.
  void Finish();
  // Signal time rendered so far.
  double Seconds() const { return time_; }

 private:
  void Hold(double value, double seconds);
  void Emit(double value);
  void FlushBlock();

  AudioRenderOptions options_;
  Output output_;
  double time_ = 0;          // end of the signal described so far, seconds
  std::int64_t sample_ = 0;  // index of the sample being integrated
  double accumulated_ = 0;
  double edgeJitter_ = 0;  // displacement of the previous edge, seconds
  double noiseSigma_ = 0;
  std::mt19937_64 random_;
  std::normal_distribution<double> normal_{0.0, 1.0};
  struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0, z1 = 0, z2 = 0;
    double Run(double x) {
      double y = b0 * x + z1;
      z1 = b1 * x - a1 * y + z2;
      z2 = b2 * x - a2 * y;
      return y;
    }
  };
  std::vector<Biquad> filter_;
  std::vector<float> block_;
};

// One stream between two quiet stretches of `quietSeconds`, as samples in memory (tests and
// benchmarks that feed the audio slicer directly).
std::vector<float> RenderSamples(const SymbolStream& stream, const AudioRenderOptions& options,
                                 double quietSeconds);

}  // namespace pagora::gen
