// What the POCSAG and FLEX regenerators share: the recent audio, centred on the slicer's
// estimate of the signal's centre, and the narrow tone detectors that listen for preambles and
// bit syncs in it. The slicer stores each sample once and both regenerators read it, so the
// per-sample work does not grow with the receivers listening.
//
// The ring holds the running sum of the audio rather than the samples, so that integrating a bit
// or a block takes two lookups however long it is. The sum is brought back to zero every second
// or so (every entry in the ring moved by the same amount), so that however long the audio runs
// it stays small enough for doubles to resolve a sample finely.
//
// The tone detectors work on sums of short blocks of samples. Each measures the fundamental of a
// square wave of given symbol length (alternating ones and zeros): a leaky average of the block
// sums turned by a phasor at that frequency, beside one of their power. All of them advance
// together, side by side, once a block.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pagora {

class CentredAudio {
 public:
  static constexpr std::size_t kMaxTones = 4;
  // Whether a tone stands out is asked every this many blocks only: a preamble or bit sync
  // lasts tens to hundreds of them.
  static constexpr std::int64_t kBlocksPerLook = 4;

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

  // Blocks: the samples in a row of blockSize(), the first starting at sample 0. The sample
  // count at which the next block is complete.
  std::int64_t nextBlockEnd() const { return nextBlockEnd_; }
  // Advances every tone detector by the block just completed (count() == nextBlockEnd()).
  // Returns true when the tones are to be looked at.
  bool TakeBlock();

  // Adds a tone detector for a square wave of `samplesPerSymbol`-long symbols, averaging over
  // about `averageSymbols` symbols; returns its number. At most kMaxTones.
  std::size_t AddTone(double samplesPerSymbol, double averageSymbols);
  // Does the tone stand out of the noise by `significance`? Against noise alone the averaged
  // power at its frequency is alpha / 2 of the total, exponentially distributed.
  bool Stands(std::size_t tone, double significance) const {
    return zRe_[tone] * zRe_[tone] + zIm_[tone] * zIm_[tone] >
           significance * 0.5 * alpha_[tone] * power_[tone];
  }
  // A sample position where a symbol of the tone's square wave starts, from its phase (any
  // whole symbol away is one too).
  double Boundary(std::size_t tone) const;
  double SamplesPerSymbol(std::size_t tone) const { return samplesPerSymbol_[tone]; }

 private:
  static constexpr double kLargestSample = 1e3;
  using Lanes = std::array<double, kMaxTones>;

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

  // The tone detectors, one lane each; unused lanes stay at zero.
  std::size_t tones_ = 0;
  Lanes samplesPerSymbol_{};
  Lanes stepRe_{}, stepIm_{};  // phasor rotation per block
  Lanes phRe_{}, phIm_{};      // e^(-j w m D) for block m
  Lanes zRe_{}, zIm_{};        // leaky average of block sums times the phasor
  Lanes power_{};              // leaky average of squared block sums
  Lanes alpha_{};              // averaging share per block
};

}  // namespace pagora
