// The JSON page record and terminal rows built from the engine's page capture and pane rows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cli/page_output.h"

namespace pagora::cli {
namespace {

PageCapture MakeCapture(const std::string& header, const std::string& content,
                        std::uint8_t contentClass) {
  PageCapture capture;
  std::string all = header + content;
  std::memcpy(capture.text.data(), all.data(), all.size());
  for (std::size_t i = 0; i < all.size(); ++i) {
    capture.classes[i] = i < header.size() ? std::uint8_t{kClassCapcode} : contentClass;
  }
  capture.length = static_cast<int>(all.size());
  capture.textStart = static_cast<int>(header.size());
  return capture;
}

TEST(PageRecordTest, FieldsFromTheCapture) {
  struct Case {
    const char* name;
    Protocol protocol;
    const char* capcode;
    int function;
    std::uint8_t contentClass;
    std::string content;
    int filter;
    nlohmann::json expected;
  };
  AppSettings settings;
  FilterRecord filter;
  filter.label = "HOME\x1b";
  settings.filters.push_back(filter);
  const Case cases[] = {
      {"plain",
       Protocol::kPocsag,
       "1234567",
       4,
       kClassAlphanumeric,
       "HELLO",
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
       kClassNumeric,
       "123",
       -1,
       {{"protocol", "POCSAG"},
        {"capcode", nullptr},
        {"function", nullptr},
        {"text", "123"},
        {"errors", false},
        {"filter", nullptr}}},
      {"bit errors",
       Protocol::kFlex,
       "0123456",
       0,
       kClassBitErrors,
       "AB",
       0,
       {{"protocol", "FLEX"},
        {"capcode", "0123456"},
        {"function", nullptr},
        {"text", "AB"},
        {"errors", true},
        {"filter", "HOME."}}},
      {"controls and high bytes",
       Protocol::kGsc,
       "123456",
       1,
       kClassAlphanumeric,
       "a\x1b[1m\x07\xc1\x9b",
       -1,
       {{"protocol", "GSC"},
        {"capcode", "123456"},
        {"function", 1},
        {"text", "a.[1m.A."},
        {"errors", false},
        {"filter", nullptr}}},
  };
  for (const Case& c : cases) {
    PageCapture capture = MakeCapture("{HEADER} ", c.content, c.contentClass);
    capture.info.protocol = c.protocol;
    capture.info.rate = 1200;
    std::strncpy(capture.info.capcode.data(), c.capcode, capture.info.capcode.size() - 1);
    capture.info.function = c.function;
    capture.info.type = "alpha";
    nlohmann::json record = PageRecord(capture, c.filter, settings, "T");
    for (const auto& [key, value] : c.expected.items()) {
      EXPECT_EQ(record[key], value) << c.name << ": " << key;
    }
    EXPECT_EQ(record["time"], "T");
    EXPECT_EQ(record["rate"], 1200);
  }
}

TEST(PageRecordTest, ALengthPastTheCaptureIsBounded) {
  PageCapture capture = MakeCapture("", std::string(100, 'x'), kClassAlphanumeric);
  capture.length = 1 << 20;
  capture.textStart = -5;
  nlohmann::json record = PageRecord(capture, 99, AppSettings{}, "T");
  EXPECT_EQ(record["text"].get<std::string>().size(), PageCapture::kSize - 1u);
  EXPECT_TRUE(record["filter"].is_null());
}

TEST(RenderRowTest, ColoursOnlyWhenAskedAndNeverRawControls) {
  const char text[] = "{1} \x1b\x07OK";
  const std::uint8_t classes[] = {2, 2, 2, 2, 7, 7, 10, 10, 0};
  EXPECT_EQ(RenderRow(text, classes, false), "{1} ..OK");
  EXPECT_EQ(RenderRow(text, classes, true), "\x1b[33m{1} \x1b[0m..\x1b[31mOK\x1b[0m");
}

}  // namespace
}  // namespace pagora::cli
