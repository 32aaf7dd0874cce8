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
// Below this many channels the bank's own cost exceeds what it saves. Measured at 2.4 MS/s, the
// bank (an FFT of 16 points every 8 input samples and the polyphase sums) costs what about five
// channels at the full rate do, and a channel after it about 0.4 of one: the bank pays from
// about nine channels on.
constexpr std::size_t kMinimumChannels = 10;
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

BankPlan PlanBank(double inputRate, std::size_t channels, BankChoice choice) {
  BankPlan plan;
  bool wanted =
      choice == BankChoice::kAuto ? channels >= kMinimumChannels : choice == BankChoice::kOn;
  if (!wanted || !(inputRate > 0))
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
  for (float t : taps_)
    pairs_.insert(pairs_.end(), {t, t});
  history_.assign(taps_.size() - 1, {0.0f, 0.0f});
  // The zeros in front are the samples before the first one (index 0).
  auto history = static_cast<int>((taps_.size() - 1) % length);
  start_ = (bins_ - history) % bins_;
  // The turns each wanted bin takes, by the phase of the window's end.
  for (int bin : wanted_) {
    for (std::size_t r = 0; r < length; ++r) {
      double angle =
          -2 * std::numbers::pi * static_cast<double>((bin * static_cast<int>(r)) % bins_) / bins_;
      turn_.emplace_back(static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)));
    }
  }

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

namespace {

// acc[j] = sum over the rows of taps[row][j] * window[row][j], real and imaginary parts
// interleaved (2 * width floats a row). For the usual widths the accumulators stay in
// registers for the whole window.
template <std::size_t kWidth>
void FoldFixed(const float* taps, const float* window, std::size_t rows, float* acc) {
  float sum[2 * kWidth] = {};
  for (std::size_t row = 0; row < rows; ++row) {
    const float* t = taps + row * 2 * kWidth;
    const float* x = window + row * 2 * kWidth;
    for (std::size_t j = 0; j < 2 * kWidth; ++j)
      sum[j] += t[j] * x[j];
  }
  std::copy_n(sum, 2 * kWidth, acc);
}

void Fold(const float* taps, const float* window, std::size_t rows, std::size_t width, float* acc) {
  switch (width) {
    case 8:
      return FoldFixed<8>(taps, window, rows, acc);
    case 16:
      return FoldFixed<16>(taps, window, rows, acc);
    case 32:
      return FoldFixed<32>(taps, window, rows, acc);
    default:
      break;
  }
  std::fill_n(acc, 2 * width, 0.0f);
  for (std::size_t row = 0; row < rows; ++row) {
    const float* t = taps + row * 2 * width;
    const float* x = window + row * 2 * width;
#pragma omp simd
    for (std::size_t j = 0; j < 2 * width; ++j)
      acc[j] += t[j] * x[j];
  }
}

}  // namespace

// Bin k at the input sample t is the band mixed down by k bins and low-passed by the prototype
// h: y = sum_m h[m] x[t-m] exp(-2 pi i k (t-m) / M). Folding the window into M partial sums
// acc[r] turns the sum into one FFT for every bin, times a turn of exp(-2 pi i k (t+1) / M).
void Channeliser::Process(const std::complex<float>* band, std::size_t count) {
  for (auto& out : outputs_)
    out.clear();
  history_.insert(history_.end(), band, band + count);
  const std::size_t length = taps_.size();
  const auto width = static_cast<std::size_t>(bins_);
  const std::size_t rows = length / width;
  // std::complex<float> is laid out as two floats, real first.
  const auto* samples = reinterpret_cast<const float*>(history_.data());
  auto* acc = reinterpret_cast<float*>(fftIn_);
  while (next_ + length <= history_.size()) {
    Fold(pairs_.data(), samples + 2 * next_, rows, width, acc);
    fft_execute(static_cast<fftplan>(fft_));
    // Index of the window's newest sample, plus one, modulo the bin count.
    auto newest = static_cast<int>((static_cast<std::size_t>(start_) + next_ + length) % width);
    for (std::size_t i = 0; i < wanted_.size(); ++i) {
      int bin = wanted_[i];
      std::complex<float> y = fftOut_[bin];
      std::complex<float> w = turn_[i * width + static_cast<std::size_t>(newest)];
      outputs_[i].emplace_back(y.real() * w.real() - y.imag() * w.imag(),
                               y.real() * w.imag() + y.imag() * w.real());
    }
    next_ += static_cast<std::size_t>(decimation_);
  }
  std::size_t drop = std::min(next_, history_.size());
  history_.erase(history_.begin(), history_.begin() + static_cast<std::ptrdiff_t>(drop));
  next_ -= drop;
  start_ = static_cast<int>((static_cast<std::size_t>(start_) + drop) % width);
}

}  // namespace pagora::sdr
