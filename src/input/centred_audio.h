// What the POCSAG and FLEX regenerators share: the recent audio, centred on the slicer's
// estimate of the signal's centre, and its sums over short blocks, on which their tone
// detectors run. The slicer stores each sample once and both regenerators read it, so the
// per-sample work does not grow with the receivers listening. The ring holds the running sum of
// the audio rather than the samples, so that integrating a bit or a block takes two lookups
// however long it is; in double precision the sum of hours of audio still resolves a sample to
// better than a millionth of full scale.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pagora {

class CentredAudio {
 public:
  // sampleRate in Hz, 4000..384000.
  explicit CentredAudio(double sampleRate);

  void Push(double x) {
    // Audio lies within a few units of full scale; anything else (a damaged file's infinities
    // or NaNs) counts as silence, so that nothing downstream ever stops being finite.
    if (!(std::abs(x) < kLargestSample))
      x = 0;
    total_ += x;
    sums_[static_cast<std::size_t>(count_) & mask_] = total_;
    ++count_;
  }

  double sampleRate() const { return sampleRate_; }
  // Samples taken so far; sample k (counting from 0) stays readable until size() newer ones.
  std::int64_t count() const { return count_; }
  std::size_t size() const { return sums_.size(); }
  // The signal integrated from sample position `from` to `to` (sample k covers k..k+1; partial
  // samples count in proportion). Both lie within the ring and before the newest sample's end.
  double Integrate(double from, double to) const;

  // Blocks: the samples in a row of blockSize(), the first starting at sample 0.
  int blockSize() const { return blockSize_; }
  // The sample count at which the next block is complete.
  std::int64_t nextBlockEnd() const { return nextBlockEnd_; }
  // Sums the block just completed (count() == nextBlockEnd()) and moves on to the next one.
  double TakeBlock();
  // Blocks taken so far.
  std::int64_t blocks() const { return blocks_; }

 private:
  static constexpr double kLargestSample = 1e3;

  // The sum of the samples before sample k, and sample k.
  double Before(std::int64_t k) const { return sums_[static_cast<std::size_t>(k - 1) & mask_]; }
  double at(std::int64_t k) const { return Before(k + 1) - Before(k); }

  double sampleRate_;
  double total_ = 0;
  std::vector<double> sums_;  // the sum up to and with sample k at sums_[k & mask_]
  std::size_t mask_;
  std::int64_t count_ = 0;
  int blockSize_;
  std::int64_t nextBlockEnd_;
  std::int64_t blocks_ = 0;
};

// A narrow detector for the fundamental of a square wave of `samplesPerSymbol`-long symbols
// (alternating ones and zeros, as in a preamble or bit sync) on block sums: a leaky average of
// the block sums turned by a phasor at that frequency, beside one of their power.
class BlockTone {
 public:
  BlockTone() = default;
  // Averages over about `averageSymbols` symbols.
  BlockTone(double samplesPerSymbol, int blockSize, double averageSymbols);

  // Takes the next block's sum (block number `block`, counting from 1).
  void Take(double y, std::int64_t block) {
    zRe_ += alpha_ * (y * phRe_ - zRe_);
    zIm_ += alpha_ * (y * phIm_ - zIm_);
    power_ += alpha_ * (y * y - power_);
    double re = phRe_ * stepRe_ - phIm_ * stepIm_;
    phIm_ = phRe_ * stepIm_ + phIm_ * stepRe_;
    phRe_ = re;
    if ((block & 4095) == 0)
      Renormalise();
  }
  // Does the tone stand out of the noise by `significance`? Against noise alone the averaged
  // power at its frequency is alpha / 2 of the total, exponentially distributed.
  bool Stands(double significance) const {
    return zRe_ * zRe_ + zIm_ * zIm_ > significance * 0.5 * alpha_ * power_;
  }
  // A sample position (any whole symbol pair away is one too) where a symbol of the square wave
  // starts, from the tone's phase.
  double Boundary() const;
  double samplesPerSymbol() const { return samplesPerSymbol_; }

 private:
  void Renormalise();

  double samplesPerSymbol_ = 1;
  int blockSize_ = 1;
  double stepRe_ = 1, stepIm_ = 0;  // phasor rotation per block
  double phRe_ = 1, phIm_ = 0;      // e^(-j w m D) for block m
  double zRe_ = 0, zIm_ = 0;        // leaky average of block sums times the phasor
  double power_ = 0;                // leaky average of squared block sums
  double alpha_ = 0;                // averaging share per block
};

}  // namespace pagora
