#include "input/centred_audio.h"

#include <algorithm>
#include <numbers>
#include <stdexcept>

namespace pagora {
namespace {

// Blocks at about this rate are fast enough for the 1200 Hz fundamental of a 2400 bit/s
// preamble (which a block of 8 samples at 22050 Hz passes at 0.7 of its amplitude, its noise as
// much), an eighth of the work at 22050 Hz.
constexpr double kBlockRate = 2756.25;
// Room for the slowest alternation check (48 bits at 512 bit/s) and for catching up from the
// slicer's last change: a quarter of a second.
constexpr double kRingSeconds = 0.25;
// Every this many blocks the phasors' rounding is taken out (they are products of rotations)
// and the running sum is brought back to zero.
constexpr std::int64_t kRenormaliseBlocks = 4096;

std::size_t RingSize(double sampleRate) {
  std::size_t size = 1;
  while (static_cast<double>(size) < kRingSeconds * sampleRate)
    size <<= 1;
  return size;
}

}  // namespace

CentredAudio::CentredAudio(double sampleRate)
    : sampleRate_(sampleRate),
      sums_(RingSize(sampleRate), 0.0),
      mask_(sums_.size() - 1),
      blockSize_(std::max(1, static_cast<int>(std::lround(sampleRate / kBlockRate)))),
      nextBlockEnd_(blockSize_) {}

double CentredAudio::Integrate(double from, double to) const {
  double first = std::floor(from), last = std::floor(to);
  auto i = static_cast<std::int64_t>(first);
  auto end = static_cast<std::int64_t>(last);
  if (i == end)
    return (to - from) * at(i);
  double sum = (first + 1 - from) * at(i) + (Before(end) - Before(i + 1));
  if (to > last)
    sum += (to - last) * at(end);
  return sum;
}

bool CentredAudio::TakeBlock() {
  double y = Before(nextBlockEnd_) - Before(nextBlockEnd_ - blockSize_);
  nextBlockEnd_ += blockSize_;
  ++blocks_;
  // Every lane the same way, so that the lanes go side by side.
  for (std::size_t t = 0; t < kMaxTones; ++t) {
    zRe_[t] += alpha_[t] * (y * phRe_[t] - zRe_[t]);
    zIm_[t] += alpha_[t] * (y * phIm_[t] - zIm_[t]);
    power_[t] += alpha_[t] * (y * y - power_[t]);
    double re = phRe_[t] * stepRe_[t] - phIm_[t] * stepIm_[t];
    phIm_[t] = phRe_[t] * stepIm_[t] + phIm_[t] * stepRe_[t];
    phRe_[t] = re;
  }
  if (blocks_ % kRenormaliseBlocks == 0) {
    for (double& sum : sums_)
      sum -= total_;
    total_ = 0;
    for (std::size_t t = 0; t < tones_; ++t) {
      double scale = 1.0 / std::hypot(phRe_[t], phIm_[t]);
      phRe_[t] *= scale;
      phIm_[t] *= scale;
    }
  }
  return blocks_ % kBlocksPerLook == 0;
}

std::size_t CentredAudio::AddTone(double samplesPerSymbol, double averageSymbols) {
  if (tones_ == kMaxTones)
    throw std::logic_error("CentredAudio: too many tone detectors");
  std::size_t t = tones_++;
  double omega = std::numbers::pi / samplesPerSymbol;  // half the symbol rate, rad a sample
  samplesPerSymbol_[t] = samplesPerSymbol;
  stepRe_[t] = std::cos(omega * blockSize_);
  stepIm_[t] = -std::sin(omega * blockSize_);
  phRe_[t] = 1;
  alpha_[t] = std::min(1.0, blockSize_ / (averageSymbols * samplesPerSymbol));
  return t;
}

// The phasor of block m is e^(-j w m D), so a square wave whose positive symbols are centred at
// sample c leaves an average of angle w ((D - 1) / 2 - c).
double CentredAudio::Boundary(std::size_t tone) const {
  double symbol = samplesPerSymbol_[tone];
  double centre =
      0.5 * (blockSize_ - 1) - std::atan2(zIm_[tone], zRe_[tone]) * symbol / std::numbers::pi;
  return centre + 0.5 * symbol;
}

}  // namespace pagora
