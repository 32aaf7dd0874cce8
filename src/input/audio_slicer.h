// The audio slicer: turns discriminator audio into the ring entries a hardware data slicer
// would produce. It follows the signal's centre and span (so a receiver's DC offset from a
// tuning error and the deviation of each transmitter are taken in within a few symbols), may
// low-pass the audio first, slices it into 2 or 4 levels with hysteresis, and places every
// level change between samples where the audio crossed the mid value of the two levels. A pulse
// shorter than any symbol on the air (noise that crossed a threshold and came back) is dropped
// with both its edges before it reaches the ring. A POCSAG burst is recognised by its preamble
// and handed over to a matched-filter receiver for as long as it lasts (pocsag_regenerator.h),
// whose bits go out as holds of their tracked length.
//
// Level 3 is the most positive audio, which is the highest RF frequency with the usual
// discriminator polarity. The slicer state is advanced one sample at a time, so the entries do
// not depend on how the samples are split into blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "input/centred_audio.h"
#include "input/entry_timeline.h"
#include "input/flex_regenerator.h"
#include "input/pocsag_regenerator.h"

namespace pagora {

// The low-pass corner the front ends use unless told otherwise. The slicer times edges where the
// audio crosses the mid value, so it needs little more than the fastest symbol rate's
// fundamental (FLEX 3200 symbols/s: 1600 Hz); the band above only lets in hiss that splits
// symbols with false crossings. Against white noise 3200 Hz decodes POCSAG, FLEX and GSC pages
// about 2 dB deeper into the noise than 4800 Hz, with no loss at FLEX 3200/4; lower corners gain
// a little more on generated signals but lose pages of off-air FLEX 1600 recordings, whose
// receivers already narrowed the audio. A channel known to carry only slow POCSAG can go lower
// with pagora-decode --lowpass.
constexpr double kDefaultLowPassHz = 3200;

// The shortest pulse across the middle of the range that the slicer passes on: 0.64 of the
// shortest symbol on the air (FLEX at 3200 symbols/s, 312.5 us). Noise near the mid value
// crosses it in pulses of a few samples; each such pulse splits a symbol into three runs, which
// costs the POCSAG rate detector three misses and pulls the symbol clocks. Dropping them gains
// 2 to 4 dB on every mode against white noise, the most on the slow ones, and loses nothing on
// the off-air recordings; a genuine symbol, even rounded off by a receiver's filter, stays
// beyond the middle for longer. (Pulses between the two levels of one half are held to half a
// symbol.)
constexpr double kDefaultMinPulseSeconds = 0.0002;

struct AudioSlicerConfig {
  double sampleRate = 22050;  // Hz, 4000..384000
  int levels = 4;             // 2 or 4
  double lowPassHz = 0;       // second-order low-pass corner; 0 (or >= 0.45 sampleRate) = off
  double minPulseSeconds = kDefaultMinPulseSeconds;  // shorter pulses are dropped; 0 = keep all
  // POCSAG bursts are recognised by their preamble and sent on as regenerated bits, each
  // integrated over its whole period on a tracked clock (pocsag_regenerator.h); off, every
  // edge comes from the thresholds.
  bool regeneratePocsag = true;
  // FLEX frames likewise, from their bit sync to the end of their blocks (flex_regenerator.h).
  bool regenerateFlex = true;
};

class AudioSlicer {
 public:
  explicit AudioSlicer(const AudioSlicerConfig& config);
  // The regenerators read the audio the slicer keeps: a slicer stays where it was made.
  AudioSlicer(const AudioSlicer&) = delete;
  AudioSlicer& operator=(const AudioSlicer&) = delete;

  // Slices `count` samples (full scale +-1.0) and puts finished entries into `sink`.
  void Process(const float* samples, std::size_t count, EntrySink& sink);
  // Emits the hold of the current level up to the last sample.
  void Finish(EntrySink& sink);

