#include "output/charset.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "output/page.h"

namespace pagora {
namespace {

// One 7-bit code through the C library's own table for the set, as UTF-8.
std::string ThroughIconv(const char* iconvName, char code) {
  iconv_t cd = iconv_open("UTF-8", iconvName);
  if (cd == reinterpret_cast<iconv_t>(-1))
    return "(no table)";
  char in[1] = {code};
  char out[8] = {};
  char* inPtr = in;
  char* outPtr = out;
  std::size_t inLeft = 1, outLeft = sizeof out;
  std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
  iconv_close(cd);
  if (done == static_cast<std::size_t>(-1))
    return "(not converted)";
  return std::string(out, sizeof out - outLeft);
}

class CharsetTable : public ::testing::TestWithParam<CharsetInfo> {};

// Every replaced position agrees with the C library's table; every other 7-bit code is ASCII.
TEST_P(CharsetTable, AgreesWithTheSystemTable) {
  const CharsetInfo& info = GetParam();
  if (info.iconvName == nullptr)
    GTEST_SKIP() << info.name << " has no table in the C library";
  for (int code = 0x20; code < 0x7F; ++code) {
    std::string ours;
    AppendUtf8(ours, ReceivedCodePoint(info.id, static_cast<char>(code)));
    EXPECT_EQ(ours, ThroughIconv(info.iconvName, static_cast<char>(code)))
        << info.name << " code 0x" << std::hex << code;
  }
}

// Each letter survives every form it takes: sent as its 7-bit code, held in a pane cell, written
// as UTF-8, and typed back into a filter.
TEST_P(CharsetTable, LettersRoundTripThroughAirCellsAndUtf8) {
  const CharsetInfo& info = GetParam();
  for (std::size_t i = 0; i < kNationalPositions.size(); ++i) {
    std::string letter;
    AppendUtf8(letter, info.letters[i]);
    std::string air = EncodeForAir(info.id, letter);
    ASSERT_EQ(air, std::string(1, kNationalPositions[i])) << info.name << " " << letter;
    EXPECT_EQ(ReceivedUtf8(info.id, air), letter);
    char cell = CellForReceived(info.id, air[0]);
    EXPECT_EQ(CellCodePoint(cell), info.id == Charset::kAscii ? char32_t(air[0]) : info.letters[i]);
    EXPECT_EQ(CellsFromUtf8(letter), std::string(1, cell)) << info.name << " " << letter;
    std::string file;
    AppendCellUtf8(file, cell);
    EXPECT_EQ(file, letter);
  }
  EXPECT_EQ(CharsetByName(info.name), info.id);
}

INSTANTIATE_TEST_SUITE_P(AllSets, CharsetTable, ::testing::ValuesIn(Charsets()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(CharsetTest, AsciiLeavesEveryByteAlone) {
  for (int code = 0; code < 256; ++code) {
    char c = static_cast<char>(code);
    EXPECT_EQ(CellForReceived(Charset::kAscii, c), c);
  }
  std::string received = "K|lner Stra~e\x17";
  EXPECT_EQ(ReceivedUtf8(Charset::kAscii, received), received);
}

TEST(CharsetTest, OnlyAlphanumericPagesAreMapped) {
  Page page;
  page.charset = Charset::kGerman;
  for (char c : std::string("K|lner Stra~e"))
    AppendReceived(page, c);
  page.type = "alpha";
  EXPECT_EQ(PageTextUtf8(page), "Kölner Straße");
  page.type = "numeric";  // FLEX digits include brackets: never letters
  EXPECT_EQ(PageTextUtf8(page), "K|lner Stra~e");
}

TEST(CharsetTest, WhatASetCannotSendBecomesAQuestionMark) {
  // German gives | away to ö: a typed | cannot go on the air; nor can a letter of another set.
  EXPECT_EQ(EncodeForAir(Charset::kGerman, "a|b å ?"), "a?b ? ?");
  EXPECT_EQ(CellsFromUtf8("€\xC2\x85"), "??");  // no cell for the euro sign or a C1 control
  EXPECT_EQ(CharsetByName("Finnish"), Charset::kSwedish);
  EXPECT_EQ(CharsetByName("klingon"), std::nullopt);
  EXPECT_EQ(CharsetOrAscii(""), Charset::kAscii);
}

}  // namespace
}  // namespace pagora
