#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "config/filter_text.h"

namespace pagora {
namespace {

FilterRecord Filter(int type, std::string capcode, int function, std::string label,
                    std::string text, int command, int baud, int reject) {
  FilterRecord f;
  f.type = type;
  f.capcode = std::move(capcode);
  f.function = function;
  f.label = std::move(label);
  f.text = std::move(text);
  f.command = command;
  f.baud = baud;
  f.reject = reject;
  return f;
}

TEST(FilterTextForm, PrintsAndParsesExactly) {
  const std::pair<FilterRecord, const char*> kCases[] = {
      {Filter(2, "0001234", 2, "FIRE", "ALARM", 1, 2, 0), R"(2,"0001234",2,"FIRE","ALARM",1,2,0)"},
      {Filter(1, "", 0, "", "SMOKE", 0, 0, 0), R"(1,"",0,"","SMOKE",0,0,0)"},
      // A rejecting long FLEX wildcard, a quote in the label, a backslash before a closing quote.
      {Filter(4, "00012345?", 0, "", "", 0, 0, 1), R"(4,"00012345?",0,"","",0,0,1)"},
      {Filter(5, "123456", 4, R"(say "hi")", "a,b", 1, 0, 0),
       R"(5,"123456",4,"say \"hi\"","a,b",1,0,0)"},
      {Filter(1, "", 0, R"(C:\)", R"(\"x\\)", 0, 0, 0), R"(1,"",0,"C:\\","\\\"x\\\\",0,0,0)"}};
  for (const auto& [filter, text] : kCases) {
    EXPECT_EQ(FormatFilterRecord(filter), text);
    EXPECT_EQ(ParseFilterRecord(text), filter) << text;
  }
}

TEST(FilterTextWriter, OutOfRangeValuesAreWrittenAsZero) {
  EXPECT_EQ(FormatFilterRecord(Filter(9, "1", 7, "", "", 5, 4, -1)), R"(0,"1",0,"","",0,0,0)");
}

// Values a damaged or hand-edited settings file can hold. None may store past a field's limit.
TEST(HostileFilterText, LoadsSomethingSensible) {
  const std::string kLong(1000, 'A');
  const std::tuple<const char*, std::string, FilterRecord> kCases[] = {
      {"Empty", "", Filter(0, "", 0, "", "", 0, 0, 0)},
      {"TypeOnly", "3", Filter(3, "", 0, "", "", 0, 0, 0)},
      {"UnknownType", R"(7,"1",1,"L","T",1,1,1)", Filter(0, "1", 1, "L", "T", 1, 1, 1)},
      {"EndsEarly", R"(2,"0001234",3)", Filter(2, "0001234", 3, "", "", 0, 0, 0)},
      {"NoQuotes", "2,0001234,2,FIRE,ALARM,1,2,0",
       Filter(2, "0001234", 2, "FIRE", "ALARM", 1, 2, 0)},
      {"BlanksAfterCommas", R"(2, "0001234", 2, "FIRE", "ALARM", 1, 2, 0)",
       Filter(2, "0001234", 2, "FIRE", "ALARM", 1, 2, 0)},
      {"UnterminatedText", R"(1,"",0,"L","never closed,0,0,0)",
       Filter(1, "", 0, "L", "never closed,0,0,0", 0, 0, 0)},
      {"UnterminatedCapcode", R"(2,"12345678901234)", Filter(2, "123456789", 0, "", "", 0, 0, 0)},
      {"ThousandCharacterFields", "1,\"" + kLong + "\",1,\"" + kLong + "\",\"" + kLong + "\",1,3,1",
       Filter(1, kLong.substr(0, 9), 1, kLong.substr(0, 20), kLong.substr(0, 40), 1, 3, 1)},
      {"ThousandQuotes", "1,\"\",0,\"\",\"" + std::string(1000, '"') + "\",1,0,0",
       Filter(1, "", 0, "", "", 1, 0, 0)},
      {"EscapedQuotesBeyondLimit", "1,\"\",0,\"" + std::string(100, '\\') + "\"\"",
       Filter(1, "", 0, std::string(20, '\\'), "", 0, 0, 0)},
      {"DigitsOutOfRange", R"(2,"1",9,"","",7,8,9)", Filter(2, "1", 0, "", "", 0, 0, 0)},
      {"LettersForDigits", R"(2,"1",x,"","",y,z,-)", Filter(2, "1", 0, "", "", 0, 0, 0)}};
  for (const auto& [name, text, expected] : kCases) {
    SCOPED_TRACE(name);
    FilterRecord f = ParseFilterRecord(text);
    EXPECT_EQ(f, expected);
    EXPECT_LE(f.capcode.size(), FilterRecord::kCapcodeMax);
    EXPECT_LE(f.label.size(), FilterRecord::kLabelMax);
    EXPECT_LE(f.text.size(), FilterRecord::kTextMax);
  }
}

TEST(FilterTextWriter, AnyRecordWithinItsLimitsSurvivesPrintAndParse) {
  // Every printable character, quotes and backslashes included, in each text field.
  std::string all;
  for (char c = ' '; c <= '~'; ++c)
    all += c;
  for (std::size_t at = 0; at < all.size(); at += FilterRecord::kLabelMax) {
    FilterRecord f = Filter(3, "12?45\"\\", 1, all.substr(at, FilterRecord::kLabelMax),
                            all.substr(at, FilterRecord::kTextMax), 1, 3, 1);
    EXPECT_EQ(ParseFilterRecord(FormatFilterRecord(f)), f) << FormatFilterRecord(f);
  }
}

}  // namespace
}  // namespace pagora
