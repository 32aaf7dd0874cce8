// Pages as people read them, end to end through pagora-gen and pagora-decode: text in the ISO 646
// national variants, FLEX group calls with their members, and long messages joined from their
// fragments.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_test_support.h"
#include "config/settings.h"
#include "config/settings_file.h"
#include "output/charset.h"

namespace pagora::testing {
namespace {

std::string Render(const std::string& name, const std::string& scenario, const std::string& options,
                   std::vector<nlohmann::json>& expected) {
  std::string wav = TempPath(name + ".wav");
  expected = RenderScenario(scenario, wav, options);
  return wav;
}

// Each variant's twelve letters go on the air as their 7-bit codes and come back as the same
// letters, in POCSAG and FLEX alike.
class NationalVariantTest : public ::testing::TestWithParam<CharsetInfo> {};

TEST_P(NationalVariantTest, LettersRoundTrip) {
  const CharsetInfo& info = GetParam();
  std::string letters;
  for (char32_t c : info.letters)
    AppendUtf8(letters, c);
  nlohmann::json text = "Text " + letters + " end";
  std::string scenario = R"([{"protocol": "POCSAG", "rate": 1200, "pages": [
      {"capcode": 1234567, "type": "alpha", "text": )" +
                         text.dump() + R"(}]}, {"protocol": "FLEX", "pages": [
      {"capcode": 123456, "type": "alpha", "text": )" +
                         text.dump() + "}]}]";
  std::vector<nlohmann::json> expected;
  std::string wav = Render(std::string("variant_") + info.name, scenario,
                           std::string("--charset ") + info.name, expected);
  ASSERT_EQ(expected.size(), 2u);
  for (const nlohmann::json& page : expected)
    EXPECT_EQ(page["text"], text);

  RunResult decode =
      RunProgram(DecodePath() + " --json --charset " + std::string(info.name) + " " + wav);
  ASSERT_EQ(decode.status, 0) << decode.err;
  EXPECT_EQ(ParsePages(decode.out), expected);
}

INSTANTIATE_TEST_SUITE_P(AllSets, NationalVariantTest, ::testing::ValuesIn(Charsets()),
                         [](const auto& param) { return std::string(param.param.name); });

constexpr const char* kGermanScenario = R"({"charset": "german", "transmissions": [
  {"protocol": "FLEX", "pages": [{"capcode": 123456, "type": "alpha", "text": "Kölner Straße"},
                                 {"capcode": 654321, "type": "numeric", "text": "12-3"}]},
  {"protocol": "POCSAG", "rate": 1200, "pages": [
     {"capcode": 1234567, "type": "alpha", "text": "Kölner Straße"}]}]})";

// "Kölner Straße" goes on the air as "K|lner Stra~e" and reads back in the pane, the log, the
// filter file and JSON; a filter typed as "KÖLN" matches it. Without a variant nothing changes:
// the text is shown as received, 7-bit in every file.
TEST(NationalTextTest, GermanPageInPaneLogFilterFileAndJson) {
  std::vector<nlohmann::json> expected;
  std::string wav = Render("german", kGermanScenario, "", expected);
  ASSERT_EQ(expected.size(), 3u);
  EXPECT_EQ(expected[0]["text"], "Kölner Straße");
  EXPECT_EQ(expected[1]["text"], "12-3");

  AppSettings settings;
  settings.logFileEnabled = 1;
  settings.logFile = TempPath("german.log");
  settings.filterFileEnabled = 1;
  settings.filterFile = TempPath("german.flt");
  FilterRecord filter;
  filter.type = kFilterText;
  filter.text = "KÖLN";
  filter.label = "Köln";
  settings.filters.push_back(filter);
  settings.charset = "german";
  std::string ini = TempPath("german.ini");
  ASSERT_TRUE(SaveSettings(settings, ini));

  RunResult pane = RunProgram(DecodePath() + " --ini " + ini + " " + wav);
  ASSERT_EQ(pane.status, 0) << pane.err;
  EXPECT_NE(pane.out.find("ALPHA  Kölner Straße\n"), std::string::npos) << pane.out;
  EXPECT_NE(pane.out.find("12-3"), std::string::npos) << pane.out;
  std::string log = ReadFile(settings.logFile);
  EXPECT_NE(log.find("ALPHA  Kölner Straße\n"), std::string::npos) << log;
  std::string filtered = ReadFile(settings.filterFile);
  EXPECT_NE(filtered.find(" Köln Kölner Straße"), std::string::npos) << filtered;

  RunResult json = RunProgram(DecodePath() + " --json --ini " + ini + " " + wav);
  ASSERT_EQ(json.status, 0) << json.err;
  std::vector<nlohmann::json> pages = ParsePages(json.out);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0]["text"], "Kölner Straße");
  EXPECT_EQ(pages[0]["filter"], "Köln");
  EXPECT_EQ(pages[1]["text"], "12-3");
  EXPECT_TRUE(pages[1]["filter"].is_null());
  EXPECT_EQ(pages[2]["filter"], "Köln");

  RunResult lines = RunProgram(DecodePath() + " --format multimon --charset german " + wav);
  EXPECT_NE(lines.out.find("|ALN|Kölner Straße\n"), std::string::npos) << lines.out;
  EXPECT_NE(lines.out.find("Alpha:   Kölner Straße"), std::string::npos) << lines.out;

  AppSettings ascii;
  ascii.logFileEnabled = 1;
  ascii.logFile = TempPath("german_ascii.log");
  ASSERT_TRUE(SaveSettings(ascii, ini));
  pane = RunProgram(DecodePath() + " --ini " + ini + " " + wav);
  EXPECT_NE(pane.out.find("ALPHA  K|lner Stra~e\n"), std::string::npos) << pane.out;
  EXPECT_NE(ReadFile(ascii.logFile).find("ALPHA  K|lner Stra~e\n"), std::string::npos);
  json = RunProgram(DecodePath() + " --json " + wav);
  ASSERT_EQ(ParsePages(json.out).size(), 3u);
  EXPECT_EQ(ParsePages(json.out)[0]["text"], "K|lner Stra~e");
}

