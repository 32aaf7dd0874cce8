// Filters end to end: pages written as the decoders write them, with the filter list, the
// filter pane, the filter file, the sound and the command checked together.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/filters.h"
#include "engine/monitor.h"
#include "fake_host.h"
#include "test_pages.h"

namespace pagora {
namespace {

using testing::FakeHost;
using testing::FileContents;
using testing::PageRows;
using testing::PaneRows;
using testing::RowClasses;
using testing::WritePage;

FilterRecord Filter(int type, std::string capcode, std::string text, std::string label = "",
                    int command = 0) {
  FilterRecord f;
  f.type = type;
  f.capcode = std::move(capcode);
  f.text = std::move(text);
  f.label = std::move(label);
  f.command = command;
  return f;
}

class FiltersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m.settings.timestamp = 0;
    m.settings.filterBeep = 1;
    m.settings.filterFileEnabled = 1;
    m.Create();
    m.files.filter = std::tmpfile();
    ASSERT_NE(m.files.filter, nullptr);
  }
  void TearDown() override {
    if (m.files.filter)
      std::fclose(m.files.filter);
    m.files.filter = nullptr;
  }
  // A POCSAG page through the filter lookup and the line builder.
  void Pocsag(const std::string& capcode, const std::string& content, int function = 1,
              int baud = 2) {
    FindCapcodeFilter(m, kFilterPocsag, capcode.c_str(), function, baud);
    WritePage(m, "{" + capcode + "} 12:00 " + std::to_string(function), content);
  }
  std::vector<std::string> Matched() { return PageRows(m.lines.filterPane); }

  FakeHost host;
  Monitor m{host};
};

TEST_F(FiltersTest, CapcodeFilterWithTextMatchesOnlyPagesContainingIt) {
  m.settings.filters = {Filter(kFilterPocsag, "0001234", "fire")};
  Pocsag("0001234", "FIRE ALARM");
  Pocsag("0001234", "ALL CLEAR");
  // A filter is for its own kind: the same digits on a FLEX page are not its capcode.
  FindCapcodeFilter(m, kFilterFlexShort, "0001234", 0, 0);
  WritePage(m, "[0001234] 12:00", "FIRE");
  ASSERT_EQ(Matched(), (std::vector<std::string>{"{0001234} 12:00 1 FIRE ALARM"}));
  EXPECT_EQ(RowClasses(m.lines.filterPane, 0),
            std::string(17, kClassFilterMatch) + std::string(1, kClassCapcode) +
                std::string(4, kClassFilterMatch) + std::string(6, kClassAlphanumeric));
  // The message pane keeps its own colours.
  EXPECT_EQ(RowClasses(m.lines.messagePane, 0).substr(0, 17), std::string(17, kClassCapcode));
  EXPECT_EQ(host.sounds, (std::vector<std::string>{"FILTER.WAV"}));
  EXPECT_EQ(host.pages.size(), 3u);
  EXPECT_EQ(host.pages[0].matchedFilter, 0);
  EXPECT_EQ(host.pages[1].matchedFilter, -1);
  EXPECT_EQ(host.pages[2].matchedFilter, -1);
}

// The header is drawn in the match colour, the label after it in its own; the filter file gets
// the row as shown.
TEST_F(FiltersTest, CapcodeFilterWithoutTextMatchesEveryPageAndHighlightsTheHeaderAndLabel) {
  m.settings.filters = {Filter(kFilterFlexShort, "1234567", "", "FIRE!")};
  const std::string header = "[1234567] 12:34:56 A";  // 20 characters
  for (const char* content : {"MSG", ""}) {
    FindCapcodeFilter(m, kFilterFlexShort, "1234567", 0, 0);
    WritePage(m, header, content);
  }
  EXPECT_EQ(Matched(), (std::vector<std::string>{header + " FIRE! MSG", header + " FIRE! "}));
  EXPECT_EQ(RowClasses(m.lines.filterPane, 0),
            std::string(20, kClassFilterMatch) + std::string(6, kClassFilterLabel) +
                std::string(1, kClassCapcode) + std::string(3, kClassAlphanumeric));
  EXPECT_EQ(FileContents(m.files.filter), header + " FIRE! MSG\n" + header + " FIRE! \n");
}

