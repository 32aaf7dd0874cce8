#include "gsc/golay.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>

#include "gsc/gsc_tables.h"

namespace {

using pagora::GolayDecode;
using pagora::GolaySyndrome;
using pagora::kGolayMask;

std::uint32_t Encode(std::uint32_t information) {
  information &= 0xFFF;
  return information | GolaySyndrome(information);
}

// Every pattern of one, two and three wrong bits, including three bits spread over more than
// eleven positions, on a handful of codewords.
TEST(Golay, CorrectsEveryPatternOfUpToThreeErrors) {
  const std::uint32_t kCodewords[] = {Encode(0), Encode(0xFFF), Encode(0x5A3), Encode(0x0C1),
                                      pagora::kGscStartCode};
  for (std::uint32_t codeword : kCodewords) {
    for (int a = 0; a < 23; ++a) {
      std::uint32_t one = codeword ^ (1u << a);
      ASSERT_EQ(GolayDecode(one), codeword) << a;
      for (int b = a + 1; b < 23; ++b) {
        std::uint32_t two = one ^ (1u << b);
        ASSERT_EQ(GolayDecode(two), codeword) << a << "," << b;
        for (int c = b + 1; c < 23; ++c) {
          ASSERT_EQ(GolayDecode(two ^ (1u << c)), codeword) << a << "," << b << "," << c;
        }
      }
    }
  }
}

// The code is perfect: any word at all decodes to the one codeword within three bits.
TEST(Golay, AnyWordDecodesToTheNearestCodeword) {
  for (std::uint32_t information = 0; information < 4096; ++information) {
    ASSERT_EQ(GolaySyndrome(Encode(information)), 0u) << information;
    ASSERT_EQ(GolayDecode(Encode(information)), Encode(information)) << information;
  }
  std::mt19937 random(99);
  for (int n = 0; n < 5000; ++n) {
    std::uint32_t word = random() & kGolayMask;
    std::uint32_t decoded = GolayDecode(word);
    ASSERT_EQ(GolaySyndrome(decoded), 0u) << word;
    ASSERT_LE(std::popcount(decoded ^ word), 3) << word;
  }
  // Four wrong bits land on another codeword, three bits from the received word.
  std::uint32_t codeword = Encode(0x3C5);
  std::uint32_t four = codeword ^ 0x000F;
  EXPECT_NE(GolayDecode(four), codeword);
  EXPECT_EQ(std::popcount(GolayDecode(four) ^ four), 3);
}

// The tables are typed in twice: as doubled-bit fields and as the words they come from.
TEST(GscTables, PreamblePatternsAreTheDoubledWords) {
  const char* kWords[] = {"01110111111011000000001", "00111010011001111110000",
                          "01111110001110010000011", "11100001010000011111110",
                          "11111101000001011110000", "11001111001110011100000",
                          "10111001111000001111000", "00110111100111110000010",
                          "00011000011010011111110", "11111000100110001000111"};
  for (int k = 0; k < 10; ++k) {
    std::uint64_t doubled = 0;
    std::uint32_t word = 0;
    for (int bit = 0; bit < 23; ++bit) {
      int value = kWords[k][bit] == '1';
      doubled = (doubled << 2) | static_cast<std::uint64_t>(value ? 3 : 0);
      word |= static_cast<std::uint32_t>(value) << bit;
    }
    const pagora::GscPreamblePattern& p = pagora::kGscPreambleTable[static_cast<std::size_t>(k)];
    EXPECT_EQ(doubled, (std::uint64_t{p.field1} << 32) | (std::uint64_t{p.field2} << 16) | p.field3)
        << k;
    EXPECT_EQ(GolaySyndrome(word), 0u) << k;
  }
}

TEST(GscTables, AddressWordsAndStartCodeAreCodewords) {
  for (std::size_t k = 0; k < pagora::kGscAddressTable.size(); ++k) {
    std::uint32_t entry = pagora::kGscAddressTable[k];
    int distance = std::popcount(GolayDecode(entry) ^ entry);
    EXPECT_EQ(distance, k == 11 ? 1 : 0) << k;
  }
  EXPECT_EQ(GolaySyndrome(pagora::kGscStartCode), 0u);
  EXPECT_EQ(GolaySyndrome(~pagora::kGscStartCode & kGolayMask), 0u);
}

}  // namespace
