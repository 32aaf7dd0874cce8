// The generator's POCSAG encoder, checked against the air format rather than against the
// decoder: valid BCH codewords, the known sync and idle words, frame placement, bit orders.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "decoder/bch.h"
#include "pocsag_encoder.h"

namespace pagora::gen {
namespace {

// Remainder of a whole 31-bit word (the codeword without its parity bit) modulo the generator:
// zero for every codeword.
std::uint32_t Syndrome(std::uint32_t codeword) {
  std::uint32_t word = codeword >> 1;
  for (int bit = 30; bit >= 10; --bit) {
    if (word & (1u << bit))
      word ^= 0x769u << (bit - 10);
  }
  return word;
}

int Ones(std::uint32_t v) {
  int n = 0;
  for (; v != 0; v >>= 1)
    n += static_cast<int>(v & 1u);
  return n;
}

std::uint32_t Information(std::uint32_t codeword) {
  return codeword >> 11;
}

TEST(PocsagEncoder, ReproducesTheSyncAndIdleCodewords) {
  EXPECT_EQ(PocsagEncodeCodeword(Information(kPocsagSync)), kPocsagSync);
  EXPECT_EQ(PocsagEncodeCodeword(Information(kPocsagIdle)), kPocsagIdle);
}

TEST(PocsagEncoder, EveryCodewordIsValidWithEvenParity) {
  BchTables tables;
  InitBchTables(tables);
  for (std::uint32_t information : {0u, 1u, 0x100000u, 0x1FFFFFu, 0x0ABCDEu, 0x155555u}) {
    std::uint32_t codeword = PocsagEncodeCodeword(information);
    EXPECT_EQ(Information(codeword), information);
    EXPECT_EQ(Syndrome(codeword), 0u) << std::hex << codeword;
    EXPECT_EQ(Ones(codeword) % 2, 0) << std::hex << codeword;
    for (int i = 0; i < 32; ++i) {
      tables.codeword[static_cast<std::size_t>(i)] = ((codeword >> (31 - i)) & 1u) ? '1' : '0';
    }
    EXPECT_EQ(CorrectCodeword(tables), 0) << std::hex << codeword;
  }
}

TEST(PocsagEncoder, WordContents) {
  struct Case {
    const char* name;
    std::uint32_t codeword;
    std::uint32_t information;
  };
  const std::vector<Case> cases = {
      // Flag 0, capcode bits 20..3, function bits.
      {"address, all ones", PocsagAddressCodeword(0x1FFFFF, 3), 0x0FFFFF},
      {"address, frame bits dropped", PocsagAddressCodeword(0x12345F, 1),
       (0x12345Fu >> 3) << 2 | 1},
      // Flag 1; digit 1 sent LSB first (1000), then four fill spaces (0011 each).
      {"numeric 1", PocsagNumericCodewords("1")[0], 0x100000 | 0b10000011001100110011},
      {"numeric U-[]", PocsagNumericCodewords("U-[]*")[0], 0x100000 | 0b11011011111101110101},
      // 'A' (1000001 LSB first), then ETB fill (1110100) cut after six more bits.
      {"alpha A", PocsagAlphaCodewords("A")[0], 0x100000 | 0b10000011110100111010},
      {"alpha, top bit dropped", PocsagAlphaCodewords("\xC1", 0)[0], 0x100000 | 0b1000001u << 13},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Information(c.codeword), c.information) << c.name;
  EXPECT_EQ(PocsagAlphaCodewords(std::string(20, 'x')).size(), 7u);
  EXPECT_EQ(PocsagAlphaCodewords(std::string(21, 'x')).size(), 8u);
  EXPECT_EQ(PocsagNumericCodewords("1234567890").size(), 2u);
  EXPECT_TRUE(PocsagNumericCodewords("").empty());
}

TEST(PocsagEncoder, TransmissionLayout) {
  auto t = EncodePocsag({{1000, -1, PocsagPageType::kNumeric, "123"},       // frame 0
                         {13, -1, PocsagPageType::kAlphanumeric, "HELLO"},  // frame 5
                         {22, 2, PocsagPageType::kToneOnly, ""}});          // frame 6
  // Preamble: at least 576 alternating bits, starting with 1.
  ASSERT_GE(t.words.front().bitOffset, 576u);
  for (std::size_t i = 0; i < t.words.front().bitOffset; ++i) {
    ASSERT_EQ(t.bits[i], (i % 2 == 0) ? 1 : 0) << i;
  }
  // Batches of sync + 16 codewords back to back; bits match the listed words.
  ASSERT_EQ(t.words.size() % 17, 0u);
  for (std::size_t w = 0; w < t.words.size(); ++w) {
    const PocsagWord& word = t.words[w];
    EXPECT_EQ(word.bitOffset, t.words.front().bitOffset + 32 * w);
    EXPECT_EQ(word.kind == PocsagWordKind::kSync, w % 17 == 0);
    std::uint32_t value = 0;
    for (int b = 0; b < 32; ++b)
      value = value << 1 | t.bits[word.bitOffset + b];
    EXPECT_EQ(value, word.codeword);
  }
  EXPECT_EQ(t.bits.size(), t.words.back().bitOffset + 32);
  // Addresses in their frames, with the usual function for numeric and alphanumeric pages.
  EXPECT_EQ(t.Find(PocsagWordKind::kAddress, 0)->slot, 0);
  EXPECT_EQ(t.Find(PocsagWordKind::kAddress, 0)->codeword, PocsagAddressCodeword(1000, 0));
  EXPECT_EQ(t.Find(PocsagWordKind::kAddress, 1)->slot, 10);
  EXPECT_EQ(t.Find(PocsagWordKind::kAddress, 1)->codeword, PocsagAddressCodeword(13, 3));
  // Frame 6 is still open after the second page: its second slot takes the third address.
  EXPECT_EQ(t.Find(PocsagWordKind::kMessage, 1, 1)->slot, 12);
  EXPECT_EQ(t.Find(PocsagWordKind::kAddress, 2)->slot, 13);
  EXPECT_EQ(t.Find(PocsagWordKind::kMessage, 2), nullptr);
  EXPECT_EQ(t.Find(PocsagWordKind::kIdle, -1, 0)->slot, 2);
}

TEST(PocsagEncoder, FrameAlreadyPassedWaitsForTheNextBatch) {
  auto t = EncodePocsag({{7, 0, PocsagPageType::kNumeric, "1"},    // frame 7: slots 14, 15
                         {8, 0, PocsagPageType::kNumeric, "2"}});  // frame 0 of batch 1
  EXPECT_EQ(t.Find(PocsagWordKind::kAddress, 1)->batch, 1);
  EXPECT_EQ(t.Find(PocsagWordKind::kAddress, 1)->slot, 0);
  // A page that ends in the last slot is followed by a batch of idle codewords.
  auto last = EncodePocsag({{7, 0, PocsagPageType::kNumeric, "1"}});
  EXPECT_EQ(last.words.size(), 34u);
  EXPECT_EQ(last.words.back().kind, PocsagWordKind::kIdle);
  EXPECT_EQ(last.Find(PocsagWordKind::kIdle, -1, 14)->batch, 1);
}

}  // namespace
}  // namespace pagora::gen
