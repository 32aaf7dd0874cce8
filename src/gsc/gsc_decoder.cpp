#include "gsc/gsc_decoder.h"

#include <algorithm>
#include <bit>

#include "decoder/bch.h"
#include "gsc/golay.h"
#include "gsc/gsc_render.h"
#include "gsc/gsc_tables.h"

namespace pagora {

namespace {

constexpr int kGscModeTitle = 0x40;
// Blocks expected after an inverted preamble, and after a repeated start code.
constexpr int kGscBatchBlocks = 16;
// Start code and address words are accepted with at most this many sample pairs whose two
// samples disagree (a guard against taking noise for a doubled-bit word).
constexpr int kGscMaxMismatch = 3;
// Data bit 48 (bit 6 of data word 6): another data block of the page follows.
constexpr int kContinuationWord = 6;
constexpr int kContinuationBit = 6;

void ShiftIn(GscDecoder& d, int bit) {
  for (int k = 0; k < 7; ++k) {
    d.sampleRegister[k] =
        static_cast<std::uint16_t>((d.sampleRegister[k] << 1) | (d.sampleRegister[k + 1] >> 15));
  }
  d.sampleRegister[7] = static_cast<std::uint16_t>((d.sampleRegister[7] << 1) | (bit > 0 ? 1 : 0));
}

// Extracts and corrects both words of the window.
void ReadWordPair(GscDecoder& d) {
  ExtractWordPair(d);
  d.word1 = GolayDecode(d.word1);
  d.word2 = GolayDecode(d.word2);
}

bool IsStartCode(const GscDecoder& d) {
  int distance =
      CountBits32(d.word1 ^ kGscStartCode) + CountBits32((d.word2 ^ ~kGscStartCode) & kGolayMask);
  return distance <= 1 && d.mismatchCount <= kGscMaxMismatch;
}

// The preamble and start-code searches run on every sample while hunting, whatever the
// traffic, so they work on the register as one 64-bit word and only compare against limits:
// nothing here counts bits in full.

constexpr int kPreambleSamples = 46;  // 14 + 16 + 16
constexpr std::uint64_t kWindowMask = (std::uint64_t{1} << kPreambleSamples) - 1;

// The 64 newest samples, bit a holding the sample of age a.
std::uint64_t NewestSamples(const GscDecoder& d) {
  return (std::uint64_t{d.sampleRegister[4]} << 48) | (std::uint64_t{d.sampleRegister[5]} << 32) |
         (std::uint64_t{d.sampleRegister[6]} << 16) | d.sampleRegister[7];
}

// The samples of age 64..127, bit 0 holding age 64.
std::uint64_t OlderSamples(const GscDecoder& d) {
  return (std::uint64_t{d.sampleRegister[0]} << 48) | (std::uint64_t{d.sampleRegister[1]} << 32) |
         (std::uint64_t{d.sampleRegister[2]} << 16) | d.sampleRegister[3];
}

constexpr bool AtMostOneBit(std::uint64_t v) {
  return (v & (v - 1)) == 0;
}

constexpr bool AtMostThreeBits(std::uint64_t v) {
  v &= v - 1;
  v &= v - 1;
  return AtMostOneBit(v);
}

constexpr int BitsIn(std::uint64_t v) {
  int count = 0;
  for (; v != 0; v &= v - 1)
    ++count;
  return count;
}

constexpr std::uint64_t PatternSamples(const GscPreamblePattern& p) {
  return (std::uint64_t{p.field1} << 32) | (std::uint64_t{p.field2} << 16) | p.field3;
}

// A hit needs the whole window within three samples of a pattern, or agreeing with it in at
// most one sample (the complement within one), so every slice of the window must do the same.
// For each slice and each value it can take, the table holds the patterns that the slice still
// allows: bit k for pattern k as it is, bit 10 + k for its complement. Only the patterns that
// every slice allows are compared in full.
constexpr int kSliceSamples = 8;
constexpr int kSlices = (kPreambleSamples + kSliceSamples - 1) / kSliceSamples;
constexpr int kInvertedShift = 10;
using PreambleSliceTable = std::array<std::array<std::uint32_t, 256>, kSlices>;

constexpr PreambleSliceTable MakePreambleSliceTable() {
  static_assert(kGscPreambleTable.size() == kInvertedShift);
  PreambleSliceTable table{};
  for (int slice = 0; slice < kSlices; ++slice) {
    int shift = slice * kSliceSamples;
    int width = std::min(kSliceSamples, kPreambleSamples - shift);
    std::uint64_t sliceMask = (std::uint64_t{1} << width) - 1;
    for (std::uint64_t value = 0; value <= sliceMask; ++value) {
      std::uint32_t allowed = 0;
      for (std::size_t k = 0; k < kGscPreambleTable.size(); ++k) {
        int differing =
            BitsIn((value ^ (PatternSamples(kGscPreambleTable[k]) >> shift)) & sliceMask);
        if (differing <= 3)
          allowed |= 1u << k;
        if (differing >= width - 1)
          allowed |= 1u << (kInvertedShift + k);
      }
      table[static_cast<std::size_t>(slice)][value] = allowed;
    }
  }
  return table;
}

constexpr PreambleSliceTable kPreambleSlices = MakePreambleSliceTable();

// Pattern index 0..9 of a preamble hit on the 46 newest samples, or -1: the first pattern in
// table order within three samples of them, or whose complement is within one (a pattern is
// tried as it is before its complement). Sets the inverted flag and the number of blocks the
// transmission starts with.
int FindPreamble(GscDecoder& d) {
  static_assert(std::all_of(kGscPreambleTable.begin(), kGscPreambleTable.end(),
                            [](const GscPreamblePattern& p) { return p.field1 <= 0x3FFF; }));
  std::uint64_t window = NewestSamples(d) & kWindowMask;
  std::uint32_t allowed = (1u << (2 * kInvertedShift)) - 1;
  for (int slice = 0; slice < kSlices; ++slice) {
    std::size_t value = static_cast<std::size_t>(window >> (slice * kSliceSamples)) & 0xFF;
    allowed &= kPreambleSlices[static_cast<std::size_t>(slice)][value];
  }
  std::uint32_t normal = allowed & ((1u << kInvertedShift) - 1);
  std::uint32_t inverted = allowed >> kInvertedShift;
  for (std::uint32_t either = normal | inverted; either != 0; either &= either - 1) {
    int k = std::countr_zero(either);
    std::uint64_t differing =
        window ^ PatternSamples(kGscPreambleTable[static_cast<std::size_t>(k)]);
    if (((normal >> k) & 1u) != 0 && AtMostThreeBits(differing)) {
      d.blocksLeft = 1;
      d.preambleInverted = 0;
      return k;
    }
    if (((inverted >> k) & 1u) != 0 && AtMostOneBit(~differing & kWindowMask)) {
      d.blocksLeft = kGscBatchBlocks;
      d.preambleInverted = 1;
      return k;
    }
  }
  return -1;
}

// A start-code block seen through the register: the first word's 46 samples (ages 92..47), one
// comma sample, the second word's 46 (ages 45..0). In a 46-sample window (bit 0 the youngest)
// bit b of a word is sent at positions 45 - 2b (older sample) and 44 - 2b (younger sample); the
// word is read from the younger samples.
constexpr std::uint64_t DoubledWord(std::uint32_t word) {
  std::uint64_t samples = 0;
  for (int bit = 0; bit < 23; ++bit) {
    if ((word >> bit) & 1u)
      samples |= std::uint64_t{3} << (44 - 2 * bit);
  }
  return samples;
}

constexpr std::uint64_t kYoungerSamples = DoubledWord(kGolayMask) & 0x5555555555555555u;
constexpr std::uint64_t kStartCodeSamples1 = DoubledWord(kGscStartCode);
constexpr std::uint64_t kStartCodeSamples2 = DoubledWord(~kGscStartCode & kGolayMask);

// The two words of a start-code or address block as their 46 samples each.
std::uint64_t FirstWordSamples(const GscDecoder& d) {
  return ((NewestSamples(d) >> 47) | (OlderSamples(d) << 17)) & kWindowMask;
}
std::uint64_t SecondWordSamples(const GscDecoder& d) {
  return NewestSamples(d) & kWindowMask;
}

// The pairs of a word whose two samples disagree, one bit per pair at its younger sample.
std::uint64_t MismatchedPairs(std::uint64_t samples) {
  return (samples ^ (samples >> 1)) & kYoungerSamples;
}

// Whether the register can hold a start code at all: both words within three bits of the two
// start-code words and at most kGscMaxMismatch pairs whose samples disagree. Golay(23,12) is
// perfect, so a word corrects to a codeword exactly when it lies within three bits of it; this
// is the condition IsStartCode checks on the corrected words, without correcting every sample.
bool StartCodeInWindow(const GscDecoder& d) {
  static_assert(kGscMaxMismatch == 3);
  std::uint64_t second = SecondWordSamples(d);
  if (!AtMostThreeBits((second ^ kStartCodeSamples2) & kYoungerSamples))
    return false;
  std::uint64_t first = FirstWordSamples(d);
  if (!AtMostThreeBits((first ^ kStartCodeSamples1) & kYoungerSamples))
    return false;
  return AtMostThreeBits((MismatchedPairs(first) << 1) | MismatchedPairs(second));
}

// Address index 0..99 of the first address word, or -1. Both the table words and their
// complements must arrive as doubled-bit words: a data block corrects to some codeword too, and
// about one in eighty would otherwise be taken for a complemented address word, splitting its
// page into an address-only page and a page under a made-up capcode.
int FindAddress(const GscDecoder& d) {
  if (d.mismatchCount > kGscMaxMismatch)
    return -1;
  for (int k = 0; k < static_cast<int>(kGscAddressTable.size()); ++k) {
    std::uint32_t entry = kGscAddressTable[static_cast<std::size_t>(k)];
    if (CountBits32(entry ^ d.word1) <= 1)
      return 2 * k;
    if (CountBits32((~entry ^ d.word1) & kGolayMask) <= 1)
      return 2 * k + 1;
  }
  return -1;
}

void Acquire(const GscRun& run) {
  GscDecoder& d = run.gsc;
  d.active = 1;
  run.ctx.clocks.gscActive = 1;
  run.ctx.pages.SetModeTitle(kGscModeTitle);
  d.countdown = kGscBlockSamples;
  d.continuation = 0;
  // Move the sampling instant toward the centre of the bits the start code was read with.
  GscClock& clock = run.ctx.clocks.gscClock;
  double sum = 0;
  for (double error : clock.errorHistory)
    sum += error;
  clock.phaseOffset += 0.5 * (sum / static_cast<double>(clock.errorHistory.size()));
}

void DropOut(const GscRun& run) {
  GscDecoder& d = run.gsc;
  d.active = 0;
  run.ctx.clocks.gscActive = 0;
  run.ctx.pages.SetModeTitle(0);
  d.preambleHits = 0;
  d.countdown = 0;
  run.ctx.clocks.gscClock.phaseOffset = 0;
  run.ctx.clocks.gscClock.phaseAccumulator = 0;
}

void RenderOpenPage(const GscRun& run) {
  if (run.gsc.pageOpen == 0)
    return;
  run.gsc.pageOpen = 0;
  GscRenderPage(run);
}

void ClearTexts(GscDecoder& d) {
  d.numericLength = 0;
  d.numericText[0] = '\0';
  d.alphaLength = 0;
  d.alphaText[0] = '\0';
}

// Appends up to `count` characters of `from`, stopping at a NUL, never beyond the text's size.
template <std::size_t N>
void AppendBounded(std::array<char, N>& text, int& length, const char* from, int count) {
  constexpr int kCapacity = static_cast<int>(N) - 1;
  for (int i = 0; i < count && from[i] != '\0' && length < kCapacity; ++i) {
    text[static_cast<std::size_t>(length++)] = from[i];
  }
  text[static_cast<std::size_t>(length)] = '\0';
}

// A block's 56 data bits carry 12 digits or 8 characters before the continuation bit.
constexpr int kDigitsPerBlock = 12;
constexpr int kCharactersPerBlock = 8;

// Both readings of the block join the page's texts while a whole block's worth still fits.
void TakeDataBlock(GscDecoder& d) {
  d.pageBlocks += 1;
  if (d.numericLength <= kGscNumericTextSize - kDigitsPerBlock) {
    std::array<char, 14> digits = GscNumericBlock(d.dataWords);
    AppendBounded(d.numericText, d.numericLength, digits.data(), kDigitsPerBlock);
  }
  if (d.alphaLength <= kGscAlphaTextSize - kCharactersPerBlock) {
    std::array<char, 9> characters = GscAlphaBlock(d.dataWords);
    AppendBounded(d.alphaText, d.alphaLength, characters.data(), kCharactersPerBlock);
  }
}

// A block's worth of samples all at one level: a squelched receiver or an ended input holding
// its last level. Every real block has a comma sample or a word that changes.
bool ConstantBlock(const GscDecoder& d) {
  int first = GscSampleAt(d, 0);
  for (int age = 1; age < kGscBlockSamples; ++age) {
    if (GscSampleAt(d, age) != first)
      return false;
  }
  return true;
}

void ProcessBlock(const GscRun& run) {
  GscDecoder& d = run.gsc;
  if (ConstantBlock(d)) {
    GscSignalLost(run);
    return;
  }
  int addressIndex = -1;
  ReadWordPair(d);

  if (d.continuation == 0) {
    if (IsStartCode(d)) {
      d.continuation = 0;
      d.countdown = kGscBlockSamples;
      d.blocksLeft = kGscBatchBlocks;
      return;
    }
    addressIndex = FindAddress(d);
  }

  if (addressIndex >= 0) {
    // The page before is shown under its own address, so it is finished before the new
    // address replaces capcode and function.
    RenderOpenPage(run);
    GscAddress address = GscComputeAddress(addressIndex, d.word2, d.preambleIndex);
    d.capcode = address.capcode;
    d.function = address.function;
    ClearTexts(d);
    d.pageOpen = 1;
    d.pageBlocks = 0;
    d.continuation = 0;
    if (d.preambleInverted == 0)
      d.blocksLeft += 1;
  } else {
    DeinterleaveBlock(d);
    if (d.pageBlocks >= kGscMaxPageBlocks) {
      // A page ends after eleven data blocks; this block's data are dropped.
      RenderOpenPage(run);
    } else {
      TakeDataBlock(d);
      bool continued = ((d.dataWords[kContinuationWord] >> kContinuationBit) & 1u) != 0;
      if (continued) {
        d.continuation = 1;
        d.blocksLeft += 1;
      } else if (d.pageOpen != 0) {
        RenderOpenPage(run);
        d.continuation = 0;
        ClearTexts(d);
      }
    }
  }

  d.blocksLeft -= 1;
  if (d.blocksLeft <= 0) {
    RenderOpenPage(run);
    DropOut(run);
  } else {
    d.countdown = kGscBlockSamples;
  }
}

}  // namespace

int GscSampleAt(const GscDecoder& d, int age) {
  return (d.sampleRegister[static_cast<std::size_t>(7 - age / 16)] >> (age % 16)) & 1;
}

void ExtractWordPair(GscDecoder& d) {
  std::uint64_t first = FirstWordSamples(d);
  std::uint64_t second = SecondWordSamples(d);
  std::uint32_t word1 = 0;
  std::uint32_t word2 = 0;
  for (int bit = 0; bit < 23; ++bit) {
    // Oldest pair first; a pair's value is its younger sample.
    int younger = 44 - 2 * bit;
    word1 |= static_cast<std::uint32_t>((first >> younger) & 1u) << bit;
    word2 |= static_cast<std::uint32_t>((second >> younger) & 1u) << bit;
  }
  std::uint64_t mismatched = (MismatchedPairs(first) << 1) | MismatchedPairs(second);
  d.word1 = word1;
  d.word2 = word2;
  d.mismatchCount = CountBits32(static_cast<std::uint32_t>(mismatched)) +
                    CountBits32(static_cast<std::uint32_t>(mismatched >> 32));
}

void DeinterleaveBlock(GscDecoder& d) {
  // Sample s of the block (0 = oldest, age 119) is bit s / 8 of word s % 8.
  const std::uint64_t samples[2] = {NewestSamples(d), OlderSamples(d)};
  for (int w = 0; w < 8; ++w) {
    std::uint16_t word = 0;
    for (int bit = 0; bit < 15; ++bit) {
      int age = 119 - 8 * bit - w;
      std::uint64_t sample = (samples[age / 64] >> (age % 64)) & 1u;
      word = static_cast<std::uint16_t>(word | (sample << bit));
    }
    d.dataWords[static_cast<std::size_t>(w)] = word;
  }
}

GscAddress GscComputeAddress(int addressIndex, std::uint32_t word2, int preambleIndex) {
  int index = addressIndex;
  std::int32_t t = static_cast<std::int32_t>(word2 & 0xFFF) * 2;
  int inv = 0;
  if (t & 0x1000) {
    t ^= 0x1FFE;
    inv = 1;
  }
  std::int32_t h = t / 100;
  std::int32_t l = t % 100;
  int odd = 0;
  // The first word's table half and complement, with the parity of H, pick the thousands.
  if (h % 2 != 0) {
    index += 100;
    h -= 1;
  }
  if (index % 2 != 0) {
    index -= 1;
    odd = 1;
  }
  std::int32_t a = index / 2;
  std::int32_t b = h / 4;
  if (h % 4 != 0)
    l += 100;
  if (l % 2 != 0)
    l -= 1;
  std::int32_t c = l / 2;
  std::int32_t e = ((preambleIndex - a % 10) % 10 + 10) % 10;
  return GscAddress{c + 100 * b + 1000 * a + 100000 * e, 1 + inv + 2 * odd};
}

void GscSignalLost(const GscRun& run) {
  GscDecoder& d = run.gsc;
  if (d.active == 0)
    return;
  if (d.pageOpen != 0) {
    d.pageOpen = 0;
    GscRenderPage(run, true);
  }
  DropOut(run);
}

void GscReceiveBit(const GscRun& run, int bit) {
  GscDecoder& d = run.gsc;
  ShiftIn(d, bit);

  if (d.active == 0) {
    // The words are only looked at once enough preamble has been seen, and only corrected when
    // the samples can hold a start code at all.
    if (d.preambleHits >= kGscPreambleHitsNeeded && StartCodeInWindow(d)) {
      ReadWordPair(d);
      if (IsStartCode(d)) {
        Acquire(run);
        return;
      }
    }
    int pattern = FindPreamble(d);
    if (pattern >= 0) {
      d.preambleHits += 1;
      d.preambleIndex = pattern;
      if (d.countdown == 0)
        d.countdown = kGscHuntSamples;
      return;
    }
    if (d.countdown > 0) {
      d.countdown -= 1;
      if (d.countdown == 0)
        DropOut(run);
    }
    return;
  }

  if (d.countdown <= 0) {
    RenderOpenPage(run);
    DropOut(run);
    return;
  }
  d.countdown -= 1;
  if (d.countdown != 0)
    return;
  ProcessBlock(run);
}

}  // namespace pagora
