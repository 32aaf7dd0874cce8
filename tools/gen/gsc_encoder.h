// GSC encoder: renders pages as the 600 samples per second that the GSC clock delivers.
//
// A transmission is a preamble of doubled-bit words (300 bit/s, each bit two samples), the
// start code block, then 121-sample blocks: an address block per page (28 comma samples, the
// first address word doubled, one comma sample, the second word doubled) followed by the
// page's data blocks (one comma sample, eight interleaved 15-bit words at 600 bit/s, 56 data
// bits: 12 digits or 8 characters, data bit 48 set when another data block of the page
// follows). Capcode and function are spread over the two address words and the preamble
// pattern, so every page of one transmission must agree on the pattern.
//
// The receiver counts the blocks it still expects: one after a normal preamble (each address
// adds one, so only a final data block ends it), sixteen after an inverted preamble or a
// repeated start code. The encoder inserts a repeated start code when the pages need more,
// and idle data blocks (alternating all-zero and all-one words, no page open) ahead of the
// first address so that the final block is the one that ends the transmission. After a normal
// preamble a final address-only page is followed by one idle block, as transmitters send it;
// receivers read that block as the page's data, so it is listed as the page's data block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transmission.h"

namespace pagora::gen {

enum class GscMessageType { kTone, kNumeric, kAlpha };

struct GscPage {
  std::int32_t capcode = 0;  // 0..999999
  int function = 1;          // 1..4
  GscMessageType type = GscMessageType::kTone;
  // Numeric: "0".."9", space, "U", "-", ")", "(" (anything else is sent as a space), 12 digits
  // per block. Alpha: ASCII 32..63, letters (lower case sent as capitals), "[", "]"; anything
  // else is sent as a space; 8 characters per block; a NUL is sent as the terminator value,
  // which ends the text of its block at the receiver. At most 16 blocks, of which a receiver
  // takes 11 (longer pages serve to test receivers and must be the last of a transmission).
  std::string text;
  // Error injection: bits (bit 0 = first sent) of the two address words sent inverted in both
  // of their samples.
  std::uint32_t address1Errors = 0;
  std::uint32_t address2Errors = 0;
};

struct GscTransmission {
  int preambleIndex = -1;  // 0..9; -1: the pattern the first page's capcode needs
  bool invertedPreamble = false;
  int preambleWords = 18;
  // Error injection on the start code words, as for the address words.
  std::uint32_t startCode1Errors = 0;
  std::uint32_t startCode2Errors = 0;
  std::vector<GscPage> pages;
};

// kIdle: an idle data block ahead of the first address, read while no page is open.
enum class GscBlockKind { kStartCode, kAddress, kData, kIdle };

struct GscBlockSpan {
  GscBlockKind kind;
  int offset;  // index of the block's first sample
  int page;    // index into the pages, -1 for start codes and idle blocks
};

struct GscSignal {
  std::vector<std::uint8_t> samples;  // 0/1, 600 per second
  std::vector<GscBlockSpan> blocks;   // the first start code and every block after it
  int preambleIndex = 0;
};

constexpr int kGscSampleRate = 600;
constexpr int kGscBlockLength = 121;
constexpr int kGscCommaLength = 28;

// The address words of a capcode and function, and the preamble pattern they need.
struct GscAddressWords {
  std::uint32_t word1;
  std::uint32_t word2;
  int preambleIndex;
};
// Throws std::invalid_argument for a capcode outside 0..999999 or a function outside 1..4.
GscAddressWords GscEncodeAddress(std::int32_t capcode, int function);

// The Golay(23,12) codeword carrying the 12 information bits.
std::uint32_t GolayEncode(std::uint32_t information);

// Throws std::invalid_argument when the pages cannot be sent in one transmission (patterns
// that disagree, too many blocks) or a page is out of range.
GscSignal EncodeGsc(const GscTransmission& transmission);

// First sample of the pair that carries bit `bit` (0..22) of word 1 or 2 of a start code or
// address block.
int GscWordSample(const GscBlockSpan& block, int word, int bit);
// The sample that carries data bit `bit` (0..55) of a data block.
int GscDataSample(const GscBlockSpan& block, int bit);

// Samples as 2-level symbols at 600 per second: 1 is level 3, 0 is level 0.
SymbolStream GscSymbols(const std::vector<std::uint8_t>& samples);

}  // namespace pagora::gen
