// FLEX / ReFLEX reception.
//
// A FLEX frame lasts 1.875 s. It opens, always at 1600 symbols/s and 2 levels, with a bit sync
// of alternating bits and sync 1: a 16-bit mode code, the marker 0xA6C6 0xAAAA and the
// complement of the mode code. The mode code says the speed of the rest of the frame: 1600 or
// 3200 symbols/s, 2 or 4 levels. The frame information word (cycle and frame numbers) and
// sync 2 follow; the data then comes as 11 blocks of 160 ms.
//
// Each block carries, per phase, 8 BCH(31,21)+parity codewords interleaved bit by bit: bit i of
// codeword j is the (8i + j)-th bit of the phase's 256. How many phases a frame carries depends
// on the mode: a 4-level symbol carries one bit of phase A (high bit) and one of phase B (low
// bit); at 3200 symbols/s symbols alternate between the A/B pair and the C/D pair. So
// 1600/2 carries A; 1600/4 A and B; 3200/2 A and C; 3200/4 all four.
//
// Each phase's 88 corrected words form its own frame: a block information word (where the
// address field and the vector field start), the addresses, one vector per address (message
// type and where its words are), then the message words. Pages are written once the 11th
// block is in, phase by phase.
//
// Bits as they come off the air are the complement of the information bits, so a codeword of
// all zero bits is the word 0x1FFFFF.

#include "flex/flex_decoder.h"

#include <cstdio>

#include "flex/bch.h"
#include "flex/flex_pages.h"
#include "flex/mode_title.h"
#include "input/monitor.h"

namespace pagora {
namespace {

constexpr std::uint32_t kMarker = 0xA6C6AAAA;
constexpr int kMaxSyncErrors = 4;  // of 32 marker bits, and of 32 mode code bits

struct FlexMode {
  std::uint16_t code;
  std::uint16_t complement;
  int symbolRate;
  int levels;
  int statisticsRow;
  bool reflex;
  int captionFlags;
};

// Tried in this order; the first within kMaxSyncErrors wins.
constexpr std::array<FlexMode, 4> kModes{{
    {0xB068, 0x4F97, 1600, 4, 1, false, 12},
    {0xDEA0, 0x215F, 3200, 4, 0, false, 15},
    {0x870C, 0x78F3, 1600, 2, 2, false, 8},
    {0x4C7C, 0xB383, 3200, 4, 0, true, 31},
}};

int HighBit(std::int8_t symbol) {
  return symbol < 2 ? 1 : 0;
}
int LowBit(std::int8_t symbol) {
  return (symbol == 0 || symbol == 3) ? 1 : 0;
}
char BitChar(int bit) {
  return bit ? '1' : '0';
}

void ShowUnknownHeader(Monitor& m) {
  FlexDecoder& f = m.flex;
  PaneBuffer& pane = m.lines.messagePane;
  SetColourClass(pane, kClassDiagnostic);
  EndLine(m, pane);
  PutText(m, pane, "UNKNOWN SYNC HEADER : ");
  for (std::uint16_t r : {f.r0, f.r1, f.r2, f.r3}) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(r));
    PutText(m, pane, hex);
  }
  EndLine(m, pane);
}

void SetMode(FlexDecoder& f, int symbolRate, int levels, int statisticsRow, bool reflex) {
  f.symbolRate = symbolRate;
  f.levels = levels;
  f.statisticsRow = statisticsRow;
  f.reflex = reflex;
}

void MarkActive(Monitor& m) {
  m.recovery.flexActive = 1;
  m.timer.titleHoldCount = kFlexTitleHold;
}

