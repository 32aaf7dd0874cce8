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
#include <cstdint>

#include "input/centred_audio.h"
#include "input/entry_timeline.h"

namespace pagora {

class PocsagRegenerator {
 public:
  // Listens to the audio the slicer keeps (adding its tone detectors there), which must outlive
  // the regenerator.
  explicit PocsagRegenerator(CentredAudio& audio);

  // Looks at the tones (when the audio says they are to be looked at). Returns true when
  // Service() has work: a rate's tone stands out of the noise.
  bool Look();
  // The sample count from which the next bit can be decided (only while active).
  std::int64_t due() const { return active_ ? due_ : kNeverDue; }

  enum class Event { kNone, kEntered, kLeft };
  // Does the work Look() or due() announced. On kEntered the regenerator has started the
  // output at a boundary no earlier than half a bit after `lastBoundary` (sample position of the
  // slicer's last change on the timeline) and owns the timeline until kLeft; regenerated changes go
  // to `timeline` at `ticksPerSample` ticks a sample. With mayEnter false (another receiver owns
  // the output) a preamble is not taken.
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
  static constexpr std::int64_t kNeverDue = INT64_MAX;

  struct Tone {
    std::size_t detector = 0;    // in the audio
    std::int64_t nextCheck = 0;  // sample count before which no confirmation is tried
  };

  bool Stands(const Tone& tone) const;
  double Integrate(double from, double to) const { return audio_.Integrate(from, to); }
  bool Confirm(std::size_t rate, double lastBoundary);
  void ProcessBit(EntryTimeline& timeline, double ticksPerSample, EntrySink& sink);
  bool TrackFraming(int bit);

  const CentredAudio& audio_;
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
