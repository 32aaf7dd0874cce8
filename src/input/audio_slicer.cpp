#include "input/audio_slicer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "engine/bit_recovery.h"

namespace pagora {
namespace {

// Envelope time constants. The attack pulls an outer estimate out to a sample beyond it within
// about one FLEX 1600 symbol; the release lets it fall back towards samples on its own side of
// the centre (a smaller deviation, a shifted centre) within a few symbols, and towards samples on
// the far side only slowly, so that a long run of one level does not collapse the span.
constexpr double kAttackSeconds = 0.0005;
constexpr double kReleaseNearSeconds = 0.008;
constexpr double kReleaseFarSeconds = 0.060;
constexpr double kReleaseInnerSeconds = 0.060;
// The shortest pulse between two neighbouring levels of one half (never shorter than the
// configured limit for changes across the middle allows): half a FLEX 3200 symbol. A one-step
// 4-level symbol, rounded off by the low-pass, passes its threshold for less time than a
// change across the middle does.
constexpr double kInnerPulseSeconds = 0.5 / 3200;
// A pulse is measured to the sample at which the audio is seen back, so a genuine one-symbol
// pulse can look up to a sample and a half shorter than the symbol: at low sample rates the
// limit stays that far below the shortest symbol (8000 Hz: 125 us).
constexpr double kShortestSymbolSeconds = 1.0 / 3200;
// With four levels: how close to a level position a sample must lie to count as that level for
// the envelope, and how little it may differ from the sample before to count as flat (both in
// steps between levels). Flatter shares hold a long idle fill; 0.4 lost it after 0.6 s.
constexpr double kLevelFit = 0.25;
constexpr double kFlatShare = 0.25;
// Hysteresis around each threshold, as a share of the span.
constexpr double kHysteresis2 = 0.08;
constexpr double kHysteresis4 = 0.05;
// Below this span (about -80 dBFS) the input is taken as silence and the level is held.
constexpr double kMinimumSpan = 1e-4;
constexpr double kNever = std::numeric_limits<double>::infinity();
// A sample further from the centre than this many spans (and beyond full scale) is clipped
// there: one wild sample (a float file's 1e4) would otherwise blow the span up and take the
// release time constants to come back. A real signal that grows louder still pulls the
// envelope out, by a third of a span or more per sample.
constexpr double kClipSpans = 4;
constexpr double kClipFloor = 1.0;

// A sample the slicer can work with: NaN and infinities (a damaged float file) are silence,
// and nothing beyond the clip limits reaches the filter or the envelope.
inline double SaneSample(float sample, double floor, double ceiling) {
  double x = sample;
  if (!std::isfinite(x))
    return 0;
  return std::clamp(x, floor, ceiling);
}

double Coefficient(double seconds, double sampleRate) {
  return 1.0 - std::exp(-1.0 / (seconds * sampleRate));
}

}  // namespace

AudioSlicer::AudioSlicer(const AudioSlicerConfig& config)
    : sampleRate_(config.sampleRate > 0 ? config.sampleRate : 22050),
      ticksPerSample_(1.0 / (sampleRate_ * kTickSeconds)),
      advanceSpan_(static_cast<double>(kMaxEntryTicks) / ticksPerSample_),
      advanceDue_(advanceSpan_),
      fourLevel_(config.levels == 4),
      attack_(Coefficient(kAttackSeconds, sampleRate_)),
      releaseNear_(Coefficient(kReleaseNearSeconds, sampleRate_)),
      releaseFar_(Coefficient(kReleaseFarSeconds, sampleRate_)),
      minPulseSamples_(std::clamp(kShortestSymbolSeconds * sampleRate_ - 1.5, 0.0,
                                  std::max(0.0, config.minPulseSeconds) * sampleRate_)),
      minInnerPulseSamples_(std::min(minPulseSamples_, kInnerPulseSeconds * sampleRate_)),
      audio_(sampleRate_),
      regenerate_(config.regeneratePocsag),
      regenerator_(audio_),
      regenerateFlex_(config.regenerateFlex),
      flex_(audio_, config.levels == 4) {
  attention_ = regenerate_ || regenerateFlex_ ? audio_.nextBlockEnd() : kNeverDue;
  // Level bands: a level is left upwards past the threshold above it plus the hysteresis,
  // downwards past the threshold below it minus the hysteresis; the outermost levels are not
  // left outwards (2 spans: beyond any sample the envelope lets through).
  for (int level = 0; level < 4; ++level) {
    auto l = static_cast<std::size_t>(level);
    if (fourLevel_) {
      upperShare_[l] = level < 3 ? (level + 0.5) / 3 + kHysteresis4 : 2.0;
      lowerShare_[l] = level > 0 ? (level - 0.5) / 3 - kHysteresis4 : -1.0;
    } else {
      upperShare_[l] = level == 0 ? 0.5 + kHysteresis2 : 2.0;
      lowerShare_[l] = level == 3 ? 0.5 - kHysteresis2 : -1.0;
    }
  }
  BuildFourLevelMoves();
  if (config.lowPassHz > 0 && config.lowPassHz < 0.45 * sampleRate_) {
    // Butterworth low-pass, Q = 1/sqrt(2), bilinear transform.
    double w0 = 2 * std::numbers::pi * config.lowPassHz / sampleRate_;
    double alpha = std::sin(w0) / std::numbers::sqrt2;
    double cosw = std::cos(w0);
    double a0 = 1 + alpha;
    b0_ = (1 - cosw) / 2 / a0;
    b1_ = (1 - cosw) / a0;
    b2_ = b0_;
    a1_ = -2 * cosw / a0;
    a2_ = (1 - alpha) / a0;
    filter_ = true;
  }
}

// Where, in samples, the audio last crossed `value` in the given direction: interpolated
// between the two samples around the crossing, searched back through the recent history.
double AudioSlicer::CrossingSample(double value, bool rising) const {
  std::int64_t newest = sampleIndex_;
  std::int64_t oldest = std::max<std::int64_t>(1, newest - (kHistory - 1));
  for (std::int64_t k = newest; k >= oldest; --k) {
    double x1 = history_[static_cast<std::size_t>(k) & (kHistory - 1)];
    double x0 = history_[static_cast<std::size_t>(k - 1) & (kHistory - 1)];
    bool crossed = rising ? (x0 < value && x1 >= value) : (x0 > value && x1 <= value);
    if (crossed) {
      double fraction = (value - x0) / (x1 - x0);
      return static_cast<double>(k - 1) + std::clamp(fraction, 0.0, 1.0);
    }
  }
  return static_cast<double>(newest);
}

// Four levels: a sample near one of the four level positions says where the outer levels are
// even when it is an inner one, and says nothing about the far outer level. A FLEX phase's idle
// fill sends only two levels (the all-ones and all-zeros words in step on every phase: levels 3
// and 1) for up to a whole frame; were the estimates to fall back towards every sample, the low
// one would settle on level 1 and every level-1 symbol would read as 0. So a sample at an inner
// level pulls its side's estimate towards where it puts the outer level, a sample at the far
// levels leaves it alone, and only flat samples that fit no level position (a changed deviation,
// a shifted centre) let the estimates fall back slowly towards them; samples on the way from one
// level to another leave them alone.
inline void AudioSlicer::TrackFourLevels(double x, double previous, double& high, double& low) {
  double step = fitStep_;
  int nearest = (x > fitBetween_[0]) + (x > fitBetween_[1]) + (x > fitBetween_[2]);
  bool fits = std::abs(x - fitLevels_[static_cast<std::size_t>(nearest)]) < fitTolerance_;
  // Samples on the way from one level to another fit nowhere yet tell nothing: only a sample
  // where the audio is nearly flat (the middle of a symbol) may move the estimates.
  bool flat = std::abs(x - previous) < flatTolerance_;
  // Each estimate moves by one rate towards one target, looked up rather than branched on, as
  // noisy audio makes the choice unpredictable (the rules are in BuildFourLevelMoves).
  int common = (fits || flat ? 8 : 0) | nearest << 1 | (fits ? 1 : 0);
  const FourLevelMove& up = highMoves_[static_cast<std::size_t>(common | (x > high ? 16 : 0))];
  const FourLevelMove& down = lowMoves_[static_cast<std::size_t>(common | (x < low ? 16 : 0))];
  high += up.rate * (x + up.lift * step - high);
  low += down.rate * (x - down.lift * step - low);
}

// The envelope's moves for each kind of sample, by key: bit 4 the sample lies beyond the
// estimate, bit 3 it may move the estimates (it fits a level or the audio is flat), bits 1-2 its
// nearest level, bit 0 it fits that level. A sample beyond an estimate pulls it out (attack);
// else a sample at the estimate's own outer level pulls it in, a sample fitting the inner level
// on its side pulls it to one step beyond itself, a flat sample fitting no level lets it fall
// back slowly, and any other sample leaves it.
void AudioSlicer::BuildFourLevelMoves() {
  // Taken on every other sample.
  double rate = sampleRate_ / 2;
  double attack = Coefficient(kAttackSeconds, rate), near = Coefficient(kReleaseNearSeconds, rate),
         inner = Coefficient(kReleaseInnerSeconds, rate),
         far = Coefficient(kReleaseFarSeconds, rate);
  for (int key = 0; key < 32; ++key) {
    bool beyond = key & 16, moves = key & 8, fits = key & 1;
    int nearest = (key >> 1) & 3;
    for (int side = 0; side < 2; ++side) {
      int own = side == 0 ? 3 : 0, innerLevel = side == 0 ? 2 : 1;
      FourLevelMove move;
      if (beyond) {
        move = {attack, 0};
      } else if (!moves) {
        move = {0, 0};
      } else if (nearest == own) {
        move = {near, 0};
      } else if (fits && nearest == innerLevel) {
        move = {inner, 1};
      } else if (!fits) {
        move = {far, 0};
      }
      (side == 0 ? highMoves_ : lowMoves_)[static_cast<std::size_t>(key)] = move;
    }
  }
}

// The level positions are taken from the estimates every few samples only: they move far
// slower than that, and each sample's update then no longer waits for the one before.
void AudioSlicer::RefreshFit(double high, double low) {
  fitStep_ = (high - low) * (1.0 / 3);
  // The levels lie at 0, 1, 2 and 3 steps above the low estimate.
  for (std::size_t n = 0; n < fitLevels_.size(); ++n)
    fitLevels_[n] = low + static_cast<double>(n) * fitStep_;
  for (std::size_t n = 0; n < fitBetween_.size(); ++n)
    fitBetween_[n] = low + (static_cast<double>(n) + 0.5) * fitStep_;
  fitTolerance_ = kLevelFit * fitStep_;
  flatTolerance_ = kFlatShare * fitStep_;
}

void AudioSlicer::Process(const float* samples, std::size_t count, EntrySink& sink) {
  if (fourLevel_)
    filter_ ? Slice<true, true>(samples, count, sink) : Slice<true, false>(samples, count, sink);
  else
    filter_ ? Slice<false, true>(samples, count, sink) : Slice<false, false>(samples, count, sink);
}

// The loop, made once for each kind of slicer so that the per-sample path holds no test of what
// is fixed for the slicer's life.
template <bool kFourLevel, bool kFiltered>
void AudioSlicer::Slice(const float* samples, std::size_t count, EntrySink& sink) {
  // The hot state lives in locals for the loop and goes back to the members before anything
  // out of line (a level change, a pending change, a long hold) reads it.
  double high = high_, low = low_, z1 = z1_, z2 = z2_;
  double previous = history_[static_cast<std::size_t>(sampleIndex_ - 1) & (kHistory - 1)];
  for (std::size_t i = 0; i < count; ++i) {
    if ((sampleIndex_ & (kFitRefresh - 1)) == 0) {
      // The clip limits and the four-level positions follow the envelope a few samples behind,
      // so that the filter and the envelope are two short chains from sample to sample rather
      // than one long one.
      double centre = 0.5 * (high + low);
      double reach = std::max(kClipSpans * (high - low), kClipFloor);
      clipFloor_ = centre - reach;
      clipCeiling_ = centre + reach;
      if constexpr (kFourLevel)
        RefreshFit(high, low);
    }
    double x = SaneSample(samples[i], clipFloor_, clipCeiling_);
    if constexpr (kFiltered) {
      double y = b0_ * x + z1;
      z1 = b1_ * x - a1_ * y + z2;
      z2 = b2_ * x - a2_ * y;
      x = y;
    }
    SliceOne<kFourLevel>(x, previous, high, low, sink);
  }
  high_ = high;
  low_ = low;
  z1_ = z1;
  z2_ = z2;
}

template <bool kFourLevel>
inline void AudioSlicer::SliceOne(double x, double& previous, double& high, double& low,
                                  EntrySink& sink) {
  std::int64_t index = sampleIndex_;
  history_[static_cast<std::size_t>(index) & (kHistory - 1)] = x;
  if (!primed_) [[unlikely]] {
    high = low = x;
    primed_ = true;
    timeline_.Start(0, kLevelStatus[level_]);
    if constexpr (kFourLevel)
      RefreshFit(high, low);
  }

  if constexpr (kFourLevel) {
    // Every other sample is enough for the envelope, whose shortest time constant is eleven
    // samples at 22050 Hz; the level decisions below still see every sample.
    if ((index & 1) == 0)
      TrackFourLevels(x, previous, high, low);
  } else {
    // An outer estimate falls back quickly towards samples on its own side of the centre and
    // only slowly towards the far side, so that a long run of one level keeps the span.
    double centre = 0.5 * (high + low);
    if (x > high) {
      high += attack_ * (x - high);
    } else {
      high -= (x > centre ? releaseNear_ : releaseFar_) * (high - x);
    }
    if (x < low) {
      low += attack_ * (x - low);
    } else {
      low += (x < centre ? releaseNear_ : releaseFar_) * (x - low);
    }
  }
  previous = x;

  // The band the current level holds in, as shares of the span above the low estimate;
  // leaving it is rare and handled out of line.
  double span = high - low;
  double upper = low + span * upperShare_[static_cast<std::size_t>(level_)];
  double lower = low + span * lowerShare_[static_cast<std::size_t>(level_)];
  if ((x > upper || x < lower) && span > kMinimumSpan) {
    high_ = high;
    low_ = low;
    ChangeLevel(x, sink);
  }

  audio_.Push(x - 0.5 * (high + low));
  if (audio_.count() >= attention_) {
    high_ = high;
    low_ = low;
    AttendRegenerators(sink);
  }

  // A pending change is handed out once it has lasted (its due sample is +infinity while none
  // is pending); while one is pending the hold before it is still open.
  double position = static_cast<double>(index);
  if (position >= pendingDue_) {
    CommitPending(sink);
  } else if (position > advanceDue_) {
    timeline_.Advance(position * ticksPerSample_, sink);
    lastBoundarySample_ += advanceSpan_;
    advanceDue_ = lastBoundarySample_ + advanceSpan_;
  }
  sampleIndex_ = index + 1;
}

void AudioSlicer::ChangeLevel(double x, EntrySink& sink) {
  double span = high_ - low_;
  int next;
  double mid;
  bool middle = true;  // the change crosses the middle of the range (every 2-level change)
  if (fourLevel_) {
    // Levels sit at low + span * n / 3; thresholds halfway between neighbours. A change
    // across the middle is timed where the audio crossed the centre: those are the edges the
    // symbol clocks lock to. A change within one half is timed at the threshold between its
    // two levels.
    double step = span / 3;
    double t0 = low_ + step * 0.5;
    next = (x > t0) + (x > t0 + step) + (x > t0 + 2 * step);
    if (next == level_)
      return;
    if (regenerating()) {
      level_ = committedLevel_ = next;  // the regenerated bits stand in for the edges
      return;
    }
    middle = (level_ <= 1) != (next <= 1);
    mid = middle ? low_ + step * 1.5 : low_ + step * 0.5 * (level_ + next);
  } else {
    next = level_ == 0 ? 3 : 0;
    if (regenerating()) {
      level_ = committedLevel_ = next;
      return;
    }
    mid = low_ + 0.5 * span;
  }
  double at = CrossingSample(mid, next > level_);
  level_ = next;
  if (pending_) {
    if (next == committedLevel_) {
      // Back where it was before a symbol could have passed: noise, not a change.
      pending_ = false;
      pendingDue_ = kNever;
      advanceDue_ = lastBoundarySample_ + advanceSpan_;
      return;
    }
    // On to a third level (a 4-level change passing an inner level): the first step stands.
    CommitPending(sink);
  }
  double shortest = middle ? minPulseSamples_ : minInnerPulseSamples_;
  pending_ = true;
  pendingLevel_ = next;
  pendingAt_ = at;
  pendingDue_ = at + shortest;
  advanceDue_ = kNever;
  if (shortest <= 0)
    CommitPending(sink);
}

void AudioSlicer::CommitPending(EntrySink& sink) {
  timeline_.Change(pendingAt_ * ticksPerSample_, kLevelStatus[pendingLevel_], sink);
  lastBoundarySample_ = pendingAt_;
  committedLevel_ = pendingLevel_;
  pending_ = false;
  pendingDue_ = kNever;
  advanceDue_ = lastBoundarySample_ + advanceSpan_;
}

// A block of the centred audio is complete, or a regenerator has a bit or symbol due. Each
// regenerator's work is done in turn, POCSAG first, as the second may only take the output if
// the first has not.
void AudioSlicer::AttendRegenerators(EntrySink& sink) {
  std::int64_t now = audio_.count();
  bool look = now == audio_.nextBlockEnd() && audio_.TakeBlock();
  if (regenerate_ && ((look && regenerator_.Look()) || now >= regenerator_.due()))
    ServiceRegenerator(sink);
  if (regenerateFlex_ && ((look && flex_.Look()) || now >= flex_.due()))
    ServiceFlex(sink);
  attention_ = std::min({audio_.nextBlockEnd(), regenerate_ ? regenerator_.due() : kNeverDue,
                         regenerateFlex_ ? flex_.due() : kNeverDue});
}

// The regenerator takes over the timeline at a preamble and gives it back when the burst ends;
// the slicer then goes on from the level the audio is at, with nothing pending. A FLEX receiver
// merely holding the output over an empty channel gives way to a preamble.
void AudioSlicer::ServiceRegenerator(EntrySink& sink) {
  bool flexQuiet = flex_.quiet();
  PocsagRegenerator::Event event = regenerator_.Service(
      lastBoundarySample_, !flex_.active() || flexQuiet, timeline_, ticksPerSample_, sink);
  if (flexQuiet && event == PocsagRegenerator::Event::kEntered)
    flex_.Release();
  if (event != PocsagRegenerator::Event::kNone)
    TakeBackOutput(event == PocsagRegenerator::Event::kEntered, regenerator_.endSample(), sink);
}

// Only one receiver owns the output at a time: a FLEX bit sync is not taken during a POCSAG
// burst, nor a POCSAG preamble during a FLEX frame.
void AudioSlicer::ServiceFlex(EntrySink& sink) {
  FlexRegenerator::Event event =
      flex_.Service(lastBoundarySample_, !regenerator_.active(), timeline_, ticksPerSample_, sink);
  if (event != FlexRegenerator::Event::kNone)
    TakeBackOutput(event == FlexRegenerator::Event::kEntered, flex_.endSample(), sink);
}

void AudioSlicer::TakeBackOutput(bool entered, double end, EntrySink& sink) {
  pending_ = false;
  pendingDue_ = kNever;
  if (entered) {
    advanceDue_ = kNever;
    return;
  }
  committedLevel_ = level_;
  if (timeline_.status() != kLevelStatus[level_])
    timeline_.Change(end * ticksPerSample_, kLevelStatus[level_], sink);
  lastBoundarySample_ = std::max(lastBoundarySample_, end);
  advanceDue_ = lastBoundarySample_ + advanceSpan_;
}

void AudioSlicer::Finish(EntrySink& sink) {
  if (!primed_)
    return;
  // A FLEX receiver holding the output over the empty channel after its frame lets go: the
  // input has ended, and what follows starts from the slicer.
  if (flex_.quiet()) {
    flex_.Release();
    TakeBackOutput(false, flex_.endSample(), sink);
  }
  if (pending_)
    CommitPending(sink);
  timeline_.Flush(static_cast<double>(sampleIndex_) * ticksPerSample_, sink);
  lastBoundarySample_ = static_cast<double>(sampleIndex_);
  advanceDue_ = lastBoundarySample_ + advanceSpan_;
}

}  // namespace pagora
