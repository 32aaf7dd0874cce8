#include "input/flex_regenerator.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace pagora {
namespace {

constexpr double kSlowRate = 1600;
// Symbols the tone detector averages over: a bit sync may be as short as 32 symbols, and the
// receiver must have the output before the sync window begins.
constexpr double kToneSymbols = 16;
// How far the tone must stand out: its power against what noise alone gives in the detector's
// bandwidth. The alternation check is the real test.
constexpr double kToneSignificance = 10;
// Symbols checked for alternation, and how many neighbouring pairs must differ.
constexpr int kConfirmSymbols = 20;
constexpr int kConfirmAlternations = 16;
// The two halves of the alternation must be about as strong as each other (summed magnitudes).
constexpr double kConfirmBalance = 0.6;
// Timing loop: the share of each transition's measured boundary error taken into the phase and
// into the symbol length; the length stays this close to nominal.
constexpr double kPhaseGain = 0.06;
constexpr double kPeriodGain = 0.0015;
constexpr double kPeriodRange = 0.01;
// Edge jitter. A transmitter whose edges wander moves a neighbour's level into either end of a
// symbol; an isolated inner symbol between two outer ones of the other sign then reads on the
// wrong side of the centre once its edges have moved in by an eighth of a symbol each. Where the
// measured boundary offsets scatter more than noise explains, each symbol is decided on its
// middle only, cut at either end by this many times the edges' RMS scatter beyond a small
// allowance (and never more than the limit). Without jitter nothing is cut, and the whole
// symbol's energy counts against noise. The noise is measured on the middle half of each symbol
// whatever the cut: two neighbours decided alike over their whole length differ by what their
// other neighbours' wandering edges bring in, and a frame that began uncut would take that for
// noise, explain its jitter away and never cut. The scatter and the noise are averaged over all
// boundaries and pairs of neighbours decided alike since the bit sync, later over about this many.
constexpr double kJitterAverage = 1.0 / 64;
constexpr double kNoiseAverage = 1.0 / 16;
// Until neighbours decided alike have measured it, the noise on a level is taken as this share of
// the outer level (squared), so that a frame's first boundaries do not count as jitter.
constexpr double kStartingNoise = 0.3 * 0.3;
constexpr double kTrimPerJitter = 4.0;
constexpr double kJitterAllowance = 0.02;
constexpr double kLargestTrim = 0.36;
// The level fit: symbols it averages over, the weight the bit sync's outer levels start it with,
// and how varied the decided levels must be before it is trusted (else the centre stays and the
// outer level is the running average).
constexpr double kFitAverage = 1.0 / 64;
constexpr double kFitStart = 16;
constexpr double kFitDeterminant = 1e-3;
// A receiver's audio filter (and the slicer's own low-pass) spreads each symbol into both of its
// neighbours, which at 3200 symbols/s and four levels moves an inner symbol well towards a
// threshold: through a 3 kHz filter a level-0 symbol before a level 3 read a quarter of the way
// to level 1. In those blocks the receiver decides a symbol one symbol late, once the
// next one's integral is in, and takes off the previous symbol's share (by its decided level)
// and the next one's (by its measured level against the fitted ones). Both shares are learnt
// from the decisions, the fit's residual against either neighbour at this gain a symbol, from
// 0 in every frame's blocks. Elsewhere they are not used: at 1600 symbols/s and at two levels
// the learnt shares were mostly noise and cost sensitivity.
constexpr double kFeedbackGain = 0.016;
// Amplitude averages and the share at which the carrier counts as gone.
constexpr double kSlowAmplitude = 0.01;
constexpr double kFastAmplitude = 1.0 / 16;
constexpr double kCarrierLost = 0.5;
// The inner levels' average follows faster than the outer one: it starts from a guess.
constexpr double kInnerAmplitude = 0.03;
// The sync window: marker bits that may be wrong, as the decoder takes it; mode code and
// complement bits likewise.
constexpr std::uint32_t kMarker = 0xA6C6AAAAu;
constexpr int kMarkerErrors = 4;
constexpr int kCodeErrors = 4;
constexpr int kHeaderSymbols = 88;
constexpr int kBlockSlowSymbols = 11 * 256;
// Symbols without a marker after which the receiver gives the output back: the bit sync and the
// sync window of a frame take 96, a gap between frames a few more.
constexpr int kHuntSymbols = 160;
// When the carrier goes after a frame the receiver holds the output steady instead of handing
// it back to the slicer, which would slice the noise of an empty channel into random symbols:
// about one symbol in a hundred thousand then reads as a marker within its four errors, and the
// decoder, taking that for a frame of 11 blocks, would not look for the real marker of a frame
// that follows within 1.8 s. The hold ends when a bit sync stands out of the noise (taken at
// once, at any level), when a POCSAG preamble is found (the slicer hands that receiver the
// output), when the audio comes back to this share of the frame's outer level (other traffic:
// transmitters on one channel deviate alike), or after this many 1600 symbols/s symbols (30 s)
// in case the level fell for good.
constexpr double kCarrierBack = 0.5;
constexpr int kQuietSymbols = 48000;
// While holding: how fast the audio's level and its own running centre are followed, a symbol.
constexpr double kQuietAverage = 0.25;
constexpr double kQuietCentreAverage = 1.0 / 8;

struct ModeRow {
  std::uint16_t code;
  int rate;
  int levels;
};
constexpr ModeRow kModeRows[] = {
    {0xB068, 1600, 4}, {0xDEA0, 3200, 4}, {0x870C, 1600, 2}, {0x4C7C, 3200, 4}};

int Ones(std::uint64_t x) {
  return std::popcount(x);
}

}  // namespace