TEST_F(FiltersTest, TextFiltersSearchTheContentOnly) {
  m.settings.filters = {Filter(kFilterText, "", "1234567", "T")};
  Pocsag("1234567", "NOTHING");
  EXPECT_TRUE(Matched().empty());
  Pocsag("7654321", "CALL 1234567");
  EXPECT_EQ(Matched(), (std::vector<std::string>{"{7654321} 12:00 1 T CALL 1234567"}));
  // A text longer than what is left of the content cannot occur.
  m.settings.filters = {Filter(kFilterText, "", "CALL 12345678")};
  Pocsag("7654321", "CALL 1234567");
  EXPECT_EQ(Matched().size(), 1u);
}

TEST_F(FiltersTest, FirstMatchingFilterWinsWithItsLabelAndCommand) {
  m.settings.filterCmdFileEnabled = 1;
  m.settings.filterCmdFile = "/usr/bin/notify";
  m.settings.filterCmdArgs = "%l";
  m.settings.filters = {Filter(kFilterText, "", "ALARM", "FIRST", 0),
                        Filter(kFilterText, "", "FIRE", "SECOND", 1)};
  Pocsag("0000001", "FIRE ALARM");
  EXPECT_EQ(Matched(), (std::vector<std::string>{"{0000001} 12:00 1 FIRST FIRE ALARM"}));
  EXPECT_TRUE(host.commands.empty());
  m.settings.filters[0].command = 1;
  Pocsag("0000001", "FIRE ALARM");
  ASSERT_EQ(host.commands.size(), 1u);
  EXPECT_EQ(host.commands[0].second, (std::vector<std::string>{"FIRST"}));
  // A capcode filter that matched the header is the only one consulted for that page.
  m.settings.filters.insert(m.settings.filters.begin(), Filter(kFilterPocsag, "0000001", "X"));
  Pocsag("0000001", "FIRE ALARM");
  EXPECT_EQ(Matched().size(), 2u);
}

TEST(WildcardMatch, QuestionMarksMatchAnyCharacter) {
  struct Row {
    const char* candidate;
    const char* pattern;
    int n;
    bool match;
  };
  const Row rows[] = {
      {"0001234", "0001234", 7, true},     {"0001234", "00012??", 7, true},
      {"0001299", "00012??", 7, true},     {"0001334", "00012??", 7, false},
      {"0001334", "00012??", 4, true},     {"???????", "???????", 7, true},
      {"0001234", "???????", 7, true},     {"123", "???????", 7, false},
      {"0001234", "1", 0, true},           {"0001234", "1", -1, true},
      {"123456789", "12345678?", 9, true}, {"1234567]", "1234567", 7, true},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(WildcardMatch(r.candidate, r.pattern, r.n), r.match)
        << r.candidate << " " << r.pattern << " " << r.n;
  }
}

TEST_F(FiltersTest, FilterFileBreaksLinesEvery80CharactersAndGetsTheSeparator) {
  m.settings.timestamp = 1;
  m.settings.filters = {Filter(kFilterText, "", "ZZ")};
  std::string content = std::string(156, 'a') + "ZZ\x01\xC2" + std::string(6, 'b');
  WritePage(m, "HDR", content);  // 3 + 1 + 166 = 170 characters
  const std::string separator = "--------------- 06/05/24 12:34:56 ---------------";
  std::string page = "HDR " + content;
  for (char& c : page)
    c = FileCharacter(c);
  EXPECT_EQ(FileContents(m.files.filter), separator + "\n" + page.substr(0, 80) + "\n" +
                                              page.substr(80, 80) + "\n" + page.substr(160) + "\n");
  EXPECT_EQ(PaneRows(m.lines.filterPane).front(), separator);
  EXPECT_EQ(PageRows(m.lines.filterPane).size(), 2u);  // 170 characters wrap at 132 there too

  m.settings.filterFileEnabled = 0;
  WritePage(m, "HDR", "ZZ");
  EXPECT_EQ(FileContents(m.files.filter).size(), separator.size() + 1 + 170 + 3);
}

TEST_F(FiltersTest, MatchBeepsWithoutItsSoundAndArmsTheFlushCountdown) {
  m.settings.filterFileFlush = 1;
  m.settings.filterFlushTime = 2;
  m.settings.filters = {Filter(kFilterText, "", "X")};
  host.soundsPlay = false;
  WritePage(m, "H", "Y");
  EXPECT_EQ(m.files.filterFlushCountdown, 0);
  WritePage(m, "H", "X");
  EXPECT_EQ(host.beeps, 1);
  EXPECT_EQ(m.files.filterFlushCountdown, 50);
  m.settings.filterBeep = 0;
  WritePage(m, "H", "X");
  EXPECT_EQ(host.beeps, 1);
  EXPECT_EQ(host.sounds.size(), 1u);
}

