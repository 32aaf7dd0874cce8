#include "sdr/channeliser.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "sdr/channel_receiver.h"

// clang-format off
#include <complex>
#include <liquid/liquid.h>
// clang-format on

namespace pagora::sdr {

namespace {
// Below this many channels the bank's own cost (an FFT every few input samples) exceeds what
// it saves: each channel's mixer and first decimator at the full rate cost about as much as
// the FFT's share of two.
constexpr std::size_t kMinimumChannels = 3;
// Bins no wider than this keep the per-channel work after the bank small; no narrower than the
// minimum, a bin's output still holds a whole channel with room for the decimation's folds.
constexpr double kMaximumSpacingHz = 250000;
constexpr double kMinimumSpacingHz = 60000;
constexpr int kMinimumBins = 8;
constexpr int kMaximumBins = 1024;
// What the channel filter after the bank lets through on either side of a channel: the bank
// must be flat there.
constexpr double kChannelReachHz = 16000;
constexpr double kBankAttenuationDb = 70;
}  // namespace

BankPlan PlanBank(double inputRate, std::size_t channels) {
  BankPlan plan;
  if (channels < kMinimumChannels || !(inputRate > 0))
    return plan;
  int bins = kMinimumBins;
  while (inputRate / bins > kMaximumSpacingHz && bins < kMaximumBins)
    bins *= 2;
  double spacing = inputRate / bins;
  if (spacing < kMinimumSpacingHz || spacing > kMaximumSpacingHz)
    return plan;
  plan.bins = bins;
  plan.decimation = bins / 2;
  plan.spacingHz = spacing;
  plan.outputRate = inputRate / plan.decimation;
  return plan;
}

BinPlace PlaceInBin(const BankPlan& plan, double offsetHz) {
  BinPlace place;
  auto nearest = static_cast<long>(std::lround(offsetHz / plan.spacingHz));
  place.offsetHz = offsetHz - static_cast<double>(nearest) * plan.spacingHz;
  place.bin = static_cast<int>(((nearest % plan.bins) + plan.bins) % plan.bins);
  return place;
}

Channeliser::Channeliser(double inputRate, const BankPlan& plan, std::vector<int> bins)
    : bins_(plan.bins), decimation_(plan.decimation), wanted_(std::move(bins)) {
  // The prototype passes a channel at the very edge of its bin with everything the channel
  // filter keeps; what folds onto that when the bin is decimated comes from at least the
  // output rate minus as much away, where the prototype stops.
  double pass = 0.5 * plan.spacingHz + kChannelReachHz;
  double stop = plan.outputRate - pass;
  taps_ = DesignLowPass(inputRate, pass, stop, kBankAttenuationDb);
  // Zero taps at the end make the length a whole number of rows of the polyphase matrix.
  auto length = static_cast<std::size_t>(bins_);
  taps_.resize((taps_.size() + length - 1) / length * length, 0.0f);
  std::reverse(taps_.begin(), taps_.end());
  re_.assign(taps_.size() - 1, 0.0f);
  im_.assign(taps_.size() - 1, 0.0f);
  // The zeros in front are the samples before the first one (index 0).
  auto history = static_cast<int>((taps_.size() - 1) % length);
  start_ = (bins_ - history) % bins_;
  turn_.resize(length);
  for (std::size_t r = 0; r < length; ++r) {
    double angle = -2 * std::numbers::pi * static_cast<double>(r) / bins_;
    turn_[r] = {static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle))};
  }
  accRe_.resize(length);
  accIm_.resize(length);
  fftIn_ = static_cast<std::complex<float>*>(fft_malloc(bins_ * sizeof(std::complex<float>)));
  fftOut_ = static_cast<std::complex<float>*>(fft_malloc(bins_ * sizeof(std::complex<float>)));
  fft_ = fft_create_plan(static_cast<unsigned>(bins_), fftIn_, fftOut_, LIQUID_FFT_FORWARD, 0);
  outputs_.resize(wanted_.size());
}

Channeliser::~Channeliser() {
  fft_destroy_plan(static_cast<fftplan>(fft_));
  fft_free(fftIn_);
  fft_free(fftOut_);
}

// Bin k at the input sample t is the band mixed down by k bins and low-passed by the prototype
// h: y = sum_m h[m] x[t-m] exp(-2 pi i k (t-m) / M). Folding the window into M partial sums
// acc[r] turns the sum into one FFT for every bin, times a turn of exp(-2 pi i k (t+1) / M).
void Channeliser::Process(const std::complex<float>* band, std::size_t count) {
  for (auto& out : outputs_)
    out.clear();
  std::size_t at = re_.size();
  re_.resize(at + count);
  im_.resize(at + count);
  for (std::size_t k = 0; k < count; ++k) {
    re_[at + k] = band[k].real();
    im_[at + k] = band[k].imag();
  }
  const std::size_t length = taps_.size();
  const auto width = static_cast<std::size_t>(bins_);
  const float* taps = taps_.data();
  float* accRe = accRe_.data();
  float* accIm = accIm_.data();
  while (next_ + length <= re_.size()) {
    const float* xr = re_.data() + next_;
    const float* xi = im_.data() + next_;
    std::fill(accRe_.begin(), accRe_.end(), 0.0f);
    std::fill(accIm_.begin(), accIm_.end(), 0.0f);
    for (std::size_t row = 0; row < length; row += width) {
#pragma omp simd
      for (std::size_t r = 0; r < width; ++r) {
        accRe[r] += taps[row + r] * xr[row + r];
        accIm[r] += taps[row + r] * xi[row + r];
      }
    }
    for (std::size_t r = 0; r < width; ++r)
      fftIn_[r] = {accRe[r], accIm[r]};
    fft_execute(static_cast<fftplan>(fft_));
    // Index of the window's newest sample, plus one, modulo the bin count.
    auto newest = static_cast<int>((static_cast<std::size_t>(start_) + next_ + length) % width);
    for (std::size_t i = 0; i < wanted_.size(); ++i) {
      int bin = wanted_[i];
      outputs_[i].push_back(fftOut_[bin] * turn_[static_cast<std::size_t>(bin * newest % bins_)]);
    }
    next_ += static_cast<std::size_t>(decimation_);
  }
  std::size_t drop = std::min(next_, re_.size());
  re_.erase(re_.begin(), re_.begin() + static_cast<std::ptrdiff_t>(drop));
  im_.erase(im_.begin(), im_.begin() + static_cast<std::ptrdiff_t>(drop));
  next_ -= drop;
  start_ = static_cast<int>((static_cast<std::size_t>(start_) + drop) % width);
}

}  // namespace pagora::sdr