FlexRegenerator::FlexRegenerator(CentredAudio& audio, bool fourLevel)
    : audio_(audio),
      fourLevelOut_(fourLevel),
      slowSymbol_(audio.sampleRate() / kSlowRate),
      tone_(audio.AddTone(slowSymbol_, kToneSymbols)) {}

bool FlexRegenerator::Look() {
  if (!active_ && audio_.count() >= nextCheck_ && Stands())
    candidate_ = true;
  return candidate_;
}

bool FlexRegenerator::Stands() const {
  return audio_.Stands(tone_, kToneSignificance);
}

// Is the tone a bit sync? The symbol boundaries its phase gives, integrated over the last
// kConfirmSymbols symbols, must alternate. The receiver then starts at a boundary at least half
// a symbol after the slicer's last change, so that no hold on the timeline is cut short.
bool FlexRegenerator::Confirm(double lastBoundary) {
  double symbol = slowSymbol_;
  double n = static_cast<double>(audio_.count());
  double first = audio_.Boundary(tone_);
  double last = first + symbol * std::floor((n - 1 - symbol - first) / symbol);
  double earliest = last - (kConfirmSymbols - 1) * symbol;
  if (earliest - symbol < n - static_cast<double>(audio_.size()) + 2 || earliest < 1)
    return false;
  int alternations = 0;
  double sumAbs = 0, before = 0, positive = 0, negative = 0;
  for (int k = 0; k < kConfirmSymbols; ++k) {
    double y = Integrate(earliest + k * symbol, earliest + (k + 1) * symbol);
    alternations += k > 0 && (y > 0) != (before > 0);
    sumAbs += std::abs(y);
    (y > 0 ? positive : negative) += std::abs(y);
    before = y;
  }
  if (alternations < kConfirmAlternations)
    return false;
  // A bit sync swings between the two outer levels. The idle fill of a 4-level frame at 3200
  // symbols/s (levels 3 and 1 in pairs) alternates at the same rate between an outer and an
  // inner level: taken for a bit sync, it would have the receiver regenerate the rest of that
  // frame at the wrong rate.
  if (std::min(positive, negative) < kConfirmBalance * std::max(positive, negative))
    return false;

  double start = earliest;
  if (lastBoundary + 0.5 * symbol > start)
    start += symbol * std::ceil((lastBoundary + 0.5 * symbol - start) / symbol);
  active_ = true;
  ++entries_;
  period_ = nominal_ = symbol;
  tau_ = start;
  due_ = static_cast<std::int64_t>(std::ceil(tau_ + period_)) + 1;
  amplitude_ = fast_ = sumAbs / (kConfirmSymbols * symbol);
  inner_ = amplitude_ / 3;
  previous_ = 0;
  fitN_ = fitC2_ = kFitStart;
  fitC_ = fitY_ = 0;
  fitCY_ = kFitStart * amplitude_;
  jitter_ = 0;
  noise_ = kStartingNoise * amplitude_ * amplitude_;
  jitterSeen_ = 0;
  noiseSeen_ = 1;
  trim_ = 0;
  levelBefore_ = -1;
  lastMiddle_ = 0;
  window_ = 0;
  countdown_ = 0;
  blockSymbols_ = 0;
  hunting_ = 0;
  fourLevelNow_ = fourLevelOut_;
  framed_ = false;
  quiet_ = 0;
  centre_ = 0;
  span_ = live_ = amplitude_;
  feedback_ = previousPosition_ = lead_ = 0;
  return true;
}

