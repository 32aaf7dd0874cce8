// POCSAG encoder for the signal generator.
//
// A transmission is a preamble of alternating bits (1 first, at least 576 of them), then
// batches of 17 codewords: the synchronisation codeword and eight frames of two codewords. A
// pager with capcode c listens only in frame c mod 8, so a page's address codeword goes into
// that frame, with the idle codeword filling every slot that has nothing to carry. The address
// carries capcode bits 20..3 and two function bits; message codewords follow it directly and
// may run over frame and batch boundaries. Numeric messages are 4-bit BCD digits, alphanumeric
// messages 7-bit characters, each sent least significant bit first. Every codeword is BCH(31,21)
// (generator x^10+x^9+x^8+x^6+x^5+x^3+1) with an even-parity bit, first transmitted bit on top.
//
// Bit 0 is sent as the higher RF frequency (slicer level 3), bit 1 as the lower (level 0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "transmission.h"

namespace pagora::gen {

constexpr std::uint32_t kPocsagSync = 0x7CD215D8;
constexpr std::uint32_t kPocsagIdle = 0x7A89C197;
constexpr int kPocsagMinPreambleBits = 576;
constexpr std::uint32_t kPocsagMaxCapcode = 0x1FFFFF;
// Fill for the unused bits of an alphanumeric page's last codeword (ETB).
constexpr std::uint8_t kPocsagAlphaFill = 0x17;

// The full 32-bit codeword for 21 information bits (bit 20 is transmitted first): ten BCH
// check bits and the even-parity bit appended.
std::uint32_t PocsagEncodeCodeword(std::uint32_t information);
// Address codeword for a capcode 0..2097151 (its frame bits are not sent) and function 0..3.
std::uint32_t PocsagAddressCodeword(std::uint32_t capcode, int function);
// Message codewords for digits from "0123456789*U -)(" ("[" and "]" are taken for "(" and ")";
// any other character is sent as a space). The last codeword is filled with spaces.
std::vector<std::uint32_t> PocsagNumericCodewords(std::string_view digits);
// Message codewords for 7-bit characters (the top bit of each byte is dropped). The last
// codeword is filled with `fill` characters, cut off where the codeword ends.
std::vector<std::uint32_t> PocsagAlphaCodewords(std::string_view text,
                                                std::uint8_t fill = kPocsagAlphaFill);

enum class PocsagPageType { kToneOnly, kNumeric, kAlphanumeric };

struct PocsagPage {
  std::uint32_t capcode = 0;  // 0..2097151
  // Function bits 0..3 (shown by pagers and decoders as 1..4); -1 uses the usual choice:
  // 0 for numeric and tone-only pages, 3 for alphanumeric pages.
  int function = -1;
  PocsagPageType type = PocsagPageType::kAlphanumeric;
  std::string text;
};

enum class PocsagWordKind { kSync, kIdle, kAddress, kMessage };

// Where one codeword of a transmission sits.
struct PocsagWord {
  std::size_t bitOffset = 0;  // index of its first bit in PocsagTransmission::bits
  std::uint32_t codeword = 0;
  PocsagWordKind kind = PocsagWordKind::kIdle;
  int batch = 0;  // 0-based
  int slot = -1;  // 0..15 within the batch; -1 for the sync codeword
  int page = -1;  // index of the page an address or message codeword belongs to
};

struct PocsagTransmission {
  std::vector<std::uint8_t> bits;  // 0/1 in transmission order
  std::vector<PocsagWord> words;   // every codeword after the preamble, in order

  // The n-th (0-based) word of a kind, optionally of one page; nullptr when there is none.
  const PocsagWord* Find(PocsagWordKind kind, int page = -1, int n = 0) const;
};

// Builds a transmission codeword by codeword. Each batch starts with the sync codeword, which
// the writer inserts by itself before the first codeword of every batch.
class PocsagBatchWriter {
 public:
  explicit PocsagBatchWriter(int preambleBits = kPocsagMinPreambleBits);

  // Slot 0..15 that the next codeword will take.
  int NextSlot() const { return slot_ % 16; }
  void Put(std::uint32_t codeword, PocsagWordKind kind, int page = -1);
  // Idle codewords up to (not including) the next occurrence of `slot`, in this batch or the
  // next one.
  void IdleUntilSlot(int slot);
  // Idle codewords to the end of the current batch.
  void FinishBatch();
  PocsagTransmission Take();

 private:
  void PutBits(std::uint32_t codeword);

  PocsagTransmission transmission_;
  int slot_ = 16;  // 16: no batch open
  int batch_ = -1;
};

struct PocsagEncodeOptions {
  int preambleBits = kPocsagMinPreambleBits;  // raised to 576 when lower
  std::uint8_t alphaFill = kPocsagAlphaFill;
};

// Encodes pages in order, each address in its capcode's frame, and ends with idle codewords to
// the end of the batch (adding a batch when the last page reaches its final slot, so that its
// end is marked by an idle codeword). No pages give one batch of idle codewords.
PocsagTransmission EncodePocsag(const std::vector<PocsagPage>& pages,
                                const PocsagEncodeOptions& options = {});

// Inverts the bits at the given indices (indices past the end are ignored).
void FlipBits(std::vector<std::uint8_t>& bits, const std::vector<std::size_t>& positions);
// Inverts bits of one codeword of a transmission; positions 0..31, 0 = first transmitted.
void FlipCodewordBits(PocsagTransmission& transmission, const PocsagWord& word,
                      const std::vector<int>& positions);

// The bits as slicer levels at 512, 1200 or 2400 symbols/s: bit 0 -> level 3, bit 1 -> level 0.
SymbolStream PocsagSymbols(const std::vector<std::uint8_t>& bits, int bitRate);

}  // namespace pagora::gen
