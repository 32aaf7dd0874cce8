// Real off-air recordings (when the collection is present): the pages pagora-decode finds in
// each, against what is known to be in them.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_test_support.h"
#include "config/settings.h"
#include "config/settings_file.h"

namespace pagora::testing {
namespace {

std::vector<nlohmann::json> DecodeRecording(const std::string& name, const std::string& options) {
  std::string path = std::string(PAGORA_RECORDINGS_DIR) + "/" + name;
  if (!std::filesystem::exists(path))
    return {};
  RunResult r = RunProgram(DecodePath() + " --json " + options + " " + path);
  EXPECT_EQ(r.status, 0) << name << ": " << r.err;
  return ParsePages(r.out);
}

nlohmann::json Page(const char* protocol, int rate, const char* capcode, int function,
                    const char* type, const std::string& text) {
  nlohmann::json page = {{"protocol", protocol}, {"rate", rate},     {"capcode", capcode},
                         {"type", type},         {"text", text},     {"errors", false},
                         {"corrected", 0},       {"filter", nullptr}};
  page["function"] = function ? nlohmann::json(function) : nlohmann::json(nullptr);
  return page;
}

bool Contains(const std::vector<nlohmann::json>& pages, const std::string& capcode,
              const std::string& text) {
  return std::any_of(pages.begin(), pages.end(), [&](const nlohmann::json& p) {
    return p["capcode"] == capcode && p["text"] == text;
  });
}

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(PAGORA_RECORDINGS_DIR))
      GTEST_SKIP() << "no recordings";
  }
};

TEST_F(RecordingTest, PocsagNetworkBroadcasts) {
  const std::string time = "+++TIME=0008300324+++TIME=0008300324";
  EXPECT_EQ(DecodeRecording("pocsag512-wikimedia.flac", ""),
            std::vector{Page("POCSAG", 512, "0273040", 4, "alpha", "512 B SIDE ZZZZZZ")});
  EXPECT_EQ(DecodeRecording("pocsag2400-wikimedia.flac", ""),
            std::vector{Page("POCSAG", 2400, "1022869", 2, "alpha", time)});
  std::vector<nlohmann::json> pages1200 = DecodeRecording("pocsag1200-wikimedia.wav", "");
  ASSERT_FALSE(pages1200.empty());
  EXPECT_EQ(pages1200[0], Page("POCSAG", 1200, "0273040", 4, "alpha", time));
  // Nothing is found with the wrong polarity.
  EXPECT_TRUE(DecodeRecording("pocsag512-wikimedia.flac", "--invert").empty());
}

TEST_F(RecordingTest, PocsagOffAirTestTransmitterNeedsInversion) {
  const std::string text = "This is a test of the pager. It should span a couple frames.";
  for (char address : std::string("012348")) {
    std::string name = std::string("pocsag1200-radiolib-offair-addr") + address + ".wav";
    std::string capcode = std::string("110000") + address;
    EXPECT_EQ(DecodeRecording(name, "--invert"),
              std::vector{Page("POCSAG", 1200, capcode.c_str(), 4, "alpha", text)})
        << name;
    EXPECT_TRUE(DecodeRecording(name, "").empty()) << name;
  }
}

TEST_F(RecordingTest, FlexEmergencyNetwork) {
  std::vector<nlohmann::json> pages = DecodeRecording("flex1600-2fsk-p2000-nl.flac", "");
  // 42 pages on the air; the seven long messages sent in two fragments each are joined.
  EXPECT_GE(pages.size(), 33u);
  EXPECT_TRUE(Contains(pages, "1120103", "test"));
  EXPECT_TRUE(Contains(pages, "1180000", "TESTOPROEP MOB"));
  EXPECT_TRUE(Contains(pages, "1123201", "B2 Eindhoven Rit: 105012"));
  EXPECT_TRUE(Contains(pages, "1400521",
                       "Test: Proefalarm Ochtend Brandweer Veiligheidsregio Rotterdam Rijnmond."));
  int joined = 0;
  for (const nlohmann::json& page : pages) {
    EXPECT_EQ(page["rate"], 1600);
    if (page.contains("fragments")) {
      ++joined;
      EXPECT_EQ(page["fragments"], 2);
      EXPECT_EQ(page["incomplete"], false);
      EXPECT_EQ(page["text"],
                "Test: Proefalarm Ochtend Brandweer Veiligheidsregio Rotterdam Rijnmond.");
    }
  }
  EXPECT_EQ(joined, 7);
  EXPECT_TRUE(Contains(pages, "1400141",
                       "Test: Proefalarm Ochtend Brandweer Veiligheidsregio Rotterdam Rijnmond."));
}