  // The level last handed out (a change still shorter than the shortest pulse is not).
  int level() const { return committedLevel_; }
  std::uint8_t status() const {
    return regenerating() ? timeline_.status() : kLevelStatus[committedLevel_];
  }
  // True while a POCSAG burst or a FLEX frame is being regenerated, or a FLEX receiver holds the
  // output over the empty channel after its frame.
  bool regenerating() const { return regenerator_.active() || flex_.active(); }
  // FLEX bit syncs taken over, and FLEX frames whose blocks were regenerated, so far.
  int regeneratedFlexEntries() const { return flex_.entries(); }
  int regeneratedFlexFrames() const { return flex_.frames(); }
  // POCSAG bursts taken over so far.
  int regeneratedBursts() const { return regenerator_.bursts(); }
  double SignalSeconds() const { return static_cast<double>(sampleIndex_) / sampleRate_; }
  double centre() const { return 0.5 * (high_ + low_); }
  double span() const { return high_ - low_; }

 private:
  static constexpr int kHistory = 32;            // power of two
  static constexpr std::size_t kFitRefresh = 8;  // samples; power of two
  static constexpr std::int64_t kNeverDue = INT64_MAX;

  struct FourLevelMove {
    double rate = 0;  // share of the way to the target
    double lift = 0;  // target beyond the sample, in steps (outwards)
  };
  template <bool kFourLevel, bool kFiltered>
  void Slice(const float* samples, std::size_t count, EntrySink& sink);
  template <bool kFourLevel>
  void SliceOne(double x, double& previous, double& high, double& low, EntrySink& sink);
  void BuildFourLevelMoves();
  void RefreshFit(double high, double low);
  void TrackFourLevels(double x, double previous, double& high, double& low);
  void ChangeLevel(double x, EntrySink& sink);
  void CommitPending(EntrySink& sink);
  void AttendRegenerators(EntrySink& sink);
  void ServiceRegenerator(EntrySink& sink);
  void ServiceFlex(EntrySink& sink);
  void TakeBackOutput(bool entered, double end, EntrySink& sink);
  double CrossingSample(double value, bool rising) const;

  double sampleRate_;
  double ticksPerSample_;
  double advanceSpan_;  // samples a hold may run before time is sent on without a change
  double advanceDue_;   // sample position at which it is sent on (never while one is pending)
  bool fourLevel_;
  // Low-pass (direct form II transposed biquad).
  bool filter_ = false;
  double b0_ = 1, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0, z1_ = 0, z2_ = 0;
  // Envelope: the outer levels' estimates.
  double high_ = 0, low_ = 0;
  double clipFloor_ = -1, clipCeiling_ = 1;  // refreshed every kFitRefresh samples
  double attack_, releaseNear_, releaseFar_;
  std::array<double, 4> upperShare_{}, lowerShare_{};
  // Four-level positions for the envelope, refreshed every kFitRefresh samples.
  double fitStep_ = 0, fitTolerance_ = 0, flatTolerance_ = 0;
  std::array<double, 4> fitLevels_{};
  std::array<double, 3> fitBetween_{};  // halfway between neighbouring levels
  std::array<FourLevelMove, 32> highMoves_{}, lowMoves_{};
  bool primed_ = false;
  int level_ = 0;           // the level the audio is in now
  int committedLevel_ = 0;  // the level last handed to the timeline
  // A change not yet handed out: it becomes an edge once the new level has held for the
  // shortest pulse, and vanishes if the audio returns to the committed level before that.
  double minPulseSamples_;       // across the middle
  double minInnerPulseSamples_;  // between the levels of one half
  bool pending_ = false;
  int pendingLevel_ = 0;
  double pendingAt_ = 0;                                         // sample position of its crossing
  double pendingDue_ = std::numeric_limits<double>::infinity();  // when it is handed out
  std::int64_t sampleIndex_ = 0;
  double lastBoundarySample_ = 0;
  std::array<double, kHistory> history_{};
  EntryTimeline timeline_;
  // The centred audio both regenerators read, and the sample count at which one of them has
  // work next (a block completes or a bit or symbol is due).
  CentredAudio audio_;
  std::int64_t attention_;
  bool regenerate_;
  PocsagRegenerator regenerator_;
  bool regenerateFlex_;
  FlexRegenerator flex_;
};

}  // namespace pagora
