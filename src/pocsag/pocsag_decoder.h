// POCSAG decoder state and its one entry point.
//
// A burst is a preamble of alternating bits, then batches: the 32-bit synchronisation codeword
// followed by sixteen codewords, two per frame. Every codeword is BCH(31,21) with an even-parity
// bit. Bit 0 (the first transmitted) tells an address ("0") from a message codeword ("1").
// An address carries the top 18 bits of the 21-bit capcode and 2 function bits; the bottom 3
// capcode bits are the frame the address was sent in. Message codewords carry 20 bits each,
// read at the same time as 7-bit characters and as 4-bit digits; the page ends at the next
// address or idle codeword, or when the burst ends.
#pragma once

#include <array>
#include <cstdint>

#include "decoder/decoder_context.h"

namespace pagora {

// The 32 bits of the POCSAG synchronisation and idle codewords, first transmitted bit on top.
constexpr std::uint32_t kPocsagSyncCodeword = 0x7CD215D8;
constexpr std::uint32_t kPocsagIdleCodeword = 0x7A89C197;
// Bit errors tolerated when recognising them: sync up to 4, idle up to 2.
constexpr int kPocsagSyncMaxErrors = 4;
constexpr int kPocsagIdleMaxErrors = 2;
// pocsagWindow value that each idle or well-received codeword restores (bits).
constexpr int kPocsagWindowRefresh = 170;

// Added to a stored character whose codeword was uncorrectable; weighs in the scoring only.
constexpr std::int32_t kPocsagErrorMark = 0x1000;
// Set in `capcode` when the address codeword was uncorrectable (or no address is known).
constexpr std::int32_t kPocsagCapcodeError = 0x400000;
constexpr std::int32_t kPocsagCapcodeMask = 0x1FFFFF;

// Message codewords buffered before a page is shown as a long page.
constexpr int kPocsagLongPageCodewords = 7;
constexpr int kPocsagCharacterBufferSize = 25;
constexpr int kPocsagDigitBufferSize = 40;

struct PocsagDecoder {
  // The last 32 bits received, the newest in bit 0 (an "X" shifts in a 0).
  std::uint32_t bitRegister = 0;
  int inBatch = 0;        // 0 hunting for the sync codeword, 1 counting codewords of a batch
  int bitPosition = 0;    // bits of the current codeword received, 0..31
  int codewordsLeft = 0;  // codewords of the batch still to come, 16..1

  // The page being collected.
  // 21-bit capcode, with kPocsagCapcodeError when the address was uncorrectable or when no
  // address has arrived since the last page ended.
  std::int32_t capcode = kPocsagCapcodeError;
  int function = 0;          // function bits 0..3 (shown as 1..4)
  int addressPending = 0;    // an address arrived and no message codeword since
  int messageCodewords = 0;  // 0..6 buffered, 8 once shown as a long page
  int openPages = 0;         // headers written whose row is not yet ended
  // Correction scores of the page's codewords (address and message) until its header is
  // written; after that they go straight into the page record.
  int pageCorrected = 0;
  bool pageErrors = false;
  // The burst is ending because the signal did (a constant level, the end of the input), not
  // because the codewords stopped making sense: the page in progress is shown as received.
  int signalLost = 0;

  // Characters and digits assembled side by side from the message bits (LSB first).
  int characterRegister = 0;  // 7-bit shift register, newest bit in bit 6
  int alphaBitCount = 0;
  int digitBitCount = 0;
  int alphaCount = 0;
  int digitCount = 0;
  std::array<std::int32_t, kPocsagCharacterBufferSize> characters{};  // may carry the error mark
  std::array<char, kPocsagDigitBufferSize> digits{};
};

// The POCSAG decoder at work: its own record and the narrow context it reaches the monitor through.
struct PocsagRun {
  PocsagDecoder& pocsag;
  DecoderContext& ctx;
};

// One bit from the drain: '1', '0', or 'X' at the end of a burst.
void PocsagReceiveBit(const PocsagRun& run, char bit);
// The signal has ended in the middle of a burst: the drain's next 'X' shows the page in
// progress as far as it was received, marked as cut, instead of dropping it.
void PocsagSignalLost(const PocsagRun& run);

// Handles the codeword just received (in the bit register) in batch slot `index` 0..15:
// corrects it and files it as an address or message codeword.
void PocsagCodeword(const PocsagRun& run, int index);
// Ends the open page row, if any, and clears the page fields.
void PocsagEndPage(const PocsagRun& run);

}  // namespace pagora