TEST(NationalTextTest, UnknownCharsetIsAUsageError) {
  RunResult r = RunProgram(DecodePath() + " --charset klingon --json -");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("german"), std::string::npos) << r.err;
}

// Short instructions assign two pagers to a temporary address for frame 12; the call in frame
// 12 lists them. Messages in two and three fragments are joined; one whose last part never
// comes is passed on marked incomplete; an assignment for another frame is not taken.
constexpr const char* kGroupScenario = R"({"transmissions": [
 {"protocol": "FLEX", "frame": 10, "pages": [
   {"capcode": 1420033, "type": "instruction", "group": 2029572, "frame": 12},
   {"capcode": 1420999, "type": "instruction", "group": 2029572, "frame": 12},
   {"capcode": 1500000, "type": "instruction", "group": 2029583, "frame": 13},
   {"capcode": 1400141, "type": "alpha", "part": "first",
    "text": "Test: Proefalarm Ochtend Brandweer Veiligheidsregio Rotterdam Rij"}]},
 {"protocol": "FLEX", "frame": 11, "pages": [
   {"capcode": 1400141, "type": "alpha", "part": "last", "text": "nmond."},
   {"capcode": 1400200, "type": "alpha", "part": "first", "text": "Lost continuation "}]},
 {"protocol": "FLEX", "frame": 12, "pages": [
   {"capcode": 2029572, "type": "alpha", "text": "A2 AMBU 17133"},
   {"capcode": 2029583, "type": "alpha", "text": "not in frame 13"},
   {"capcode": 1400300, "type": "alpha", "part": "first", "text": "one "}]},
 {"protocol": "FLEX", "frame": 13, "pages": [
   {"capcode": 1400300, "type": "alpha", "part": "more", "text": "two "}]},
 {"protocol": "FLEX", "frame": 14, "pages": [
   {"capcode": 1400300, "type": "alpha", "part": "last", "text": "three"}]}]})";

TEST(GroupCallTest, MembersJoinedFragmentsAndMemberFilters) {
  std::vector<nlohmann::json> expected;
  std::string wav = Render("group", kGroupScenario, "", expected);
  ASSERT_EQ(expected.size(), 5u);
  EXPECT_EQ(expected[0]["fragments"], 2);
  EXPECT_EQ(expected[0]["text"],
            "Test: Proefalarm Ochtend Brandweer Veiligheidsregio Rotterdam Rijnmond.");
  EXPECT_EQ(expected[1]["members"], nlohmann::json({"1420033", "1420999"}));
  EXPECT_FALSE(expected[2].contains("members"));
  EXPECT_EQ(expected[3]["text"], "one two three");
  EXPECT_EQ(expected[3]["fragments"], 3);
  EXPECT_EQ(expected[4]["text"], "Lost continuation ");
  EXPECT_EQ(expected[4]["incomplete"], true);

  RunResult decode = RunProgram(DecodePath() + " --json " + wav);
  ASSERT_EQ(decode.status, 0) << decode.err;
  EXPECT_EQ(ParsePages(decode.out), expected);

  // The panes keep one row per fragment, and the members follow the group call's row.
  RunResult pane = RunProgram(DecodePath() + " " + wav);
  EXPECT_NE(pane.out.find("ALPHA  nmond.\n"), std::string::npos) << pane.out;
  EXPECT_NE(pane.out.find("A2 AMBU 17133\n  group call to 1420033 1420999\n"), std::string::npos)
      << pane.out;

  // A filter on a member's capcode fires for the group call: its label and the filter file.
  AppSettings settings;
  FilterRecord member;
  member.type = kFilterFlexShort;
  member.capcode = "1420999";
  member.label = "CREW";
  settings.filters.push_back(member);
  settings.filterFileEnabled = 1;
  settings.filterFile = TempPath("group_filter.flt");
  std::string ini = TempPath("group_filter.ini");
  ASSERT_TRUE(SaveSettings(settings, ini));

  decode = RunProgram(DecodePath() + " --json --ini " + ini + " " + wav);
  ASSERT_EQ(decode.status, 0) << decode.err;
  std::vector<nlohmann::json> pages = ParsePages(decode.out);
  ASSERT_EQ(pages.size(), expected.size());
  for (const nlohmann::json& page : pages) {
    if (page.contains("members")) {
      EXPECT_EQ(page["filter"], "CREW");
    } else {
      EXPECT_TRUE(page["filter"].is_null()) << page;
    }
  }
  EXPECT_NE(ReadFile(settings.filterFile).find("[2029572]"), std::string::npos);
}

}  // namespace
}  // namespace pagora::testing
