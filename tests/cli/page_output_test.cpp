// The JSON page record built from the page record, and terminal rows built from pane rows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cli/page_output.h"
#include "output/page_json.h"

namespace pagora::cli {
namespace {

Page MakePage(Protocol protocol, const char* capcode, int function, const char* type,
              const std::string& received) {
  Page page;
  page.protocol = protocol;
  page.rate = 1200;
  std::strncpy(page.capcode.data(), capcode, page.capcode.size() - 1);
  page.function = function;
  page.type = type;
  for (char c : received)
    AppendReceived(page, c);
  RemoveFill(page);
  return page;
}

TEST(PageRecordTest, FieldsFromThePage) {
  struct Case {
    const char* name;
    Protocol protocol;
    const char* capcode;
    int function;
    const char* type;
    std::string received;
    bool errors;
    int filter;
    nlohmann::json expected;
  };
  using std::string_literals::operator""s;
  const Case cases[] = {
      {"plain",
       Protocol::kPocsag,
       "1234567",
       4,
       "alpha",
       "HELLO",
       false,
       -1,
       {{"protocol", "POCSAG"},
        {"capcode", "1234567"},
        {"function", 4},
        {"text", "HELLO"},
        {"errors", false},
        {"filter", nullptr}}},
      {"unknown capcode",
       Protocol::kPocsag,
       "???????",
       0,
       "numeric",
       "123  ",
       false,
       -1,
       {{"capcode", nullptr}, {"function", nullptr}, {"text", "123"}}},
      {"errors and a label",
       Protocol::kFlex,
       "0123456",
       0,
       "alpha",
       "AB",
       true,
       0,
       {{"protocol", "FLEX"}, {"function", nullptr}, {"errors", true}, {"filter", "HOME."}}},
      // Control characters stay what they were; the top bit never reaches the record.
      {"controls and high bytes",
       Protocol::kGsc,
       "123456",
       1,
       "alpha",
       "a\x1b[1m\x07\xc1\x9b",
       false,
       -1,
       {{"protocol", "GSC"},
        {"function", 1},
        {"text",
         "a\x1b[1m\x07"
         "A\x1b"}}},
      {"alpha fill",
       Protocol::kPocsag,
       "1234567",
       2,
       "alpha",
       "end.\x04\x17\0\x03\0"s,
       false,
       -1,
       {{"text", "end."}}},
      {"a control inside stays",
       Protocol::kPocsag,
       "1234567",
       2,
       "alpha",
       "a\0b\x17"s,
       false,
       -1,
       {{"text", "a\0b"s}}},
      {"alpha keeps its spaces",
       Protocol::kFlex,
       "0000100",
       0,
       "alpha",
       "hi  ",
       false,
       -1,
       {{"text", "hi  "}}},
      {"tone", Protocol::kPocsag, "1234567", 1, "tone", "", false, -1, {{"text", ""}}},
  };
  for (const Case& c : cases) {
    Page page = MakePage(c.protocol, c.capcode, c.function, c.type, c.received);
    page.errors = c.errors;
    page.corrected = 2;
    page.filter = c.filter;
    page.filterLabel = c.filter >= 0 ? "HOME\x1b" : "";
    nlohmann::json record = PageJson(page, "T");
    for (const auto& [key, value] : c.expected.items()) {
      EXPECT_EQ(record[key], value) << c.name << ": " << key;
    }
    EXPECT_EQ(record["time"], "T");
    EXPECT_EQ(record["rate"], 1200);
    EXPECT_EQ(record["corrected"], 2);
    // The line itself carries no raw control character.
    for (char ch : record.dump())
      EXPECT_GE(static_cast<unsigned char>(ch), 0x20) << c.name;
  }
}

TEST(PageRecordTest, TextBeyondThePageSizeIsNotKept) {
  Page page = MakePage(Protocol::kFlex, "0000100", 0, "alpha", std::string(2000, 'x'));
  nlohmann::json record = PageJson(page, "T");
  EXPECT_EQ(record["text"].get<std::string>().size(), std::size_t{Page::kTextSize});
  EXPECT_TRUE(record["filter"].is_null());
  EXPECT_FALSE(record.contains("station"));  // unknown: absent, not empty
  EXPECT_FALSE(record.contains("frequency"));
  page.station = "attic";
  page.frequency = 169650000;
  record = PageJson(page, "T");
  EXPECT_EQ(record["station"], "attic");
  EXPECT_EQ(record["frequency"], 169650000);
  // A length out of range is bounded wherever the record is read.
  for (int length : {-5, 1 << 20}) {
    page.textLength = length;
    RemoveFill(page);
    EXPECT_LE(page.Text().size(), std::size_t{Page::kTextSize});
  }
}

TEST(RenderRowTest, ColoursOnlyWhenAskedAndNeverRawControls) {
  const char text[] = "{1} \x1b\x07OK";
  const std::uint8_t classes[] = {2, 2, 2, 2, 7, 7, 10, 10, 0};
  EXPECT_EQ(RenderRow(text, classes, false), "{1} ..OK");
  EXPECT_EQ(RenderRow(text, classes, true), "\x1b[33m{1} \x1b[0m..\x1b[31mOK\x1b[0m");
}

}  // namespace
}  // namespace pagora::cli
