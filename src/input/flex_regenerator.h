// FLEX frame regeneration for the audio path. A FLEX frame opens with a bit sync of alternating
// 1s and 0s at 1600 symbols/s (a square wave whose fundamental lies at 800 Hz), then the 64-bit
// sync window: the mode code, the marker 0xA6C6 0xAAAA and the mode code's complement. A tone
// detector measures that fundamental over about 16 symbols; when it stands clear of the noise
// the symbols over the last 20 periods (integrated over each whole symbol at the boundaries the
// tone's phase gives) are checked for alternation. A confirmed bit sync hands the output to a
// matched-filter receiver, which integrates every symbol over its whole period on a timing loop
// that averages over many transitions, and sends each symbol on as a hold of exactly its tracked
// length.
//
// The receiver reads the frame as the decoder will: it finds the marker in its own decisions,
// takes the symbol rate and the number of levels from the mode code, and after the header
// (88 symbols at 1600 symbols/s after the sync window) goes on at the frame's rate for its 11
// blocks, deciding 4-level symbols against thresholds that follow the received inner and outer
// levels. After the blocks it hunts for the next frame's marker for a while, and gives the output
// back to the slicer when none comes. When the carrier goes it holds the output steady over the
// empty channel until a bit sync or other traffic comes, so that the slicer's view of the noise
// never reaches the decoder as a frame.
#pragma once

#include <cstdint>

#include "input/centred_audio.h"
#include "input/entry_timeline.h"

namespace pagora {

class FlexRegenerator {
 public:
  // Listens to the audio the slicer keeps (adding its tone detector there), which must outlive
  // the regenerator. With fourLevel false,
  // every symbol goes out as one of the two outer levels (a 2-level slicer's view of a 4-level
  // frame).
  FlexRegenerator(CentredAudio& audio, bool fourLevel);

  // Looks at the tone (when the audio says the tones are to be looked at). Returns true when
  // Service() has work: the bit sync tone stands out of the noise.
  bool Look();
  // The sample count from which the next symbol can be decided (only while active).
  std::int64_t due() const { return active_ ? due_ : kNeverDue; }

  enum class Event { kNone, kEntered, kLeft };
  // Does the work Look() or due() announced. With mayEnter false (another receiver owns the
  // output) a bit sync is not taken. On kEntered the regenerator has started the output at a
  // boundary no earlier than half a symbol after `lastBoundary` (sample position of the slicer's
  // last change on the timeline) and owns the timeline until kLeft.
  Event Service(double lastBoundary, bool mayEnter, EntryTimeline& timeline, double ticksPerSample,
                EntrySink& sink);

  bool active() const { return active_; }
  // True while the receiver holds the output steady after its transmitter went off the air
  // (see HoldQuiet); another receiver may take the output over, or the input end, with Release().
  bool quiet() const { return active_ && quiet_ > 0; }
  void Release() { active_ = false; }
  // Sample position where the last regenerated symbol ended (valid after kLeft).
  double endSample() const { return tau_; }
  // Bit syncs confirmed and frames whose blocks were regenerated so far.
  int entries() const { return entries_; }
  int frames() const { return frames_; }

 private:
  static constexpr std::int64_t kNeverDue = INT64_MAX;

  bool Stands() const;
  double Integrate(double from, double to) const { return audio_.Integrate(from, to); }
  bool Confirm(double lastBoundary);
  void ProcessSymbol(EntryTimeline& timeline, double ticksPerSample, EntrySink& sink);
  int Decide(double y, double ahead);
  // In a frame's 4-level blocks at 3200 symbols/s the neighbours' shares are learnt and taken
  // off; a symbol is decided with its successor's integral (all but the blocks' last symbol).
  bool FastFourLevelBlocks() const {
    return fourLevelNow_ && frameRate_ == 3200 && blockSymbols_ > 0;
  }
  bool Equalizing() const { return FastFourLevelBlocks() && blockSymbols_ > 1; }
  void TrackJitter(double offset, int level, double middle);
  void TrackFraming(int level);
  void HoldQuiet(double start, EntryTimeline& timeline, double ticksPerSample, EntrySink& sink);

  const CentredAudio& audio_;
  bool fourLevelOut_;
  double slowSymbol_ = 0;  // samples in a 1600 symbols/s period
  std::size_t tone_;       // the bit sync's fundamental, in the audio
  std::int64_t nextCheck_ = 0;
  bool candidate_ = false;
  int entries_ = 0;
  int frames_ = 0;

  // The receiver while active.
  bool active_ = false;
  double period_ = 0;   // tracked symbol length, samples
  double nominal_ = 0;  // the current rate's symbol length
  double tau_ = 0;      // start of the next symbol
  std::int64_t due_ = 0;
  double amplitude_ = 0;  // slow average of the outer symbols' |integral| / length
  double fast_ = 0;       // fast average of every symbol's
  double inner_ = 0;      // slow average of the inner symbols' (4 levels)
  double previous_ = 0;   // the last symbol's integral
  int outputLevel_ = 0;
  // Edge jitter: the scatter of the measured boundary offsets (shares of a symbol, squared, less
  // what noise alone gives), the noise on a symbol's level (squared, per sample), and the share
  // cut off either end of a symbol before it is decided.
  // The level fit: running sums of 1, the decided levels' positions c (outer at +-1), c^2, the
  // symbols' averages u, and c u.
  double fitN_ = 0, fitC_ = 0, fitC2_ = 0, fitY_ = 0, fitCY_ = 0;
  double jitter_ = 0;
  double noise_ = 0;
  int jitterSeen_ = 0, noiseSeen_ = 0;  // boundaries and alike pairs measured since the sync
  double trim_ = 0;
  int levelBefore_ = -1;   // the decided level of the symbol before this one
  double lastMiddle_ = 0;  // the last symbol's average over its middle half (signed)

  // The frame as the decoder reads it.
  std::uint64_t window_ = 0;
  int countdown_ = 0;     // header symbols left before the blocks
  int blockSymbols_ = 0;  // block symbols left
  int hunting_ = 0;       // symbols since the last marker or frame end
  int frameRate_ = 1600;  // the mode's symbol rate and levels
  int frameLevels_ = 2;
  bool invertedFrame_ = false;  // the frame's sync window came inverted
  bool fourLevelNow_ = false;   // deciding 4-level symbols (only where the output has them)
  bool framed_ = false;         // a frame's blocks were regenerated since the entry
  int quiet_ = 0;               // symbols held steady since the carrier went (0: not holding)
  // The fitted centre and outer level as the last symbol was decided, the fast average of the
  // symbols' distance from that centre, and (while holding) the audio's own running centre.
  double centre_ = 0, span_ = 0, live_ = 0, quietCentre_ = 0;
  // The previous and the next symbol's shares in this one (4-level blocks at 3200 symbols/s),
  // and the previous symbol's decided position.
  double feedback_ = 0, previousPosition_ = 0, lead_ = 0;
};

}  // namespace pagora