FlexRegenerator::Event FlexRegenerator::Service(double lastBoundary, bool mayEnter,
                                                EntryTimeline& timeline, double ticksPerSample,
                                                EntrySink& sink) {
  Event event = Event::kNone;
  if (candidate_) {
    candidate_ = false;
    if (mayEnter && !active_ && Stands()) {
      nextCheck_ = audio_.count() + static_cast<std::int64_t>(2 * slowSymbol_);
      if (Confirm(lastBoundary))
        event = Event::kEntered;
    }
  }
  while (active_ && audio_.count() >= due_) {
    // Over the empty channel the tone detector goes on listening: a bit sync, however weak, is
    // taken at once, from the end of the hold.
    if (quiet_ > 0 && audio_.count() >= nextCheck_ && Stands()) {
      nextCheck_ = audio_.count() + static_cast<std::int64_t>(2 * slowSymbol_);
      if (Confirm(std::max(lastBoundary, tau_)))
        continue;
    }
    ProcessSymbol(timeline, ticksPerSample, sink);
    if (!active_) {
      event = Event::kLeft;
      nextCheck_ = audio_.count() + static_cast<std::int64_t>(kToneSymbols * slowSymbol_);
    }
  }
  return event;
}

// A symbol's level from its integral, against where the levels are now: a straight line through
// the recent symbols' averages, each against the level it was decided as (outer levels at -1
// and +1, inner ones at -1/3 and +1/3), gives the centre and the outer level. The slicer's
// centre, which comes in already taken off, wanders in noise, the more so in a 4-level frame's
// idle fill, which uses two levels only; the fit follows it from the decisions themselves. With
// two levels only the centre matters. Outside a 2-level frame's blocks the symbols are decided
// on four levels wherever the output has them: the header uses only the half, which is the same
// either way, and a receiver that took a bit-sync-like run inside a 4-level frame's blocks for a
// bit sync keeps the low bits. In 4-level blocks at 3200 symbols/s the neighbours' shares come off
// first (`ahead`: the next symbol's average; NaN elsewhere).
int FlexRegenerator::Decide(double y, double ahead) {
  static constexpr double kPosition[4] = {-1, -1.0 / 3, 1.0 / 3, 1};
  double u = y / period_ - feedback_ * previousPosition_;
  double lead = 0;
  if (!std::isnan(ahead) && span_ > 0) {
    lead = std::clamp((ahead - centre_) / span_, -1.5, 1.5);
    u -= lead_ * lead;
  }
  double det = fitN_ * fitC2_ - fitC_ * fitC_;
  double centre = 0, span = amplitude_;
  if (det > kFitDeterminant * fitN_ * fitN_) {
    centre = (fitC2_ * fitY_ - fitC_ * fitCY_) / det;
    span = (fitN_ * fitCY_ - fitC_ * fitY_) / det;
  }
  if (!(span > 0))
    span = amplitude_;
  centre_ = centre;
  span_ = span;
  double z = (u - centre) / span;
  int decided = fourLevelNow_ ? (z > -2.0 / 3) + (z > 0) + (z > 2.0 / 3) : (z > 0 ? 3 : 0);
  double c = kPosition[decided];
  double keep = 1 - kFitAverage;
  fitN_ = keep * fitN_ + 1;
  fitC_ = keep * fitC_ + c;
  fitC2_ = keep * fitC2_ + c * c;
  fitY_ = keep * fitY_ + u;
  fitCY_ = keep * fitCY_ + c * u;
  if (FastFourLevelBlocks()) {
    feedback_ += kFeedbackGain * (u - centre - span * c) * previousPosition_;
    lead_ += kFeedbackGain * (u - centre - span * c) * lead;
  }
  previousPosition_ = c;
  // The running magnitudes the carrier check and the jitter estimate use.
  double level = std::abs(u);
  if (decided == 0 || decided == 3)
    amplitude_ += kSlowAmplitude * (level - amplitude_);
  else
    inner_ += kInnerAmplitude * (level - inner_);
  inner_ = std::clamp(inner_, amplitude_ / 6, amplitude_ * 2 / 3);
  return decided;
}

