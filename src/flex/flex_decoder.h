// FLEX / ReFLEX decoder state and its one entry point, with the block, frame and page steps the
// entry point drives (exposed for the tests and the frame dump).
#pragma once

#include <array>
#include <cstdint>

#include "decoder/decoder_context.h"

namespace pagora {

constexpr int kFlexBlockBits = 256;  // bits per phase per block: 8 codewords of 32
constexpr int kFlexFrameWords = 88;  // 11 blocks of 8 words per phase
constexpr int kFlexBlocksPerFrame = 11;
constexpr int kFlexHeaderSymbols = 89;  // frame countdown set at a sync match
constexpr int kFlexTitleHold = 20;      // timer ticks the caption keeps the mode after a sync
constexpr std::int32_t kFlexErrorFlag = 0x400000;  // set on a word whose codeword was not corrected
constexpr std::int32_t kFlexWordMask = 0x1FFFFF;   // the 21 information bits of a frame word

// One FLEX phase (A, B, C or D): the bits of the block being received, the 88 corrected words
// of the frame, and the letter shown with the page being written.
struct FlexPhase {
  std::array<char, kFlexBlockBits> bits{};  // '0'/'1' in arrival order
  // Block b, codeword j is word 8*b + j. Bits 0..20 information, 0x400000 the error flag.
  std::array<std::int32_t, kFlexFrameWords> words{};
  // The correction score of each word's codeword: 0 clean, 1..2 corrected, 3 uncorrectable.
  std::array<std::uint8_t, kFlexFrameWords> scores{};
  char phaseLetter = '?';
};

// Temporary (group) addresses: a short instruction tells a pager to take the page that one of
// them gets in a coming frame.
constexpr std::int32_t kFlexFirstTemporaryAddress = 2029568;
constexpr int kFlexTemporaryAddresses = 16;

// The pagers assigned to one temporary address, and the frame the call is due in (-1: none).
struct FlexGroup {
  int frame = -1;
  int count = 0;
  std::array<std::int32_t, 32> members{};
};

struct FlexDecoder {
  // The last 64 high bits received: r0 the oldest 16 (mode code), r1 r2 the marker, r3 the
  // newest 16 (complement of the mode code).
  std::uint16_t r0 = 0;
  std::uint16_t r1 = 0;
  std::uint16_t r2 = 0;
  std::uint16_t r3 = 0;
  int frameCountdown = 0;  // header symbols left before the blocks; 0 = not counting
  int blockCounter = 0;    // blocks still to come, 11..1; 0 = no frame in progress
  int bitIndex = 0;        // 0..255 within the block, per phase
  int halfSymbol = 0;      // 3200 symbols/s: 0 = next symbol feeds A/B, 1 = C/D
  int symbolRate = 1600;   // 1600 or 3200 symbols per second
  int levels = 2;          // 2 or 4
  int statisticsRow = 2;   // 0 = FLEX 6400, 1 = FLEX 3200, 2 = FLEX 1600
  bool reflex = false;     // ReFLEX frame: dumped raw, not decoded into pages
  // The frame information word as it arrives in the header (high bits, '0'/'1'), and the
  // cycle (0..15) and frame (0..127) read from it, -1 when it could not be corrected. Paging
  // does not need them; they are reported with each page.
  std::array<char, 32> infoBits{};
  int cycle = -1;
  int frame = -1;
  std::array<FlexGroup, kFlexTemporaryAddresses> groups;
  std::array<FlexPhase, 4> phases;  // A, B, C, D
};

// The FLEX decoder at work: its own record and the narrow context it reaches the monitor through.
struct FlexRun {
  FlexDecoder& flex;
  DecoderContext& ctx;
};

// Called once at engine creation: clears the record and sets the phase letters to '?'.
void InitFlexDecoder(FlexDecoder& flex);
// One 4-level symbol 0..3 from the drain (0 = bits 11, 1 = 10, 2 = 00, 3 = 01).
void FlexReceiveSymbol(const FlexRun& run, std::int8_t symbol);
// The signal has ended inside a frame (the input is over, or the program is stopping). A frame
// is decoded once its last block is in, and the vectors and messages of this one lie partly in
// blocks that never came, so none of its pages is shown; a diagnostic row says how far it got.
void FlexSignalLost(const FlexRun& run);

// De-interleaves and corrects block b (0..10) of a phase into its 8 frame words; after block 10
// of a FLEX (not ReFLEX) frame it decodes the phase's frame.
void DecodeBlock(const FlexRun& run, FlexPhase& phase, int block);
// Walks the phase's block information word, addresses and vectors and writes every page.
void DecodeFrame(const FlexRun& run, FlexPhase& phase);
// True when a block information or vector word carries the error flag or fails its 4-bit sum.
bool ChecksumBad(std::int32_t word);

// Page headers: capcode lookup in the filters, BeginPage, the bracketed capcode and the time.
// pageType is the lower-case format name reported with the page ("alpha", "numeric", ...).
void ShortCapcodeHeader(const FlexRun& run, FlexPhase& phase, std::int32_t addressWord,
                        const char* pageType);
void LongCapcodeHeader(const FlexRun& run, FlexPhase& phase, std::int32_t firstWord,
                       std::int32_t secondWord, const char* pageType);

// ReFLEX frame dump pieces.
void PrintFrameTag(const FlexRun& run, FlexPhase& phase, int wordIndex);
void PrintRawWord(const FlexRun& run, FlexPhase& phase, int wordIndex);
void AppendHex6(const FlexRun& run, std::int32_t value);

}  // namespace pagora
