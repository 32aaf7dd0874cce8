#include "input/centred_audio.h"

#include <algorithm>
#include <numbers>

namespace pagora {
namespace {

// The tone detectors work on sums of blocks of samples at about this rate: fast enough for the
// 1200 Hz fundamental of a 2400 bit/s preamble (which a block of 8 samples at 22050 Hz passes at
// 0.7 of its amplitude, its noise as much), an eighth of the work at 22050 Hz.
constexpr double kBlockRate = 2756.25;
// Room for the slowest alternation check (48 bits at 512 bit/s) and for catching up from the
// slicer's last change: a quarter of a second.
constexpr double kRingSeconds = 0.25;

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

double CentredAudio::TakeBlock() {
  double sum = Before(nextBlockEnd_) - Before(nextBlockEnd_ - blockSize_);
  nextBlockEnd_ += blockSize_;
  ++blocks_;
  return sum;
}

BlockTone::BlockTone(double samplesPerSymbol, int blockSize, double averageSymbols)
    : samplesPerSymbol_(samplesPerSymbol), blockSize_(blockSize) {
  double omega = std::numbers::pi / samplesPerSymbol;  // half the symbol rate, rad a sample
  stepRe_ = std::cos(omega * blockSize);
  stepIm_ = -std::sin(omega * blockSize);
  alpha_ = std::min(1.0, blockSize / (averageSymbols * samplesPerSymbol));
}

// The phasor of block m is e^(-j w m D), so a square wave whose positive symbols are centred at
// sample c leaves an average of angle w ((D - 1) / 2 - c).
double BlockTone::Boundary() const {
  double centre =
      0.5 * (blockSize_ - 1) - std::atan2(zIm_, zRe_) * samplesPerSymbol_ / std::numbers::pi;
  return centre + 0.5 * samplesPerSymbol_;
}

// The phasor is a product of rotations; now and then its rounding is taken out.
void BlockTone::Renormalise() {
  double scale = 1.0 / std::hypot(phRe_, phIm_);
  phRe_ *= scale;
  phIm_ *= scale;
}

}  // namespace pagora