// Decides the next symbol. At a change of sign the integral over the half symbols either side of
// the boundary says how far the boundary is off, given the two symbols' levels.
void FlexRegenerator::ProcessSymbol(EntryTimeline& timeline, double ticksPerSample,
                                    EntrySink& sink) {
  double p = period_;
  double start = tau_;
  if (quiet_ > 0) {
    HoldQuiet(start, timeline, ticksPerSample, sink);
    return;
  }
  double y = Integrate(start, start + p);
  double ahead = Equalizing() ? Integrate(start + p, start + 2 * p) / p : std::nan("");
  double next = start + p;
  double offset = 0;
  bool changes = previous_ != 0 && (y > 0) != (previous_ > 0);
  if (changes) {
    double a = std::abs(previous_) / p, b = std::abs(y) / p;
    if (a + b > 0) {
      double straddle = Integrate(start - 0.5 * p, start + 0.5 * p) * (y > 0 ? 1 : -1);
      double late = std::clamp(((b - a) * 0.5 * p - straddle) / (a + b), -0.25 * p, 0.25 * p);
      next += kPhaseGain * late;
      period_ = std::clamp(period_ + kPeriodGain * late, nominal_ * (1 - kPeriodRange),
                           nominal_ * (1 + kPeriodRange));
      offset = late / p;
    }
  }
  fast_ += kFastAmplitude * (std::abs(y) / p - fast_);
  live_ += kFastAmplitude * (std::abs(y / p - centre_) - live_);
  // The decision itself on the symbol's middle (all of it unless the edges jitter).
  double decided = y;
  if (trim_ > 0)
    decided = Integrate(start + trim_ * p, start + (1 - trim_) * p) / (1 - 2 * trim_);
  outputLevel_ = Decide(decided, ahead);
  double middle = Integrate(start + 0.25 * p, start + 0.75 * p) / (0.5 * p);
  TrackJitter(changes ? offset : std::nan(""), outputLevel_, middle);
  std::uint8_t status = kLevelStatus[outputLevel_];
  if (timeline.status() != status)
    timeline.Change(start * ticksPerSample, status, sink);
  previous_ = y;
  tau_ = next;
  TrackFraming(outputLevel_);
  due_ = static_cast<std::int64_t>(std::ceil(tau_ + (Equalizing() ? 2 : 1) * period_)) + 1;
}

// Holds the output at its level while the channel is empty, keeping the timeline's time moving
// (the slicer does not while a receiver owns the output), and gives the output back when the
// audio comes back or the hold has lasted its longest. It starts from no level at all, so that
// only audio that stays at the frame's level for a few symbols ends it.
void FlexRegenerator::HoldQuiet(double start, EntryTimeline& timeline, double ticksPerSample,
                                EntrySink& sink) {
  // The clock runs on at whatever phase the last frame left it, so the level is taken from the
  // symbol's quarters: a bit sync straddling the boundaries still shows at least 3/4 of its level.
  // Its distance from the centre is measured against the audio's own running centre, as the
  // slicer's, taken off before, wanders over an empty channel.
  double quarter = 0.25 * period_, q[4], sum = 0;
  for (int k = 0; k < 4; ++k) {
    q[k] = Integrate(start + k * quarter, start + (k + 1) * quarter);
    sum += q[k];
  }
  quietCentre_ += kQuietCentreAverage * (sum / period_ - quietCentre_);
  double level = 0;
  for (double v : q)
    level += std::abs(v - quietCentre_ * quarter);
  live_ += kQuietAverage * (level / period_ - live_);
  tau_ = start + period_;
  due_ = static_cast<std::int64_t>(std::ceil(tau_ + period_)) + 1;
  timeline.Advance(tau_ * ticksPerSample, sink);
  if (live_ >= kCarrierBack * span_ || ++quiet_ > kQuietSymbols)
    active_ = false;
}