// A marker match: pick the mode from the outer words and pull the symbol clock onto the
// average phase error of the last 64 symbols, which spanned the sync pattern's many edges.
void AcceptSync(Monitor& m) {
  FlexDecoder& f = m.flex;
  f.frameCountdown = kFlexHeaderSymbols;

  bool known = false;
  for (const FlexMode& mode : kModes) {
    int errors = CountBits16(f.r0 ^ mode.code) + CountBits16(f.r3 ^ mode.complement);
    if (errors <= kMaxSyncErrors) {
      SetMode(f, mode.symbolRate, mode.levels, mode.statisticsRow, mode.reflex);
      SetModeTitle(m, mode.captionFlags);
      MarkActive(m);
      known = true;
      break;
    }
  }
  if (!known && (f.r0 ^ f.r3) == 0xFFFF) {
    // A mode code outside the table but with its exact complement: a genuine FLEX sync of a
    // mode without a caption of its own, taken as 3200 symbols/s, 2 levels.
    ShowUnknownHeader(m);
    SetMode(f, 3200, 2, 2, false);
    MarkActive(m);
  }

  SymbolClock& clock = m.recovery.symbolClock;
  double sum = 0;
  for (double error : clock.errorHistory)
    sum += error;
  clock.phaseOffset += sum * (1.0 / 64.0) * 0.5;
  clock.gain = kFlexLockedGain;
}

void StartBlocks(Monitor& m) {
  FlexDecoder& f = m.flex;
  f.blockCounter = kFlexBlocksPerFrame;
  f.bitIndex = 0;
  f.halfSymbol = 0;
  SymbolClock& clock = m.recovery.symbolClock;
  clock.period = f.symbolRate == 1600 ? kFlex1600Period : kFlex3200Period;
  clock.gain = kAcquisitionGain;
}

void DumpReflexFrame(Monitor& m) {
  FlexDecoder& f = m.flex;
  PrintFrameTag(m, f.phases[0], 0);
  for (int i = 0; i < kFlexFrameWords; ++i) {
    for (FlexPhase& phase : f.phases)
      PrintRawWord(m, phase, i);
  }
  EndLine(m, m.lines.messagePane);
}

void EndFrame(Monitor& m) {
  FlexDecoder& f = m.flex;
  m.recovery.symbolClock.period = kFlex1600Period;
  m.recovery.flexActive = 0;
  if (f.reflex && f.phases[0].words[0] != kFlexWordMask)
    DumpReflexFrame(m);
}

void ReceiveBlockSymbol(Monitor& m, std::int8_t symbol) {
  FlexDecoder& f = m.flex;
  char high = BitChar(HighBit(symbol));
  char low = BitChar(LowBit(symbol));
  bool fourLevel = f.levels == 4;
  int x = f.bitIndex;

  if (f.symbolRate == 1600) {
    f.phases[0].bits[x] = high;
    if (fourLevel)
      f.phases[1].bits[x] = low;
    ++x;
  } else if (f.halfSymbol == 0) {
    f.phases[0].bits[x] = high;
    if (fourLevel)
      f.phases[1].bits[x] = low;
    f.halfSymbol = 1;
  } else {
    f.phases[2].bits[x] = high;
    if (fourLevel)
      f.phases[3].bits[x] = low;
    f.halfSymbol = 0;
    ++x;
  }

  if (x < kFlexBlockBits) {
    f.bitIndex = x;
    return;
  }
  f.bitIndex = 0;
  int block = kFlexBlocksPerFrame - f.blockCounter;
  bool fast = f.symbolRate != 1600;
  DecodeBlock(m, f.phases[0], block);
  if (fourLevel)
    DecodeBlock(m, f.phases[1], block);
  if (fast)
    DecodeBlock(m, f.phases[2], block);
  if (fast && fourLevel)
    DecodeBlock(m, f.phases[3], block);
  if (--f.blockCounter == 0)
    EndFrame(m);
}

}  // namespace

void InitFlexDecoder(FlexDecoder& flex) {
  flex = FlexDecoder{};
  for (FlexPhase& phase : flex.phases)
    phase.phaseLetter = '?';
}

