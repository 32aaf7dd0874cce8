// POCSAG burst regeneration for the audio path. A POCSAG transmission opens with at least 576
// bits of alternating 1s and 0s at 512, 1200 or 2400 bit/s: a square wave whose fundamental lies
// at half the bit rate. For each rate a narrow tone detector measures that fundamental over
// about 32 bits; when it stands well clear of the noise, the bit decisions over the last 48 bit
// periods (integrated over each whole bit at the boundaries the tone's phase gives) are checked
// for alternation. A confirmed preamble hands the output to a matched-filter receiver: every bit
// is integrated over its whole period, the boundaries follow a timing loop that averages over
// many transitions, and each bit goes out as a hold of exactly its tracked length. The engine
// then sees a preamble of clean runs, which its rate detector locks on, and bits as a
// well-timed slicer would give them, however noisy, jittered or band-limited the audio was.
//
// The receiver follows the burst's framing to know when it ends: the synchronisation codeword
// after the preamble, then one every 17 codewords. Two synchronisation codewords missed in a
// row (or a preamble that stops alternating without one) give the output back to the slicer.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

#include "input/entry_timeline.h"

namespace pagora {

class PocsagRegenerator {
 public:
  // sampleRate in Hz, 4000..384000.
  explicit PocsagRegenerator(double sampleRate);

  // Takes the next sample, centred on the slicer's estimate of the signal's centre. Returns
  // true when Service() has work: a bit is due, or a rate's tone stands out of the noise.
  bool Push(double x) {
    // Audio lies within a few units of full scale; anything else (a damaged file's infinities
    // or NaNs) counts as silence, so that nothing here ever stops being finite.
    if (!(std::abs(x) < kLargestSample))
      x = 0;
    samples_[static_cast<std::size_t>(count_) & mask_] = static_cast<float>(x);
    ++count_;
    block_ += x;
    if (--blockLeft_ == 0)
      return TakeBlock();
    return active_ && count_ >= due_;
  }

  enum class Event { kNone, kEntered, kLeft };
  // Does the work Push() announced. On kEntered the regenerator has started the output at a
  // boundary no earlier than half a bit after `lastBoundary` (sample position of the slicer's
  // last change on the timeline) and owns the timeline until kLeft; regenerated changes go to
  // `timeline` at `ticksPerSample` ticks a sample.
  // With mayEnter false (another receiver owns the output) a preamble is not taken.
  Event Service(double lastBoundary, bool mayEnter, EntryTimeline& timeline, double ticksPerSample,
                EntrySink& sink);

  bool active() const { return active_; }
  // Sample position where the last regenerated bit ended (valid after kLeft).
  double endSample() const { return tau_; }
  // The level (0 or 3) of the last regenerated bit.
  int outputLevel() const { return outputLevel_; }
  // Bit rate of the burst being regenerated, or of the last one.
  int bitRate() const { return kRates[rate_]; }
  // Preambles confirmed so far.
  int bursts() const { return bursts_; }

 private:
  static constexpr std::array<int, 3> kRates{2400, 1200, 512};
  static constexpr double kLargestSample = 1e3;

  struct Tone {
    double stepRe = 1, stepIm = 0;  // phasor rotation per block
    double phRe = 1, phIm = 0;      // e^(-j w m D) for block m
    double zRe = 0, zIm = 0;        // leaky average of block sums times the phasor
    double power = 0;               // leaky average of squared block sums
    double alpha = 0;               // averaging share per block
    double samplesPerBit = 0;
    std::int64_t nextCheck = 0;  // sample count before which no confirmation is tried
  };

  bool TakeBlock();
  bool Stands(const Tone& tone) const;
  double Integrate(double from, double to) const;
  bool Confirm(std::size_t rate, double lastBoundary);
  void ProcessBit(EntryTimeline& timeline, double ticksPerSample, EntrySink& sink);
  bool TrackFraming(int bit);

  double sampleRate_;
  // The recent samples, sample k at samples_[k & mask_]. Kept as they are rather than as running
  // sums: a store per sample with nothing carried from one to the next.
  std::vector<float> samples_;
  std::size_t mask_;
  std::int64_t count_ = 0;  // samples taken
  int blockSize_;
  int blockLeft_;
  double block_ = 0;
  std::int64_t blocks_ = 0;
  std::array<Tone, 3> tones_{};
  bool candidate_ = false;
  int bursts_ = 0;

  // The receiver while active.
  bool active_ = false;
  std::size_t rate_ = 1;
  double period_ = 0;     // tracked bit length, samples
  double nominal_ = 0;    // the rate's bit length, samples
  double tau_ = 0;        // start of the next bit, samples
  std::int64_t due_ = 0;  // sample count at which that bit can be decided
  double amplitude_ = 0;  // slow average of |bit integral| / bit length
  double fast_ = 0;       // fast average of the same
  double previous_ = 0;   // the last bit's integral
  int outputLevel_ = 0;

  // The burst's framing.
  std::uint32_t register_ = 0;
  bool inBatch_ = false;
  int bitsToSync_ = 0;
  int missedSyncs_ = 0;
  int withoutPreamble_ = 0;
};

}  // namespace pagora
