// FLEX encoder of the signal generator: lays pages out into the four phases of a frame, encodes
// the words as BCH(31,21)+parity codewords, interleaves them into blocks and sends the frame in
// any of the four modes, with sync 1, the frame information word and sync 2 in front.
//
// Two outputs: the symbols as the receiver's FLEX decoder takes them (0 = bits 11, 1 = 10,
// 2 = 00, 3 = 01), for feeding FlexReceiveSymbol directly, and a SymbolStream of slicer levels
// timed at the stream's rate, for audio and slicer-capture rendering.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "transmission.h"

namespace pagora::gen {

enum class FlexMode { k1600x2, k1600x4, k3200x2, k3200x4 };

// The mode code of sync 1 as the receiver's window reads it (the complement follows it).
std::uint16_t FlexModeCode(FlexMode mode);
constexpr std::uint16_t kReflexModeCode = 0x4C7C;  // a ReFLEX frame, laid out as 3200/4
int FlexSymbolRate(FlexMode mode);                 // 1600 or 3200
int FlexLevels(FlexMode mode);                     // 2 or 4
// Phase 0..3 (A..D) carried by the mode: 1600/2 A; 1600/4 A B; 3200/2 A C; 3200/4 A B C D.
bool FlexPhaseInUse(FlexMode mode, int phase);

// The slicer level (3 = most positive discriminator output, where a POCSAG 0 lies) of a decoder
// symbol: the same number. Symbols 0 and 1 carry a high bit of 1 and lie on the negative side,
// 2 and 3 on the positive side; the outer levels 0 and 3 carry a low bit of 1. A two-level
// signal sends a 1 as symbol 0 and a 0 as symbol 3, the outer levels.
constexpr std::uint8_t FlexLevelForSymbol(int symbol) {
  return static_cast<std::uint8_t>(symbol & 3);
}

enum class FlexPageType : int {
  kSecure = 0,
  kInstruction = 1,
  kShortMessage = 2,  // up to 3 digits (8 on a long address) in the vector, or tone only
  kStandardNumeric = 3,
  kSpecialNumeric = 4,
  kAlphanumeric = 5,
  kBinary = 6,
  kNumberedNumeric = 7,
};

struct FlexPage {
  // Short capcodes 1..1933312 and 1998849..2031614; long ones 2068481..2147483647.
  std::uint32_t capcode = 0;
  FlexPageType type = FlexPageType::kAlphanumeric;
  // Numeric and short message: characters of "0123456789*U -)("; alphanumeric and secure:
  // 7-bit text; binary: hex digits. Numeric and binary content is padded to whole words
  // (numeric with spaces, binary with zero digits), and the padding is shown by a receiver.
  std::string content;
  int fragment = 3;                // text pages: fragment field; 3 puts a signature first
  bool continues = false;          // text pages: more parts follow in later frames
  bool toneOnly = false;           // short message type: no digits
  bool extraBinaryHeader = false;  // binary: a second header word before the data
  // When not empty: the address words as sent (one, or two for a long address), in place of
  // the words made from the capcode. Lets a test send any address word it likes.
  std::vector<std::uint32_t> addressWords;
  // Short instruction (type kInstruction): the pager at the address is to take the group call
  // sent to temporary address 2029568 + groupIndex in frame groupFrame.
  int groupIndex = 0;  // 0..15
  int groupFrame = 0;  // 0..127
};

constexpr std::uint32_t kFlexFirstTemporaryCapcode = 2029568;
constexpr int kFlexTemporaryCapcodes = 16;

using FlexWords = std::array<std::uint32_t, 88>;  // one phase's frame: 11 blocks of 8 words

// The address words of a capcode: 1 (short), 2 (long) or 0 when the capcode has no address.
int FlexAddressWords(std::uint32_t capcode, std::uint32_t words[2]);
// The word with its 4-bit checksum (bits 0-3) set so that its nibbles sum to 15.
std::uint32_t FlexWithChecksum(std::uint32_t word);
// Frame information word: cycle 0..14, frame 0..127, with its checksum.
std::uint32_t FlexFrameInfoWord(int cycle, int frame);
// The 32-bit codeword sent for a 21-bit word; bit p is the p-th bit sent. Sent bits are the
// complement of the information bits (the first one is bit 0 of the word), then 10 check
// bits and the even-parity bit.
std::uint32_t FlexCodeword(std::uint32_t word);

// Lays the pages out: block information word, addresses, vectors, then the messages, and the
// idle pattern in every word left over. False when a capcode has no address, content has a
// character the type cannot carry, or the pages do not fit in 88 words.
bool BuildFlexPhase(const std::vector<FlexPage>& pages, FlexWords& words);

// Bits to invert in the codeword of one word of a phase; bit p of mask = the p-th bit sent.
struct FlexBitError {
  int phase = 0;  // 0..3
  int word = 0;   // 0..87
  std::uint32_t mask = 0;
};

struct FlexFrame {
  FlexMode mode = FlexMode::k1600x2;
  std::uint16_t modeCode = 0;  // 0: the mode's own code; otherwise sent instead of it
  int cycle = 0;
  int frame = 0;
  std::array<FlexWords, 4> phases{};  // only the phases the mode carries are sent
  std::vector<FlexBitError> errors;
  // Bits inverted in the 64 bits of mode code, marker and complement; bit 63 is sent first.
  std::uint64_t syncErrors = 0;
};

// A frame with each used phase laid out from its pages (phases the mode does not carry must
// have none). False when BuildFlexPhase fails for any phase.
bool MakeFlexFrame(FlexMode mode, const std::array<std::vector<FlexPage>, 4>& pages,
                   FlexFrame& frame);

// The symbols the FLEX decoder receives for the frame, from the bit sync to the last block
// symbol: one per 1600 symbols/s period in the header, one per frame symbol in the blocks.
std::vector<std::int8_t> FlexDecoderSymbols(const FlexFrame& frame);
// Appends the frame as slicer levels. A stream of rate 0 takes the frame's symbol rate; a
// symbol is held for as many stream symbols as the rates allow. False (nothing appended) when
// the stream's rate is not a whole multiple of the frame's symbol rate.
bool AppendFlexFrame(SymbolStream& stream, const FlexFrame& frame);

}  // namespace pagora::gen