void FlexSignalLost(Monitor& m) {
  FlexDecoder& f = m.flex;
  f.frameCountdown = 0;
  if (f.blockCounter == 0)
    return;
  char text[64];
  std::snprintf(text, sizeof text, "FLEX frame cut short after %d of %d blocks",
                kFlexBlocksPerFrame - f.blockCounter, kFlexBlocksPerFrame);
  PaneBuffer& pane = m.lines.messagePane;
  SetColourClass(pane, kClassDiagnostic);
  PutText(m, pane, text);
  EndLine(m, pane);
  f.blockCounter = 0;
  f.bitIndex = 0;
  f.halfSymbol = 0;
  m.recovery.symbolClock.period = kFlex1600Period;
  m.recovery.flexActive = 0;
}

void FlexReceiveSymbol(Monitor& m, std::int8_t symbol) {
  FlexDecoder& f = m.flex;
  f.r0 = static_cast<std::uint16_t>((f.r0 << 1) | (f.r1 >> 15));
  f.r1 = static_cast<std::uint16_t>((f.r1 << 1) | (f.r2 >> 15));
  f.r2 = static_cast<std::uint16_t>((f.r2 << 1) | (f.r3 >> 15));
  f.r3 = static_cast<std::uint16_t>((f.r3 << 1) | HighBit(symbol));

  // Once the blocks have begun the whole frame is consumed; no sync is looked for inside it.
  if (f.blockCounter != 0) {
    ReceiveBlockSymbol(m, symbol);
    return;
  }
  std::uint32_t marker = (std::uint32_t{f.r1} << 16) | f.r2;
  if (CountBits32(marker ^ kMarker) <= kMaxSyncErrors)
    AcceptSync(m);

  // Header countdown: the 16 symbols after the sync symbol finish sync 1, the next 32 are the
  // frame information word, then sync 2; the 89th symbol after the sync is the first block
  // symbol.
  if (f.frameCountdown > 0 && --f.frameCountdown == 0)
    StartBlocks(m);
}

void DecodeBlock(Monitor& m, FlexPhase& phase, int block) {
  if (block < 0 || block >= kFlexBlocksPerFrame)
    return;
  std::array<char, 32>& codeword = m.bch.codeword;
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 32; ++i)
      codeword[i] = phase.bits[j + 8 * i];
    int score = CorrectCodeword(m.bch);
    std::int32_t word = 0;
    for (int i = 0; i <= 20; ++i) {
      if (codeword[i] != '1')
        word |= std::int32_t{1} << i;
    }
    if (score == 3)
      word |= kFlexErrorFlag;
    phase.words[8 * block + j] = word;
  }
  if (block == kFlexBlocksPerFrame - 1 && !m.flex.reflex)
    DecodeFrame(m, phase);
}

bool ChecksumBad(std::int32_t word) {
  if (word & kFlexErrorFlag)
    return true;
  int sum = (word >> 20) & 1;
  for (int shift = 0; shift < 20; shift += 4)
    sum += (word >> shift) & 15;
  return (sum & 15) != 15;
}

void DecodeFrame(Monitor& m, FlexPhase& phase) {
  std::int32_t info = phase.words[0];
  int firstAddress = ((info >> 8) & 3) + 1;
  int vectorStart = (info >> 10) & 63;
  if (ChecksumBad(info) || firstAddress >= vectorStart)
    return;

  int k = vectorStart;
  for (int i = firstAddress; i < vectorStart;) {
    std::int32_t a = phase.words[i] & kFlexWordMask;
    bool isLong = a <= 0x8000 || (a >= 0x1E0001 && a <= 0x1F0000) || a >= 0x1F7FFF;
    int step = isLong ? 2 : 1;
    // A checksum-valid block information word can still place vectors past the frame's last
    // word; nothing there belongs to this frame, and every later vector lies further out.
    if (k + step > kFlexFrameWords)
      break;
    if (!ChecksumBad(phase.words[k]))
      WriteFlexPage(m, phase, i, k, isLong);
    i += step;
    k += step;
  }
}

}  // namespace pagora
