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

#include "decoder/bch.h"
#include "flex/flex_render.h"

namespace pagora {
namespace {

constexpr std::uint32_t kMarker = 0xA6C6AAAA;
constexpr int kInfoFirst = 71;  // countdown values that carry the frame information word
constexpr int kInfoLast = 40;
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

// Tried in this order; the first within kMaxSyncErrors wins. 0x7B18 is the 3200 bit/s two-level
// mode that real networks send: 6400 bit/s would be four levels, so it counts and is captioned
// with the other 3200 bit/s traffic.
constexpr std::array<FlexMode, 5> kModes{{
    {0xB068, 0x4F97, 1600, 4, 1, false, 12},
    {0xDEA0, 0x215F, 3200, 4, 0, false, 15},
    {0x870C, 0x78F3, 1600, 2, 2, false, 8},
    {0x4C7C, 0xB383, 3200, 4, 0, true, 31},
    {0x7B18, 0x84E7, 3200, 2, 1, false, 12},
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

void ShowUnknownHeader(const FlexRun& run) {
  FlexDecoder& f = run.flex;
  run.ctx.pages.SetColourClass(kClassDiagnostic);
  run.ctx.pages.EndLine();
  run.ctx.pages.PutText("UNKNOWN SYNC HEADER : ");
  for (std::uint16_t r : {f.r0, f.r1, f.r2, f.r3}) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(r));
    run.ctx.pages.PutText(hex);
  }
  run.ctx.pages.EndLine();
}

void SetMode(FlexDecoder& f, int symbolRate, int levels, int statisticsRow, bool reflex) {
  f.symbolRate = symbolRate;
  f.levels = levels;
  f.statisticsRow = statisticsRow;
  f.reflex = reflex;
}

void MarkActive(const FlexRun& run) {
  run.ctx.clocks.flexActive = 1;
  run.ctx.clocks.titleHoldCount = kFlexTitleHold;
}

// A marker match: pick the mode from the outer words and pull the symbol clock onto the
// average phase error of the last 64 symbols, which spanned the sync pattern's many edges.
void AcceptSync(const FlexRun& run) {
  FlexDecoder& f = run.flex;
  f.frameCountdown = kFlexHeaderSymbols;

  bool known = false;
  for (const FlexMode& mode : kModes) {
    int errors = CountBits16(f.r0 ^ mode.code) + CountBits16(f.r3 ^ mode.complement);
    if (errors <= kMaxSyncErrors) {
      SetMode(f, mode.symbolRate, mode.levels, mode.statisticsRow, mode.reflex);
      run.ctx.pages.SetModeTitle(mode.captionFlags);
      MarkActive(run);
      known = true;
      break;
    }
  }
  if (!known && (f.r0 ^ f.r3) == 0xFFFF) {
    // A mode code outside the table but with its exact complement: a genuine FLEX sync of a
    // mode without a caption of its own, taken as 3200 symbols/s, 2 levels.
    ShowUnknownHeader(run);
    SetMode(f, 3200, 2, 2, false);
    MarkActive(run);
  }

  SymbolClock& clock = run.ctx.clocks.symbolClock;
  double sum = 0;
  for (double error : clock.errorHistory)
    sum += error;
  clock.phaseOffset += sum * (1.0 / 64.0) * 0.5;
  clock.gain = kFlexLockedGain;
}

// The frame information word comes in countdown values 71 down to 40: 4 check bits, the cycle
// number in bits 4-7 and the frame number in bits 8-14, each word bit the complement of the
// high bit received, like the words of the blocks.
void ReceiveInfoSymbol(const FlexRun& run, std::int8_t symbol) {
  FlexDecoder& f = run.flex;
  const int v = f.frameCountdown;
  if (v > kInfoFirst || v < kInfoLast)
    return;
  f.infoBits[static_cast<std::size_t>(kInfoFirst - v)] = BitChar(HighBit(symbol));
  if (v != kInfoLast)
    return;
  run.ctx.bch.codeword = f.infoBits;
  f.cycle = -1;
  f.frame = -1;
  if (CorrectCodeword(run.ctx.bch) >= 3)
    return;
  std::int32_t word = 0;
  for (int i = 0; i <= 20; ++i) {
    if (run.ctx.bch.codeword[static_cast<std::size_t>(i)] != '1')
      word |= std::int32_t{1} << i;
  }
  f.cycle = (word >> 4) & 15;
  f.frame = (word >> 8) & 127;
}

void StartBlocks(const FlexRun& run) {
  FlexDecoder& f = run.flex;
  f.blockCounter = kFlexBlocksPerFrame;
  f.bitIndex = 0;
  f.halfSymbol = 0;
  SymbolClock& clock = run.ctx.clocks.symbolClock;
  clock.period = f.symbolRate == 1600 ? kFlex1600Period : kFlex3200Period;
  clock.gain = kAcquisitionGain;
}

void DumpReflexFrame(const FlexRun& run) {
  FlexDecoder& f = run.flex;
  PrintFrameTag(run, f.phases[0], 0);
  for (int i = 0; i < kFlexFrameWords; ++i) {
    for (FlexPhase& phase : f.phases)
      PrintRawWord(run, phase, i);
  }
  run.ctx.pages.EndLine();
}

void EndFrame(const FlexRun& run) {
  FlexDecoder& f = run.flex;
  // A group call due in this frame has come or will not come: its assignment is spent.
  for (FlexGroup& group : f.groups) {
    if (f.frame >= 0 && group.frame == f.frame)
      group = FlexGroup{};
  }
  run.ctx.clocks.symbolClock.period = kFlex1600Period;
  run.ctx.clocks.flexActive = 0;
  if (f.reflex && f.phases[0].words[0] != kFlexWordMask)
    DumpReflexFrame(run);
}

void ReceiveBlockSymbol(const FlexRun& run, std::int8_t symbol) {
  FlexDecoder& f = run.flex;
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
  DecodeBlock(run, f.phases[0], block);
  if (fourLevel)
    DecodeBlock(run, f.phases[1], block);
  if (fast)
    DecodeBlock(run, f.phases[2], block);
  if (fast && fourLevel)
    DecodeBlock(run, f.phases[3], block);
  if (--f.blockCounter == 0)
    EndFrame(run);
}

}  // namespace

void InitFlexDecoder(FlexDecoder& flex) {
  flex = FlexDecoder{};
  for (FlexPhase& phase : flex.phases)
    phase.phaseLetter = '?';
}

void FlexSignalLost(const FlexRun& run) {
  FlexDecoder& f = run.flex;
  f.frameCountdown = 0;
  if (f.blockCounter == 0)
    return;
  char text[64];
  std::snprintf(text, sizeof text, "FLEX frame cut short after %d of %d blocks",
                kFlexBlocksPerFrame - f.blockCounter, kFlexBlocksPerFrame);
  run.ctx.pages.SetColourClass(kClassDiagnostic);
  run.ctx.pages.PutText(text);
  run.ctx.pages.EndLine();
  f.blockCounter = 0;
  f.bitIndex = 0;
  f.halfSymbol = 0;
  run.ctx.clocks.symbolClock.period = kFlex1600Period;
  run.ctx.clocks.flexActive = 0;
}

void FlexReceiveSymbol(const FlexRun& run, std::int8_t symbol) {
  FlexDecoder& f = run.flex;
  f.r0 = static_cast<std::uint16_t>((f.r0 << 1) | (f.r1 >> 15));
  f.r1 = static_cast<std::uint16_t>((f.r1 << 1) | (f.r2 >> 15));
  f.r2 = static_cast<std::uint16_t>((f.r2 << 1) | (f.r3 >> 15));
  f.r3 = static_cast<std::uint16_t>((f.r3 << 1) | HighBit(symbol));

  // Once the blocks have begun the whole frame is consumed; no sync is looked for inside it.
  if (f.blockCounter != 0) {
    ReceiveBlockSymbol(run, symbol);
    return;
  }
  std::uint32_t marker = (std::uint32_t{f.r1} << 16) | f.r2;
  if (CountBits32(marker ^ kMarker) <= kMaxSyncErrors)
    AcceptSync(run);

  // Header countdown: the 16 symbols after the sync symbol finish sync 1, the next 32 are the
  // frame information word, then sync 2; the 89th symbol after the sync is the first block
  // symbol.
  if (f.frameCountdown > 0) {
    --f.frameCountdown;
    ReceiveInfoSymbol(run, symbol);
    if (f.frameCountdown == 0)
      StartBlocks(run);
  }
}

void DecodeBlock(const FlexRun& run, FlexPhase& phase, int block) {
  if (block < 0 || block >= kFlexBlocksPerFrame)
    return;
  std::array<char, 32>& codeword = run.ctx.bch.codeword;
  for (int j = 0; j < 8; ++j) {
    for (int i = 0; i < 32; ++i)
      codeword[i] = phase.bits[j + 8 * i];
    int score = CorrectCodeword(run.ctx.bch);
    std::int32_t word = 0;
    for (int i = 0; i <= 20; ++i) {
      if (codeword[i] != '1')
        word |= std::int32_t{1} << i;
    }
    if (score == 3)
      word |= kFlexErrorFlag;
    phase.words[8 * block + j] = word;
    phase.scores[8 * block + j] = static_cast<std::uint8_t>(score);
  }
  if (block == kFlexBlocksPerFrame - 1 && !run.flex.reflex)
    DecodeFrame(run, phase);
}

bool ChecksumBad(std::int32_t word) {
  if (word & kFlexErrorFlag)
    return true;
  int sum = (word >> 20) & 1;
  for (int shift = 0; shift < 20; shift += 4)
    sum += (word >> shift) & 15;
  return (sum & 15) != 15;
}

void DecodeFrame(const FlexRun& run, FlexPhase& phase) {
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
      WriteFlexPage(run, phase, i, k, isLong);
    i += step;
    k += step;
  }
}

}  // namespace pagora
