// GSC (Golay Sequential Code) decoder state and its one entry point.
//
// The decoder runs on 600 samples per second from the GSC clock. A transmission is
//   preamble    18 repetitions of one of ten 23-bit words (or of its complement), sent at
//               300 bit/s, so every bit fills two samples (a doubled-bit word of 46 samples);
//   start code  a block: comma, the start-code word, one comma sample, its complement;
//   blocks      121 samples each, one after another:
//               address: 28 comma samples, first address word (doubled), one comma sample,
//                        second address word (doubled);
//               data:    one comma sample, then eight 15-bit words interleaved at 600 bit/s
//                        (7 data bits each, 56 per block: 12 digits or 8 characters);
//               a repeated start code.
// Every doubled-bit word is a Golay(23,12) codeword and is corrected. The first address word
// is one of fifty table words or the complement of one; together with the second word and the
// preamble pattern it gives the capcode and function. Data bit 48 of a block says whether
// another data block of the same page follows. Data blocks are not corrected.
#pragma once

#include <array>
#include <cstdint>

#include "decoder/decoder_context.h"

namespace pagora {

constexpr int kGscBlockSamples = 121;      // samples from one block to the next
constexpr int kGscHuntSamples = 949;       // hunt abandoned this long after a preamble hit
constexpr int kGscPreambleHitsNeeded = 3;  // preamble hits before a start code is taken
constexpr int kGscNumericTextSize = 24;    // digits kept per page
constexpr int kGscAlphaTextSize = 80;      // characters kept per page
constexpr int kGscMaxPageBlocks = 11;      // data blocks taken per page

using GscDataWords = std::array<std::uint16_t, 8>;

struct GscDecoder {
  // The last 128 samples: word 7 holds the newest; the sample of age a (0 = newest) sits in
  // word 7 - a / 16 at bit a % 16.
  std::array<std::uint16_t, 8> sampleRegister{};
  int active = 0;  // 0 hunting for preamble and start code, 1 processing blocks
  // Hunting: samples left before the hunt is abandoned (0 = not running).
  // Active: samples left until the next block is processed.
  std::int32_t countdown = 0;
  std::int32_t preambleHits = 0;
  std::int32_t preambleIndex = 0;  // 0..9, pattern of the last preamble hit
  int preambleInverted = 0;        // the last preamble hit was the complement
  std::int32_t blocksLeft = 0;     // blocks still expected in this transmission
  int continuation = 0;            // the next block is data whatever it looks like
  int pageOpen = 0;                // an address has been seen and its page not yet shown
  std::int32_t pageBlocks = 0;     // data blocks taken since the address
  std::uint32_t word1 = 0;         // the two words of the last extraction, corrected
  std::uint32_t word2 = 0;
  std::int32_t mismatchCount = 0;  // sample pairs of the two words whose samples differ
  std::int32_t capcode = 0;
  std::int32_t function = 1;  // 1..4

  // Both readings of the page's data, NUL-terminated.
  std::array<char, kGscNumericTextSize + 1> numericText{};
  int numericLength = 0;
  std::array<char, kGscAlphaTextSize + 1> alphaText{};
  int alphaLength = 0;

  GscDataWords dataWords{};  // the last de-interleaved data block
};

// The GSC decoder at work: its own record and the narrow context it reaches the monitor through.
struct GscRun {
  GscDecoder& gsc;
  DecoderContext& ctx;
};

// One sample from the GSC clock: 0 or 1 (any value above 0 counts as 1).
void GscReceiveBit(const GscRun& run, int bit);
// The signal has ended during a transmission (the input ended, or a whole block came in at
// one level): the page in progress is shown as far as it was received, marked as cut, and the
// decoder hunts again.
void GscSignalLost(const GscRun& run);

// The pieces of a block, exposed for the generator's round trips and for tests.
// Sample of the given age (0 = newest, up to 127).
int GscSampleAt(const GscDecoder& d, int age);
// Builds word1 and word2 (uncorrected) and the mismatch count from the register.
void ExtractWordPair(GscDecoder& d);
// Deals the 120 newest samples into the eight data words.
void DeinterleaveBlock(GscDecoder& d);
// Capcode and function from an address index 0..99 (even: table word, odd: its complement),
// the corrected second address word and the preamble pattern index.
struct GscAddress {
  std::int32_t capcode;
  std::int32_t function;
};
GscAddress GscComputeAddress(int addressIndex, std::uint32_t word2, int preambleIndex);

}  // namespace pagora
