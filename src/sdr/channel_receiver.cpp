#include "sdr/channel_receiver.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <utility>

// clang-format off
#include <complex>
#include <liquid/liquid.h>
// clang-format on

namespace pagora::sdr {

namespace {
constexpr double kTargetMiddleRate = 100000;
// Up to this input rate one decimator with the channel filter goes straight to the audio rate:
// a long filter at a low rate costs less than two short ones with their bookkeeping (a bin of
// the filter bank, a narrow recording).
constexpr double kSingleStageRate = 500000;
constexpr double kMinimumAudioRate = 25000;
constexpr double kPassHz = 9000;
constexpr double kChannelStopHz = 16000;
constexpr double kAttenuationDb = 60;
}  // namespace

DecimationPlan PlanDecimation(double inputRate) {
  DecimationPlan plan;
  plan.first = inputRate <= kSingleStageRate
                   ? 1
                   : std::max(1, static_cast<int>(inputRate / kTargetMiddleRate));
  plan.middleRate = inputRate / plan.first;
  plan.second = std::max(1, static_cast<int>(plan.middleRate / kMinimumAudioRate));
  plan.audioRate = plan.middleRate / plan.second;
  return plan;
}

std::vector<float> DesignLowPass(double sampleRate, double passHz, double stopHz,
                                 double attenuationDb) {
  stopHz = std::min(stopHz, 0.5 * sampleRate);
  passHz = std::min(passHz, stopHz * 0.9);
  auto transition = static_cast<float>((stopHz - passHz) / sampleRate);
  unsigned length = estimate_req_filter_len(transition, static_cast<float>(attenuationDb));
  length = std::clamp(length, 3u, 4001u) | 1u;
  std::vector<float> taps(length);
  liquid_firdes_kaiser(length, static_cast<float>(0.5 * (passHz + stopHz) / sampleRate),
                       static_cast<float>(attenuationDb), 0.0f, taps.data());
  float sum = std::accumulate(taps.begin(), taps.end(), 0.0f);
  for (float& t : taps)
    t /= sum;
  return taps;
}

FirDecimator::FirDecimator(std::vector<float> taps, int factor)
    : taps_(std::move(taps)), factor_(std::max(1, factor)) {
  std::reverse(taps_.begin(), taps_.end());
  re_.assign(taps_.size() - 1, 0.0f);
  im_.assign(taps_.size() - 1, 0.0f);
}

void FirDecimator::Reset() {
  re_.assign(taps_.size() - 1, 0.0f);
  im_.assign(taps_.size() - 1, 0.0f);
  next_ = 0;
}

void FirDecimator::Process(const float* re, const float* im, std::size_t count,
                           std::vector<float>& outRe, std::vector<float>& outIm) {
  re_.insert(re_.end(), re, re + count);
  im_.insert(im_.end(), im, im + count);
  const std::size_t length = taps_.size();
  const float* taps = taps_.data();
  while (next_ + length <= re_.size()) {
    const float* xr = re_.data() + next_;
    const float* xi = im_.data() + next_;
    float sumRe = 0, sumIm = 0;
#pragma omp simd reduction(+ : sumRe, sumIm)
    for (std::size_t k = 0; k < length; ++k) {
      sumRe += taps[k] * xr[k];
      sumIm += taps[k] * xi[k];
    }
    outRe.push_back(sumRe);
    outIm.push_back(sumIm);
    next_ += static_cast<std::size_t>(factor_);
  }
  // Keep what the next outputs still look at.
  std::size_t drop = std::min(next_, re_.size());
  re_.erase(re_.begin(), re_.begin() + static_cast<std::ptrdiff_t>(drop));
  im_.erase(im_.begin(), im_.begin() + static_cast<std::ptrdiff_t>(drop));
  next_ -= drop;
}

namespace {
FirDecimator FirstStage(double inputRate) {
  DecimationPlan plan = PlanDecimation(inputRate);
  // Whatever folds into the passband at the middle rate comes from beyond middle - pass.
  return FirDecimator(DesignLowPass(inputRate, kPassHz, plan.middleRate - kPassHz, kAttenuationDb),
                      plan.first);
}
FirDecimator SecondStage(double inputRate) {
  DecimationPlan plan = PlanDecimation(inputRate);
  return FirDecimator(DesignLowPass(plan.middleRate, kPassHz, kChannelStopHz, kAttenuationDb),
                      plan.second);
}
}  // namespace

ChannelReceiver::ChannelReceiver(double inputRate, double offsetHz)
    : inputRate_(inputRate),
      audioRate_(PlanDecimation(inputRate).audioRate),
      first_(FirstStage(inputRate)),
      second_(SecondStage(inputRate)) {
  Tune(offsetHz);
}

ChannelReceiver::ChannelReceiver(const ChannelReceiver& sameRate, double offsetHz)
    : inputRate_(sameRate.inputRate_),
      audioRate_(sameRate.audioRate_),
      first_(sameRate.first_),
      second_(sameRate.second_) {
  first_.Reset();
  second_.Reset();
  Tune(offsetHz);
}

void ChannelReceiver::Tune(double offsetHz) {
  step_ = -2 * std::numbers::pi * offsetHz / inputRate_;
  double step = step_;
  rotation_.resize(kBlock);
  for (std::size_t n = 0; n < kBlock; ++n) {
    rotation_[n] = std::complex<float>(static_cast<float>(std::cos(step * static_cast<double>(n))),
                                       static_cast<float>(std::sin(step * static_cast<double>(n))));
  }
  blockStep_ = std::polar(1.0, step * static_cast<double>(kBlock));
  mixedRe_.resize(kBlock);
  mixedIm_.resize(kBlock);
  scale_ = static_cast<float>(audioRate_ / (2 * std::numbers::pi * kFullScaleHz));
}

ChannelReceiver::~ChannelReceiver() = default;

void ChannelReceiver::Process(const std::complex<float>* band, std::size_t count,
                              std::vector<float>& audio) {
  midRe_.clear();
  midIm_.clear();
  while (count > 0) {
    std::size_t n = std::min(count, kBlock);
    // The rotation table starts at phase zero; the block's own start phase turns it.
    auto pr = static_cast<float>(blockPhase_.real());
    auto pi = static_cast<float>(blockPhase_.imag());
    const std::complex<float>* rot = rotation_.data();
    float* mr = mixedRe_.data();
    float* mi = mixedIm_.data();
#pragma omp simd
    for (std::size_t k = 0; k < n; ++k) {
      float rr = rot[k].real() * pr - rot[k].imag() * pi;
      float ri = rot[k].real() * pi + rot[k].imag() * pr;
      float xr = band[k].real(), xi = band[k].imag();
      mr[k] = xr * rr - xi * ri;
      mi[k] = xr * ri + xi * rr;
    }
    if (n == kBlock) {
      blockPhase_ *= blockStep_;
    } else {
      blockPhase_ *= std::polar(1.0, step_ * static_cast<double>(n));
    }
    blockPhase_ /= std::abs(blockPhase_);
    if (first_.factor() > 1) {
      first_.Process(mr, mi, n, midRe_, midIm_);
    } else {
      midRe_.insert(midRe_.end(), mr, mr + n);
      midIm_.insert(midIm_.end(), mi, mi + n);
    }
    band += n;
    count -= n;
  }
  outRe_.clear();
  outIm_.clear();
  second_.Process(midRe_.data(), midIm_.data(), midRe_.size(), outRe_, outIm_);
  std::size_t produced = outRe_.size();
  if (produced == 0)
    return;
  std::size_t at = audio.size();
  audio.resize(at + produced);
  // The discriminator: the phase step from one sample to the next, s[n] conj(s[n-1]).
  const float* re = outRe_.data();
  const float* im = outIm_.data();
  float* out = audio.data() + at;
  out[0] = scale_ * FastAtan2(im[0] * lastRe_ - re[0] * lastIm_, re[0] * lastRe_ + im[0] * lastIm_);
#pragma omp simd
  for (std::size_t k = 1; k < produced; ++k) {
    float pr = re[k] * re[k - 1] + im[k] * im[k - 1];
    float pi = im[k] * re[k - 1] - re[k] * im[k - 1];
    out[k] = scale_ * FastAtan2(pi, pr);
  }
  lastRe_ = re[produced - 1];
  lastIm_ = im[produced - 1];
}

}  // namespace pagora::sdr