// Learns how far the edges wander (`offset`: the measured boundary offset before the symbol just
// decided, in symbols, NaN where none was measured) beyond what noise alone scatters an offset
// by: the noise on a level, measured between neighbours decided alike (`middle`: the symbol's
// average over its middle half), over the swing between the two levels of the boundary.
void FlexRegenerator::TrackJitter(double offset, int level, double middle) {
  // Two neighbours decided alike differ by noise alone on their middles (unless the edges wander
  // by a quarter of a symbol). Each middle half has twice the noise of a whole symbol's average.
  if (level == levelBefore_) {
    double miss = middle - lastMiddle_;
    ++noiseSeen_;
    noise_ += std::max(kNoiseAverage, 1.0 / noiseSeen_) * (0.25 * miss * miss - noise_);
  }
  if (!std::isnan(offset) && levelBefore_ >= 0) {
    auto magnitude = [&](int l) { return l == 0 || l == 3 ? amplitude_ : inner_; };
    // The straddle integral's noise over the swing between the two levels.
    double swing = magnitude(level) + magnitude(levelBefore_);
    double spread = noise_ / (swing * swing);
    ++jitterSeen_;
    jitter_ += std::max(kJitterAverage, 1.0 / jitterSeen_) * (offset * offset - spread - jitter_);
    trim_ = std::clamp(kTrimPerJitter * (std::sqrt(std::max(jitter_, 0.0)) - kJitterAllowance), 0.0,
                       kLargestTrim);
  }
  levelBefore_ = level;
  lastMiddle_ = middle;
}

// Follows the frame as the decoder does: the sync window in the high bits, the header count at
// 1600 symbols/s, the blocks at the frame's rate. Either polarity of the window is taken, as the
// decoder may be set to invert the data.
void FlexRegenerator::TrackFraming(int level) {
  if (blockSymbols_ > 0) {
    if (--blockSymbols_ == 0) {
      // Back to the header rate for the next frame's bit sync.
      period_ *= static_cast<double>(frameRate_) / kSlowRate;
      feedback_ = lead_ = 0;
      nominal_ = slowSymbol_;
      fourLevelNow_ = fourLevelOut_;
      hunting_ = 0;
      window_ = 0;
      framed_ = true;
    }
    return;
  }
  window_ = (window_ << 1) | static_cast<std::uint64_t>(level < 2 ? 1 : 0);
  auto marker = static_cast<std::uint32_t>(window_ >> 16);
  int errors = Ones(marker ^ kMarker);
  bool inverted = false;
  if (errors > kMarkerErrors) {
    errors = Ones(~marker ^ kMarker);
    inverted = true;
  }
  // Within a header only a marker of the frame's own polarity restarts it, as in the decoder,
  // which takes one polarity only: the frame information word and sync 2 come within four bits
  // of the inverted marker for some frame numbers (85 and 93 among them), and restarting there
  // put the blocks 48 symbols late.
  if (errors <= kMarkerErrors && (countdown_ == 0 || inverted == invertedFrame_)) {
    invertedFrame_ = inverted;
    std::uint64_t window = inverted ? ~window_ : window_;
    auto code = static_cast<std::uint16_t>(window >> 48);
    auto complement = static_cast<std::uint16_t>(window);
    bool found = false;
    for (const ModeRow& row : kModeRows) {
      if (Ones(static_cast<std::uint16_t>(code ^ row.code)) +
              Ones(static_cast<std::uint16_t>(complement ^ row.code ^ 0xFFFF)) <=
          kCodeErrors) {
        frameRate_ = row.rate;
        frameLevels_ = row.levels;
        found = true;
        break;
      }
    }
    if (!found && static_cast<std::uint16_t>(code ^ complement) == 0xFFFF) {
      frameRate_ = 3200;
      frameLevels_ = 2;
    }
    countdown_ = kHeaderSymbols;
    hunting_ = 0;
    return;
  }
  if (countdown_ > 0) {
    if (--countdown_ == 0) {
      ++frames_;
      blockSymbols_ = kBlockSlowSymbols * frameRate_ / 1600;
      nominal_ = audio_.sampleRate() / frameRate_;
      period_ *= kSlowRate / frameRate_;
      feedback_ = lead_ = 0;
      fourLevelNow_ = fourLevelOut_ && frameLevels_ == 4;
    }
    return;
  }
  bool carrierLost = fast_ < kCarrierLost * amplitude_;
  if (framed_ && (carrierLost || live_ < kCarrierLost * span_)) {
    quiet_ = 1;
    quietCentre_ = centre_;
    live_ = 0;
  } else if (++hunting_ > kHuntSymbols || carrierLost) {
    active_ = false;
  }
}

}  // namespace pagora
