// pagora-decode end to end with its network outputs: pages rendered by pagora-gen, decoded, and
// received from the real broker as the same records the JSON lines carry.
#include <gtest/gtest.h>

#include <set>

#include <nlohmann/json.hpp>

#include "../config/temp_dir.h"
#include "broker.h"
#include "cli_test_support.h"

namespace pagora::testing {
namespace {

using namespace std::chrono_literals;

constexpr const char* kScenario = R"({"transmissions": [
 {"protocol": "POCSAG", "rate": 1200, "pages": [
   {"capcode": 1234567, "function": 4, "type": "alpha", "text": "Fire at 12 Main St"},
   {"capcode": 42, "function": 1, "type": "numeric", "text": "5551234"}]},
 {"protocol": "FLEX", "mode": "1600/2", "pages": [
   {"capcode": 1000, "type": "alpha", "text": "FLEX to MQTT"}]}
]})";

std::string Render(const std::string& name) {
  std::string wav = TempPath(name + ".wav");
  RenderScenario(kScenario, wav);
  return wav;
}

class DecodeNetTest : public pagora::testing::BrokerTest {};

TEST_F(DecodeNetTest, PagesReachTheBrokerAsTheirJsonRecordsWithTheStation) {
  std::string wav = Render("mqtt");
  Subscriber sub(broker_->port(), "t-decode");
  ASSERT_TRUE(sub.Subscribe("#"));
  RunResult run =
      RunProgram(DecodePath() + " --json --start-time 2024-06-03T12:00:00" +
                 " --station rx-north --mqtt-prefix radio --mqtt " + broker_->Url() + " " + wav);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  std::vector<nlohmann::json> lines = ParsePages(run.out, false);
  ASSERT_EQ(lines.size(), 3u);
  ASSERT_TRUE(
      sub.WaitFor([&](const auto&) { return sub.On("radio/rx-north/pages").size() >= 3; }, 10s));
  std::vector<Message> pages = sub.On("radio/rx-north/pages");
  ASSERT_EQ(pages.size(), 3u);
  std::set<std::string> ids;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    nlohmann::json page = nlohmann::json::parse(pages[i].payload);
    ids.insert(page["id"].get<std::string>());
    page.erase("id");
    EXPECT_EQ(lines[i]["station"], "rx-north");
    EXPECT_EQ(page, lines[i]);
  }
  EXPECT_EQ(ids.size(), 3u);
  std::vector<Message> status = sub.On("radio/rx-north/status");
  ASSERT_FALSE(status.empty());
  EXPECT_EQ(status.back().payload, "offline");  // a clean end says so itself
}

// The settings file's [MQTT] section does what --mqtt does; the password comes from a file.
TEST_F(DecodeNetTest, TheSettingsFileConfiguresTheOutput) {
  std::string wav = Render("ini");
  std::string ini = TempPath("net.ini");
  std::string password = TempPath("password");
  WriteFile(password, "not-checked\n");
  WriteFile(ini, "[Pagora]\nStation=from-ini\n\n[MQTT]\nEnabled=1\nHost=127.0.0.1\nPort=" +
                     std::to_string(broker_->port()) + "\nUser=pager\nPasswordFile=" + password +
                     "\n");
  Subscriber sub(broker_->port(), "t-ini");
  ASSERT_TRUE(sub.Subscribe("pagora/from-ini/pages"));
  RunResult run = RunProgram(DecodePath() + " --json --ini " + ini + " " + wav);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(sub.WaitFor([](const auto& m) { return m.size() >= 3; }, 10s));
}

// Pages that could not be delivered are reported and fail the run: a full queue (dropped) and
// the rest still waiting when the run ends with no broker there.
TEST_F(DecodeNetTest, LostPagesAreReportedAndFailTheRun) {
  std::string wav = Render("lost");
  broker_->Stop();
  RunResult run =
      RunProgram(DecodePath() + " --json --net-queue 1 --mqtt " + broker_->Url() + " " + wav);
  EXPECT_EQ(run.status, 3) << run.err;
  EXPECT_NE(run.err.find("pagora-decode: mqtt: queue full at 1 page(s): 2 page(s) dropped"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("2 dropped (queue full), 1 undelivered"), std::string::npos) << run.err;
  EXPECT_EQ(ParsePages(run.out).size(), 3u);  // the other outputs are not held up
}

TEST(DecodeNetOptions, BadNetworkOptionsAreUsageErrors) {
  struct Row {
    std::string options;
    const char* message;
  } rows[] = {
      {"--mqtt http://broker", "--mqtt: not an MQTT URL"},
      {"--mqtt mqtt://u:pw@broker", "no password in the URL"},
      {"--mqtt mqtt://broker --mqtt-password-file /nonexistent/pw", "cannot read /nonexistent/pw"},
      {"--pagermon http://pm:3000", "--pagermon needs --pagermon-key-file"},
      {"--pagermon pm:3000 --pagermon-key-file /dev/null", "not an http:// or https:// URL"},
  };
  for (const Row& row : rows) {
    RunResult run = RunProgram(DecodePath() + " " + row.options + " /dev/null");
    EXPECT_EQ(run.status, 2) << row.options << ": " << run.err;
    EXPECT_NE(run.err.find(row.message), std::string::npos) << row.options << ": " << run.err;
  }
}

}  // namespace
}  // namespace pagora::testing
