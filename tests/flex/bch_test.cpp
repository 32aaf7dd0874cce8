// The BCH(31,21)+parity corrector against an independent long-division encoder: every one- and
// two-error pattern scores as the score table says. (Words beyond correction are left alone and
// flagged: the decoders' damaged-word cases.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decoder/bch.h"

namespace pagora {
namespace {

constexpr std::uint32_t kGenerator = 0x769;

// Check bits of 21 information bits (bit 20 = first received) by polynomial long division.
std::uint32_t CheckBits(std::uint32_t info) {
  std::uint32_t r = info << 10;
  for (int bit = 30; bit >= 10; --bit) {
    if (r & (1u << bit))
      r ^= kGenerator << (bit - 10);
  }
  return r;
}

// A 32-character codeword with even parity from 21 information bits.
std::string Encode(std::uint32_t info) {
  std::uint32_t word = (info << 10) | CheckBits(info);
  std::string s;
  for (int bit = 30; bit >= 0; --bit)
    s += (word >> bit) & 1 ? '1' : '0';
  s += (__builtin_popcount(word) & 1) ? '1' : '0';
  return s;
}

std::string Flip(std::string s, const std::vector<int>& positions) {
  for (int p : positions)
    s[static_cast<std::size_t>(p)] = s[static_cast<std::size_t>(p)] == '1' ? '0' : '1';
  return s;
}

struct Corrected {
  std::string word;
  int score;
};

Corrected Correct(BchTables& t, const std::string& word) {
  std::copy(word.begin(), word.end(), t.codeword.begin());
  int score = CorrectCodeword(t);
  return {std::string(t.codeword.begin(), t.codeword.end()), score};
}

class BchTest : public ::testing::Test {
 protected:
  void SetUp() override { InitBchTables(tables); }
  BchTables tables;
};

TEST_F(BchTest, ValidWordsTheirComplementsAndZeroScoreZero) {
  for (std::uint32_t info : {0u, 1u, 0x1FFFFFu, 0x0A5A5Au, 0x123456u & 0x1FFFFF, 0x100000u}) {
    std::string word = Encode(info);
    EXPECT_EQ(Correct(tables, word).score, 0) << word;
    std::string complement = word;
    for (char& c : complement)
      c = c == '1' ? '0' : '1';
    Corrected r = Correct(tables, complement);
    EXPECT_EQ(r.score, 0) << complement;
    EXPECT_EQ(r.word, complement);
  }
  EXPECT_EQ(Correct(tables, std::string(32, '0')).score, 0);
}

// One row of the score table: how many errors of each kind, the score, and whether the check
// and parity errors remain in the buffer (they always do: only information bits are rewritten).
struct ScoreRow {
  const char* name;
  int infoErrors;
  int checkErrors;
  bool parityError;
  int score;
};

int TableScore(int info, int check, bool parity) {
  static const ScoreRow kRows[] = {
      {"none", 0, 0, false, 0},       {"parity", 0, 0, true, 1},
      {"info", 1, 0, false, 1},       {"info+parity", 1, 0, true, 2},
      {"check", 0, 1, false, 2},      {"check+parity", 0, 1, true, 1},
      {"2 info", 2, 0, false, 2},     {"2 info+parity", 2, 0, true, 3},
      {"2 check", 0, 2, false, 2},    {"2 check+parity", 0, 2, true, 3},
      {"info+check", 1, 1, false, 3}, {"info+check+parity", 1, 1, true, 2},
  };
  for (const ScoreRow& row : kRows) {
    if (row.infoErrors == info && row.checkErrors == check && row.parityError == parity) {
      return row.score;
    }
  }
  ADD_FAILURE() << "no row";
  return -1;
}

// Every one- and two-error pattern among the 31 code bits, with and without a parity error,
// on a few codewords: the information errors are undone, the others stay, the score is the
// table's.
TEST_F(BchTest, EveryCorrectablePatternScoresAsTheTableSays) {
  std::vector<std::vector<int>> patterns{{}};
  for (int a = 0; a < 31; ++a) {
    patterns.push_back({a});
    for (int b = a + 1; b < 31; ++b)
      patterns.push_back({a, b});
  }
  for (std::uint32_t info : {0u, 0x1FFFFFu, 0x0F0F0Fu, 0x155555u}) {
    std::string valid = Encode(info);
    for (const auto& pattern : patterns) {
      for (bool parity : {false, true}) {
        std::vector<int> errors = pattern;
        if (parity)
          errors.push_back(31);
        int infoErrors = 0, checkErrors = 0;
        std::vector<int> kept;
        for (int p : pattern) {
          if (p < 21)
            ++infoErrors;
          else {
            ++checkErrors;
            kept.push_back(p);
          }
        }
        if (parity)
          kept.push_back(31);
        Corrected r = Correct(tables, Flip(valid, errors));
        ASSERT_EQ(r.score, TableScore(infoErrors, checkErrors, parity))
            << valid << " errors at " << ::testing::PrintToString(errors);
        ASSERT_EQ(r.word, Flip(valid, kept)) << ::testing::PrintToString(errors);
      }
    }
  }
}

TEST(BitCounts, CountOnlyTheirBits) {
  struct Row {
    std::int64_t value;
    int bits16, bits32, bits10;
  };
  const Row rows[] = {
      {0, 0, 0, 0},        {0x1FFFF, 16, 17, 10},  // bits 0..16
      {0x7FF, 11, 11, 10},                         // bits 0..10
      {-1, 16, 32, 10},    {0x10000, 0, 1, 0},    {0x8001, 2, 2, 1}, {0xFFFFFFFF, 16, 32, 10},
  };
  for (const Row& r : rows) {
    std::int32_t s = static_cast<std::int32_t>(static_cast<std::uint32_t>(r.value));
    EXPECT_EQ(CountBits16(s), r.bits16) << r.value;
    EXPECT_EQ(CountBits32(static_cast<std::uint32_t>(r.value)), r.bits32) << r.value;
    EXPECT_EQ(CountBits10(s), r.bits10) << r.value;
  }
}

}  // namespace
}  // namespace pagora
