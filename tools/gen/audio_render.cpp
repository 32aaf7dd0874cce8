#include "audio_render.h"

#include <algorithm>
#include <numbers>

namespace pagora::gen {

AudioRenderer::AudioRenderer(const AudioRenderOptions& options, Output output)
    : options_(options), output_(std::move(output)), random_(options.seed) {
  if (std::isfinite(options_.snrDb)) {
    noiseSigma_ = options_.amplitude / std::pow(10.0, options_.snrDb / 20.0);
  }
  if (options_.lowPassHz > 0 && options_.lowPassHz < 0.45 * options_.sampleRate) {
    // Fourth-order Butterworth as two biquads (Q = 0.5412 and 1.3066).
    for (double q : {0.5411961001461971, 1.3065629648763766}) {
      double w0 = 2 * std::numbers::pi * options_.lowPassHz / options_.sampleRate;
      double alpha = std::sin(w0) / (2 * q);
      double cosw = std::cos(w0);
      double a0 = 1 + alpha;
      Biquad f;
      f.b0 = (1 - cosw) / 2 / a0;
      f.b1 = (1 - cosw) / a0;
      f.b2 = f.b0;
      f.a1 = -2 * cosw / a0;
      f.a2 = (1 - alpha) / a0;
      filter_.push_back(f);
    }
  }
  block_.reserve(4096);
}

void AudioRenderer::Append(const SymbolStream& stream) {
  if (stream.symbolRate <= 0)
    return;
  double period = (1.0 + options_.clockPpm * 1e-6) / stream.symbolRate;
  double jitter = options_.jitterUs * 1e-6;
  for (std::uint8_t level : stream.levels) {
    double value = options_.levelValues[std::min<std::uint8_t>(level, 3)] * options_.amplitude;
    if (options_.invert)
      value = -value;
    double duration = period;
    if (jitter > 0) {
      double next = jitter * normal_(random_);
      duration += next - edgeJitter_;
      edgeJitter_ = next;
    }
    Hold(value, std::max(duration, 0.0));
  }
}

void AudioRenderer::AppendGap(double seconds) {
  // The next edge is undisplaced after a gap.
  Hold(0.0, std::max(seconds - edgeJitter_, 0.0));
  edgeJitter_ = 0;
}

void AudioRenderer::Hold(double value, double seconds) {
  double end = time_ + seconds;
  double rate = options_.sampleRate;
  while (true) {
    double sampleEnd = static_cast<double>(sample_ + 1) / rate;
    if (end < sampleEnd)
      break;
    accumulated_ += value * (sampleEnd - time_);
    Emit(accumulated_ * rate);
    accumulated_ = 0;
    time_ = sampleEnd;
    ++sample_;
  }
  accumulated_ += value * (end - time_);
  time_ = end;
}

void AudioRenderer::Emit(double value) {
  for (Biquad& f : filter_)
    value = f.Run(value);
  value += options_.dcOffset;
  if (noiseSigma_ > 0)
    value += noiseSigma_ * normal_(random_);
  block_.push_back(static_cast<float>(value));
  if (block_.size() == 4096)
    FlushBlock();
}

void AudioRenderer::FlushBlock() {
  if (!block_.empty())
    output_(block_.data(), block_.size());
  block_.clear();
}

void AudioRenderer::Finish() {
  double rate = options_.sampleRate;
  double sampleStart = static_cast<double>(sample_) / rate;
  if (time_ > sampleStart) {
    Emit(accumulated_ * rate);  // the partial last sample, as if the line then went quiet
    accumulated_ = 0;
    ++sample_;
    time_ = static_cast<double>(sample_) / rate;
  }
  FlushBlock();
}

std::vector<float> RenderSamples(const SymbolStream& stream, const AudioRenderOptions& options,
                                 double quietSeconds) {
  std::vector<float> samples;
  AudioRenderer renderer(
      options, [&](const float* s, std::size_t n) { samples.insert(samples.end(), s, s + n); });
  renderer.AppendGap(quietSeconds);
  renderer.Append(stream);
  renderer.AppendGap(quietSeconds);
  renderer.Finish();
  return samples;
}

}  // namespace pagora::gen