// The line layout other tools parse: mode, fragment flag, phase, cycle and frame as the network
// sent them (the same fields an independent decoder prints for this recording).
TEST_F(RecordingTest, FlexLinesCarryFragmentsCycleAndFrame) {
  std::string path = std::string(PAGORA_RECORDINGS_DIR) + "/flex1600-2fsk-p2000-nl.flac";
  RunResult r = RunProgram(DecodePath() + " --format multimon " + path);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* fields :
       {"|1600/2/F/A|00.012|001400141|ALN|Test: Proefalarm Ochtend Brandweer Veiligheidsregio "
        "Rotterdam Rij\n",
        "|1600/2/C/A|00.013|001400141|ALN|nmond.\n",
        "|1600/2/K/A|00.012|001180000|ALN|TESTOPROEP MOB\n",
        // Group calls: short instructions had told these pagers to take the temporary address.
        "|1600/2/K/A|00.040|002029572 001420033 001420999|ALN|A2 (DIA: ja) AMBU 17133 G v "
        "Voorneweg 3233TM Oostvoorne OTVOOR bon 125033\n",
        "|1600/2/K/A|00.044|002029583 001220499 001220653|ALN|A2 Wijk en Aalburg rit: 146226\n"}) {
    EXPECT_NE(r.out.find(fields), std::string::npos) << fields << "\n" << r.out;
  }
}

// A group call names its members in JSON, and a filter on a member fires for it.
TEST_F(RecordingTest, FlexGroupCallsNameTheirMembers) {
  AppSettings settings;
  FilterRecord member;
  member.type = kFilterFlexShort;
  member.capcode = "1220653";
  member.label = "STATION";
  settings.filters.push_back(member);
  std::string ini = TempPath("group.ini");
  ASSERT_TRUE(SaveSettings(settings, ini));
  std::vector<nlohmann::json> pages =
      DecodeRecording("flex1600-2fsk-p2000-nl.flac", "--ini " + ini);
  std::vector<nlohmann::json> groups;
  for (const nlohmann::json& page : pages) {
    if (page.contains("members"))
      groups.push_back(page);
  }
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0]["capcode"], "2029572");
  EXPECT_EQ(groups[0]["members"], nlohmann::json({"1420033", "1420999"}));
  EXPECT_TRUE(groups[0]["filter"].is_null());
  EXPECT_EQ(groups[1]["capcode"], "2029583");
  EXPECT_EQ(groups[1]["members"], nlohmann::json({"1220499", "1220653"}));
  EXPECT_EQ(groups[1]["filter"], "STATION");
}

TEST_F(RecordingTest, GscTestTransmissions) {
  std::vector<nlohmann::json> pages = DecodeRecording("gsc-600-capture.flac", "");
  EXPECT_GE(pages.size(), 12u);
  EXPECT_TRUE(
      Contains(pages, "616666",
               "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG"));
  for (const char* preamble : {"PREAMBLE0", "PREAMBLE1", "PREAMBLE5", "PREAMBLE9"}) {
    EXPECT_TRUE(std::any_of(pages.begin(), pages.end(), [&](const nlohmann::json& p) {
      std::string text = p["text"];
      return text.find(preamble) != std::string::npos;
    })) << preamble;
  }
}

}  // namespace
}  // namespace pagora::testing