TEST(ExpandCommandArguments, SplitsWordsBeforeSubstituting) {
  struct Row {
    const char* name;
    const char* argumentTemplate;
    std::vector<std::string> args;
  };
  const std::string header = "{0001234} 12:00 1";
  const Row rows[] = {
      {"header and message", "%c %m", {header, "CALL 555"}},
      {"upper case", "%C %L %M", {header, "FIRE", "CALL 555"}},
      {"inside a word", "--label=%l --text=%M", {"--label=FIRE", "--text=CALL 555"}},
      {"lone trailing percent", "%m %", {"CALL 555", "%"}},
      {"percent before other", "%x 50% %%m", {"%x", "50%", "%CALL 555"}},
      {"quoted word", "\"a b\" c \"\" d\"%l x\"", {"a b", "c", "", "dFIRE x"}},
      {"blank runs and tabs", "  a\t\tb  ", {"a", "b"}},
      {"unclosed quote", "\"a %m", {"a CALL 555"}},
      {"empty", "", {}},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(ExpandCommandArguments(r.argumentTemplate, header, "FIRE", "CALL 555"), r.args)
        << r.name;
  }
  // Whatever the page says stays inside its one argument.
  EXPECT_EQ(ExpandCommandArguments("-m %m", "", "", "a \"b\" c; $(reboot)"),
            (std::vector<std::string>{"-m", "a \"b\" c; $(reboot)"}));
}

TEST(LimitCommandArguments, CutsTheJoinedArgumentText) {
  struct Row {
    std::vector<std::string> args;
    int budget;
    std::vector<std::string> kept;
  };
  const Row rows[] = {
      {{"abc", "def"}, 7, {"abc", "def"}},
      {{"abc", "def"}, 6, {"abc", "de"}},
      {{"abc", "def"}, 4, {"abc"}},
      {{"abc", "def"}, 3, {"abc"}},
      {{"abcdef"}, 2, {"ab"}},
      {{"abc"}, 0, {}},
      {{"abc"}, -5, {}},
      {{"", "x"}, 2, {"", "x"}},
  };
  for (const Row& r : rows) {
    std::vector<std::string> args = r.args;
    LimitCommandArguments(args, r.budget);
    EXPECT_EQ(args, r.kept) << r.budget;
  }
}

TEST_F(FiltersTest, CommandGetsTheExpandedPageWithinTheLengthLimit) {
  m.settings.filterCmdFileEnabled = 1;
  m.settings.filterCmdArgs = "%c %m";
  m.settings.filterCmdFile = "/opt/pager/alert";
  m.settings.filters = {Filter(kFilterPocsag, "0001234", "", "L", 1)};
  Pocsag("0001234", "\"; rm -rf ~ \x1b[2J");
  ASSERT_EQ(host.commands.size(), 1u);
  EXPECT_EQ(host.commands[0].first, "/opt/pager/alert");
  EXPECT_EQ(host.commands[0].second,
            (std::vector<std::string>{"{0001234} 12:00 1", "\"; rm -rf ~ .[2J"}));

  // Program, blank and arguments together take at most 120 characters.
  m.settings.filterCmdFile = "/" + std::string(99, 'p');
  Pocsag("0001234", std::string(50, 'x'));
  ASSERT_EQ(host.commands.size(), 2u);
  EXPECT_EQ(host.commands[1].second, (std::vector<std::string>{"{0001234} 12:00 1", "x"}));

  // Disabled, no program, or a filter without the command flag: nothing is started.
  m.settings.filterCmdFile.clear();
  Pocsag("0001234", "x");
  m.settings.filterCmdFile = "/bin/true";
  m.settings.filters[0].command = 0;
  Pocsag("0001234", "x");
  m.settings.filters[0].command = 1;
  m.settings.filterCmdFileEnabled = 0;
  Pocsag("0001234", "x");
  EXPECT_EQ(host.commands.size(), 2u);
}

}  // namespace
}  // namespace pagora
