// Pages off the air through the filters: POCSAG pages rendered by the generator, decoded by the
// engine, and checked in the filter pane, the filter file, the log and the started commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/monitor.h"
#include "fake_host.h"
#include "pocsag/pocsag_decoder.h"
#include "pocsag_encoder.h"
#include "test_pages.h"

namespace pagora {
namespace {

using gen::PocsagPage;
using gen::PocsagPageType;
using testing::FileContents;
using testing::PageRows;

class FiltersEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    m.settings.timestamp = 0;
    m.settings.logFileEnabled = 1;
    m.settings.filterFileEnabled = 1;
    m.settings.filterCmdFileEnabled = 1;
    m.settings.filterCmdFile = "/usr/local/bin/page-alert";
    m.settings.filterCmdArgs = "--who \"%l\" --page %m";
    m.Create();
    m.recovery.rateIndex = 4;  // locked to 1200 bit/s, as the drain would be
    m.files.log = std::tmpfile();
    m.files.filter = std::tmpfile();
  }
  void TearDown() override {
    std::fclose(m.files.log);
    std::fclose(m.files.filter);
    m.files.log = m.files.filter = nullptr;
  }
  void Receive(const std::vector<PocsagPage>& pages) {
    for (std::uint8_t bit : gen::EncodePocsag(pages).bits) {
      PocsagReceiveBit(m.Pocsag(), bit != 0 ? '1' : '0');
    }
  }

  testing::FakeHost host;
  Monitor m{host};
};

TEST_F(FiltersEndToEnd, ReceivedPagesAreFilteredRejectedAndPassedToTheCommand) {
  FilterRecord fire;
  fire.type = kFilterPocsag;
  fire.capcode = "0100003";
  fire.text = "fire";
  fire.label = "STATION 1";
  fire.command = 1;
  FilterRecord quiet;
  quiet.type = kFilterPocsag;
  quiet.capcode = "00012??";
  quiet.function = 4;
  quiet.baud = 2;  // 1200 bit/s
  quiet.reject = 1;
  m.settings.filters = {fire, quiet};

  const std::string hostile = "FIRE; $(reboot) `id` \"x\"";
  Receive({{100003, 3, PocsagPageType::kAlphanumeric, hostile},
           {1234, 3, PocsagPageType::kAlphanumeric, "NOT FOR YOU"},
           {100003, 3, PocsagPageType::kAlphanumeric, "ALL CLEAR"},
           {1299, 2, PocsagPageType::kAlphanumeric, "OTHER FUNCTION"}});

  std::vector<std::string> shown = PageRows(m.lines.messagePane);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].substr(0, 26), "{0100003} 12:34:56 4 1200 ");
  EXPECT_EQ(shown[1].substr(26, 9), "ALL CLEAR");
  EXPECT_EQ(shown[2].substr(0, 21), "{0001299} 12:34:56 3 ");
  EXPECT_EQ(FileContents(m.files.log).find("NOT FOR YOU"), std::string::npos);

  // Only the page with the word reaches the filter pane, with the label after the header.
  std::vector<std::string> matched = PageRows(m.lines.filterPane);
  ASSERT_EQ(matched.size(), 1u);
  EXPECT_EQ(matched[0].substr(0, 41), "{0100003} 12:34:56 4 1200 STATION 1 FIRE;");
  std::string file = FileContents(m.files.filter);
  EXPECT_EQ(file.substr(0, 41), "{0100003} 12:34:56 4 1200 STATION 1 FIRE;");
  EXPECT_EQ(file.back(), '\n');

  ASSERT_EQ(host.commands.size(), 1u);
  const std::vector<std::string>& args = host.commands[0].second;
  ASSERT_EQ(args.size(), 4u);
  EXPECT_EQ(args[0], "--who");
  EXPECT_EQ(args[1], "STATION 1");
  EXPECT_EQ(args[2], "--page");
  // The page as received, with the fill that ends its last codeword shown as ".".
  EXPECT_EQ(args[3].substr(0, hostile.size()), hostile);
  EXPECT_EQ(args[3].find_first_not_of('.', hostile.size()), std::string::npos);

  ASSERT_EQ(host.pages.size(), 3u);
  EXPECT_EQ(host.pages[0].matchedFilter, 0);
  EXPECT_EQ(host.pages[1].matchedFilter, -1);  // capcode matched, text did not
  EXPECT_EQ(host.pages[2].matchedFilter, -1);
}

// Networks repeat pages: within the repeat window an exact repeat is shown and logged again
// but alerts once; a page that differs in any of protocol, capcode, function or text is new.
TEST_F(FiltersEndToEnd, RepeatsWithinTheWindowAlertOnce) {
  FilterRecord fire;
  fire.type = kFilterPocsag;
  fire.capcode = "0100003";
  fire.label = "STATION 1";
  fire.command = 1;
  m.settings.filters = {fire};
  m.settings.dedupSeconds = 60;

  struct Step {
    int advanceSeconds;
    PocsagPage page;
    bool repeat;
  };
  const Step steps[] = {
      {0, {100003, 3, PocsagPageType::kAlphanumeric, "FIRE MAIN ST"}, false},
      {20, {100003, 3, PocsagPageType::kAlphanumeric, "FIRE MAIN ST"}, true},
      {20, {100003, 3, PocsagPageType::kAlphanumeric, "FIRE MAIN ST"}, true},
      {5, {100003, 2, PocsagPageType::kAlphanumeric, "FIRE MAIN ST"}, false},    // function
      {5, {100003, 3, PocsagPageType::kAlphanumeric, "FIRE MAIN ST."}, false},   // text
      {61, {100003, 3, PocsagPageType::kAlphanumeric, "FIRE MAIN ST."}, false},  // window past
  };
  for (const Step& step : steps) {
    host.AdvanceSeconds(step.advanceSeconds);
    Receive({step.page});
  }
  ASSERT_EQ(host.pages.size(), std::size(steps));
  for (std::size_t i = 0; i < std::size(steps); ++i)
    EXPECT_EQ(host.pages[i].info.repeat, steps[i].repeat) << i;
  EXPECT_EQ(PageRows(m.lines.messagePane).size(), std::size(steps));
  EXPECT_EQ(PageRows(m.lines.filterPane).size(), std::size(steps));  // shown every time
  EXPECT_EQ(host.commands.size(), 4u);                               // alerts once each
  std::string file = FileContents(m.files.filter);
  std::size_t written = 0;
  for (std::size_t at = file.find("FIRE MAIN ST"); at != std::string::npos;
       at = file.find("FIRE MAIN ST", at + 1))
    ++written;
  EXPECT_EQ(written, 4u);
}

}  // namespace
}  // namespace pagora
