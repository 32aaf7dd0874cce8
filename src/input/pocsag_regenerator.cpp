#include "input/pocsag_regenerator.h"

#include <algorithm>
#include <cmath>

#include "decoder/bch.h"

namespace pagora {
namespace {

// Bits the tone detectors average over (their time constant).
constexpr double kToneBits = 32;
// How far the tone must stand out: its power against what noise alone gives in the detector's
// bandwidth (exponentially distributed with mean 1). Data and noise cross it now and then; the
// alternation check below is the real test, and only runs while a tone stands out.
constexpr double kToneSignificance = 12;
// Bit decisions checked for alternation before a preamble counts, and how many of their
// neighbouring pairs must differ: at the bit error rates where pages still decode (a few in a
// hundred) a preamble passes, random data (half the pairs) does not.
constexpr int kConfirmBits = 48;
constexpr int kConfirmAlternations = 41;
// Timing loop: the share of each transition's measured boundary error taken into the phase,
// and into the bit length. Together they average over a few tens of transitions and follow a
// symbol clock 1000 ppm off with a fraction of a percent of a bit in phase error.
constexpr double kPhaseGain = 0.06;
constexpr double kPeriodGain = 0.0015;
constexpr double kPeriodRange = 0.01;  // the tracked bit length stays this close to nominal
// Amplitude: a slow average of the integrated bits and a fast one; the carrier has gone when
// the fast one falls below this share of the slow one.
constexpr double kSlowAmplitude = 0.01;
constexpr double kFastAmplitude = 1.0 / 16;
constexpr double kCarrierLost = 0.5;
// Framing: a sync codeword within 4 bits after the preamble (as the decoder takes it), within 8
// where one is due (its place is known), and within 1 anywhere in a batch (a new transmission
// directly after the last).
constexpr std::uint32_t kSyncCodeword = 0x7CD215D8;
constexpr int kBatchBits = 17 * 32;
constexpr int kSyncAfterPreamble = 4;
constexpr int kSyncWhereDue = 8;
constexpr int kSyncAnywhere = 1;
constexpr int kPreambleLostBits = 32;
constexpr int kAlternatingPairs = 24;  // of the 31 pairs in the register
constexpr int kMissedSyncsToLeave = 2;

}  // namespace

PocsagRegenerator::PocsagRegenerator(CentredAudio& audio) : audio_(audio) {
  for (std::size_t r = 0; r < tones_.size(); ++r)
    tones_[r].detector = audio.AddTone(audio.sampleRate() / kRates[r], kToneBits);
}

bool PocsagRegenerator::Look() {
  if (!active_) {
    for (const Tone& tone : tones_)
      candidate_ = candidate_ || (Stands(tone) && audio_.count() >= tone.nextCheck);
  }
  return candidate_;
}

bool PocsagRegenerator::Stands(const Tone& tone) const {
  return audio_.Stands(tone.detector, kToneSignificance);
}

// Is the tone at `rate` a preamble? The bit boundaries its phase gives, integrated over the last
// kConfirmBits bits, must alternate. On success the receiver starts at a boundary at least half
// a bit after the slicer's last change, so that no hold on the timeline is cut short.
bool PocsagRegenerator::Confirm(std::size_t rate, double lastBoundary) {
  std::size_t tone = tones_[rate].detector;
  double bit = audio_.SamplesPerSymbol(tone);
  double n = static_cast<double>(audio_.count());
  double first = audio_.Boundary(tone);  // in samples (any whole bit away is one too)
  double last = first + bit * std::floor((n - 1 - bit - first) / bit);
  double earliest = last - (kConfirmBits - 1) * bit;
  if (earliest - bit < n - static_cast<double>(audio_.size()) + 2 || earliest < 1)
    return false;
  int alternations = 0;
  double sumAbs = 0, before = 0;
  for (int k = 0; k < kConfirmBits; ++k) {
    double y = Integrate(earliest + k * bit, earliest + (k + 1) * bit);
    alternations += k > 0 && (y > 0) != (before > 0);
    sumAbs += std::abs(y);
    before = y;
  }
  if (alternations < kConfirmAlternations)
    return false;

  double start = earliest;
  if (lastBoundary + 0.5 * bit > start)
    start += bit * std::ceil((lastBoundary + 0.5 * bit - start) / bit);
  active_ = true;
  ++bursts_;
  rate_ = rate;
  period_ = nominal_ = bit;
  tau_ = start;
  due_ = static_cast<std::int64_t>(std::ceil(tau_ + period_)) + 1;
  amplitude_ = fast_ = sumAbs / (kConfirmBits * bit);
  previous_ = 0;
  register_ = 0xAAAAAAAAu;
  inBatch_ = false;
  missedSyncs_ = 0;
  withoutPreamble_ = 0;
  return true;
}

PocsagRegenerator::Event PocsagRegenerator::Service(double lastBoundary, bool mayEnter,
                                                    EntryTimeline& timeline, double ticksPerSample,
                                                    EntrySink& sink) {
  Event event = Event::kNone;
  if (candidate_ && !mayEnter)
    candidate_ = false;
  if (candidate_) {
    candidate_ = false;
    for (std::size_t r = 0; r < tones_.size() && !active_; ++r) {
      Tone& tone = tones_[r];
      if (!Stands(tone) || audio_.count() < tone.nextCheck)
        continue;
      tone.nextCheck =
          audio_.count() + static_cast<std::int64_t>(4 * audio_.SamplesPerSymbol(tone.detector));
      if (Confirm(r, lastBoundary))
        event = Event::kEntered;
    }
  }
  while (active_ && audio_.count() >= due_) {
    ProcessBit(timeline, ticksPerSample, sink);
    if (!active_) {
      event = Event::kLeft;
      // The tone of the burst's last preamble may still stand out: give it time to fade.
      for (Tone& tone : tones_)
        tone.nextCheck = audio_.count() + static_cast<std::int64_t>(
                                              kToneBits * audio_.SamplesPerSymbol(tone.detector));
    }
  }
  return event;
}

// Decides the next bit: its integral over the tracked period gives the level; at a transition,
// the integral over the half bits either side of the boundary says how far the boundary is off
// (zero when it is right, growing with the share of the wrong bit).
void PocsagRegenerator::ProcessBit(EntryTimeline& timeline, double ticksPerSample,
                                   EntrySink& sink) {
  double bit = period_;
  double start = tau_;
  double y = Integrate(start, start + bit);
  double next = start + bit;
  if (previous_ != 0 && (y > 0) != (previous_ > 0) && amplitude_ > 0) {
    double straddle = Integrate(start - 0.5 * bit, start + 0.5 * bit);
    double late =
        std::clamp(straddle * (y > 0 ? 1 : -1) / (2 * amplitude_), -0.25 * bit, 0.25 * bit);
    next -= kPhaseGain * late;
    period_ = std::clamp(period_ - kPeriodGain * late, nominal_ * (1 - kPeriodRange),
                         nominal_ * (1 + kPeriodRange));
  }
  double level = std::abs(y) / bit;
  amplitude_ += kSlowAmplitude * (level - amplitude_);
  fast_ += kFastAmplitude * (level - fast_);

  outputLevel_ = y > 0 ? 3 : 0;
  std::uint8_t status = kLevelStatus[outputLevel_];
  if (timeline.status() != status)
    timeline.Change(start * ticksPerSample, status, sink);
  previous_ = y;
  tau_ = next;
  due_ = static_cast<std::int64_t>(std::ceil(tau_ + period_)) + 1;
  // A POCSAG 1 is sent on the lower level.
  if (fast_ < kCarrierLost * amplitude_ || !TrackFraming(outputLevel_ == 0 ? 1 : 0))
    active_ = false;
}

// Follows the burst's batches; false when the burst has ended. Either polarity is taken, as the
// decoder may be set to invert the data.
bool PocsagRegenerator::TrackFraming(int bit) {
  register_ = (register_ << 1) | static_cast<std::uint32_t>(bit);
  int distance =
      std::min(CountBits32(register_ ^ kSyncCodeword), CountBits32(~register_ ^ kSyncCodeword));
  if (!inBatch_) {
    if (distance <= kSyncAfterPreamble) {
      inBatch_ = true;
      bitsToSync_ = kBatchBits;
      missedSyncs_ = 0;
      return true;
    }
    bool alternating =
        CountBits32((register_ ^ (register_ >> 1)) & 0x7FFFFFFFu) >= kAlternatingPairs;
    withoutPreamble_ = alternating ? 0 : withoutPreamble_ + 1;
    return withoutPreamble_ <= kPreambleLostBits;
  }
  if (--bitsToSync_ == 0) {
    bitsToSync_ = kBatchBits;
    if (distance <= kSyncWhereDue)
      missedSyncs_ = 0;
    else if (++missedSyncs_ >= kMissedSyncsToLeave)
      return false;
  } else if (distance <= kSyncAnywhere) {
    bitsToSync_ = kBatchBits;
    missedSyncs_ = 0;
  }
  return true;
}

}  // namespace pagora
