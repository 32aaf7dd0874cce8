#include "input/pocsag_regenerator.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "decoder/bch.h"

namespace pagora {
namespace {

// The tone detectors work on sums of blocks of samples at about this rate: fast enough for the
// 1200 Hz fundamental of a 2400 bit/s preamble (which a block of 8 samples at 22050 Hz passes at
// 0.7 of its amplitude, its noise as much), an eighth of the work at 22050 Hz. Whether a tone
// stands out is asked every few blocks only: a preamble lasts hundreds of them.
constexpr double kBlockRate = 2756.25;
constexpr std::int64_t kBlocksPerLook = 4;
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

std::size_t RingSize(double sampleRate) {
  // Room for the alternation check at 512 bit/s and for catching up from the slicer's last
  // change: a quarter of a second.
  std::size_t size = 1;
  while (static_cast<double>(size) < 0.25 * sampleRate)
    size <<= 1;
  return size;
}

}  // namespace

PocsagRegenerator::PocsagRegenerator(double sampleRate)
    : sampleRate_(sampleRate),
      samples_(RingSize(sampleRate), 0.0f),
      mask_(samples_.size() - 1),
      blockSize_(std::max(1, static_cast<int>(std::lround(sampleRate / kBlockRate)))),
      blockLeft_(blockSize_) {
  for (std::size_t r = 0; r < tones_.size(); ++r) {
    Tone& tone = tones_[r];
    tone.samplesPerBit = sampleRate_ / kRates[r];
    double omega = std::numbers::pi / tone.samplesPerBit;  // half the bit rate, rad a sample
    tone.stepRe = std::cos(omega * blockSize_);
    tone.stepIm = -std::sin(omega * blockSize_);
    tone.alpha = std::min(1.0, blockSize_ / (kToneBits * tone.samplesPerBit));
  }
}

// The tone detectors advance one block. The phasor of block m is e^(-j w m D), so a square wave
// whose positive bits are centred at sample c leaves an average of angle w ((D - 1) / 2 - c).
bool PocsagRegenerator::TakeBlock() {
  blockLeft_ = blockSize_;
  double y = block_;
  block_ = 0;
  ++blocks_;
  bool renormalise = (blocks_ & 4095) == 0;
  bool look = !active_ && blocks_ % kBlocksPerLook == 0;
  for (Tone& tone : tones_) {
    tone.zRe += tone.alpha * (y * tone.phRe - tone.zRe);
    tone.zIm += tone.alpha * (y * tone.phIm - tone.zIm);
    tone.power += tone.alpha * (y * y - tone.power);
    double re = tone.phRe * tone.stepRe - tone.phIm * tone.stepIm;
    tone.phIm = tone.phRe * tone.stepIm + tone.phIm * tone.stepRe;
    tone.phRe = re;
    if (renormalise) {
      double scale = 1.0 / std::hypot(tone.phRe, tone.phIm);
      tone.phRe *= scale;
      tone.phIm *= scale;
    }
    if (look && Stands(tone) && count_ >= tone.nextCheck)
      candidate_ = true;
  }
  return candidate_ || (active_ && count_ >= due_);
}

// Does the tone stand out of the noise? Against noise alone the averaged power at its frequency
// is alpha / 2 of the total (for a leaky average of share alpha).
bool PocsagRegenerator::Stands(const Tone& tone) const {
  double magnitude = tone.zRe * tone.zRe + tone.zIm * tone.zIm;
  return magnitude > kToneSignificance * 0.5 * tone.alpha * tone.power;
}

// The signal integrated from sample position `from` to `to` (sample k covers k..k+1; partial
// samples count in proportion). Both lie within the ring and before the newest sample's end.
double PocsagRegenerator::Integrate(double from, double to) const {
  double first = std::floor(from), last = std::floor(to);
  auto i = static_cast<std::int64_t>(first);
  auto end = static_cast<std::int64_t>(last);
  auto at = [&](std::int64_t k) {
    return static_cast<double>(samples_[static_cast<std::size_t>(k) & mask_]);
  };
  if (i == end)
    return (to - from) * at(i);
  double sum = (first + 1 - from) * at(i);
  for (std::int64_t k = i + 1; k < end; ++k)
    sum += at(k);
  if (to > last)
    sum += (to - last) * at(end);
  return sum;
}

// Is the tone at `rate` a preamble? The bit boundaries its phase gives, integrated over the last
// kConfirmBits bits, must alternate. On success the receiver starts at a boundary at least half
// a bit after the slicer's last change, so that no hold on the timeline is cut short.
bool PocsagRegenerator::Confirm(std::size_t rate, double lastBoundary) {
  const Tone& tone = tones_[rate];
  double bit = tone.samplesPerBit;
  double n = static_cast<double>(count_);
  double centre = 0.5 * (blockSize_ - 1) - std::atan2(tone.zIm, tone.zRe) * bit / std::numbers::pi;
  double first = centre + 0.5 * bit;  // a boundary, in samples (any whole bit away is one too)
  double last = first + bit * std::floor((n - 1 - bit - first) / bit);
  double earliest = last - (kConfirmBits - 1) * bit;
  if (earliest - bit < n - static_cast<double>(samples_.size()) + 2 || earliest < 1)
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
      if (!Stands(tone) || count_ < tone.nextCheck)
        continue;
      tone.nextCheck = count_ + static_cast<std::int64_t>(4 * tone.samplesPerBit);
      if (Confirm(r, lastBoundary))
        event = Event::kEntered;
    }
  }
  while (active_ && count_ >= due_) {
    ProcessBit(timeline, ticksPerSample, sink);
    if (!active_) {
      event = Event::kLeft;
      // The tone of the burst's last preamble may still stand out: give it time to fade.
      for (Tone& tone : tones_)
        tone.nextCheck = count_ + static_cast<std::int64_t>(kToneBits * tone.samplesPerBit);
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
