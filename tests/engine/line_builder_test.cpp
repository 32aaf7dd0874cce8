// The line builder end to end: pages written as decoders write them, checked in the message
// pane's store, the log file, the capture handed to completion and the display updates.
#include <gtest/gtest.h>

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
using testing::WritePage;

class LineBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m.settings.timestamp = 0;
    m.settings.logFileEnabled = 1;
    m.Create();
    m.files.log = std::tmpfile();
    ASSERT_NE(m.files.log, nullptr);
  }
  void TearDown() override {
    if (m.files.log)
      std::fclose(m.files.log);
    m.files.log = nullptr;
  }
  std::string Log() { return FileContents(m.files.log); }
  PaneBuffer& Pane() { return m.lines.messagePane; }

  FakeHost host;
  Monitor m{host};
};

TEST_F(LineBuilderTest, LongPageWrapsIntoRowsButIsCapturedAndCompletedOnce) {
  const std::string header = "{0001234}";    // 9
  const std::string content(300 - 10, 'x');  // with the blank: 300 characters
  WritePage(m, header, content);

  std::vector<std::string> rows = PaneRows(Pane());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].size(), 132u);
  EXPECT_EQ(rows[1].size(), 132u);
  EXPECT_EQ(rows[2].size(), 36u);
  EXPECT_EQ(Log(), rows[0] + "\n" + rows[1] + "\n" + rows[2] + "\n");
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(host.pages[0].header, header);
  EXPECT_EQ(host.pages[0].content, content);
  EXPECT_EQ(host.pages[0].matchedFilter, -1);
  EXPECT_EQ(m.lines.capture.length, 0);
}

TEST_F(LineBuilderTest, ExactlyOneRowWrapsThenEndsAnEmptyRow) {
  WritePage(m, "[123456]", std::string(132 - 9, 'y'));
  EXPECT_EQ(PaneRows(Pane()), (std::vector<std::string>{"[123456] " + std::string(123, 'y'), ""}));
  EXPECT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(Log(), PaneRows(Pane())[0] + "\n\n");
}

TEST_F(LineBuilderTest, StoresBytesAsWrittenButLogsThemSevenBitWithControlsAsDots) {
  WritePage(m, "H", std::string("\xC1\x07\x9B[2J\x7F", 7));
  EXPECT_EQ(PaneRows(Pane())[0], std::string("H \xC1\x07\x9B[2J\x7F", 9));
  EXPECT_EQ(Log(), "H A..[2J.\n");  // DEL is a control character too
}

// A NUL received inside a page must not end the stored row: the row keeps its length and
// shows "." there; the page's capture keeps the byte as received.
TEST_F(LineBuilderTest, ReceivedNulDoesNotEndTheRow) {
  WritePage(m, "H", std::string("A\0B", 3));
  EXPECT_EQ(PaneRows(Pane())[0], "H A.B");
  EXPECT_EQ(Log(), "H A.B\n");
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(host.pages[0].content, std::string("A\0B", 3));
}

TEST_F(LineBuilderTest, SeparatorOncePerMinuteAndAgainAfterClear) {
  m.settings.timestamp = 1;
  host.SetTime(2024, 6, 5, 12, 34, 10);
  const std::string first = "--------------- 06/05/24 12:34:10 ---------------";
  WritePage(m, "A", "one");
  host.AdvanceSeconds(20);  // same minute
  WritePage(m, "B", "two");
  host.AdvanceSeconds(40);  // 12:35:10
  WritePage(m, "C", "three");
  const std::string second = "--------------- 06/05/24 12:35:10 ---------------";
  EXPECT_EQ(PaneRows(Pane()),
            (std::vector<std::string>{first, "A one", "B two", second, "C three"}));
  EXPECT_EQ(Log(), first + "\nA one\nB two\n" + second + "\nC three\n");
  EXPECT_EQ(testing::RowClasses(Pane(), 0), std::string(first.size(), kClassTimestamp));
  // Separators are not part of any page.
  ASSERT_EQ(host.pages.size(), 3u);
  EXPECT_EQ(host.pages[2].header, "C");

  ClearPane(m, Pane());
  WritePage(m, "D", "four");  // same minute as before the clear
  EXPECT_EQ(PaneRows(Pane()), (std::vector<std::string>{second, "D four"}));
}

TEST_F(LineBuilderTest, RejectedPageLeavesNoTraceAnywhere) {
  m.settings.timestamp = 1;
  m.settings.filters.push_back({kFilterPocsag, "0001234", 0, "", "", 0, 0, 1});
  m.keepAlive.hourTimeout[m.keepAlive.currentHour] = 5;
  FindCapcodeFilter(m, kFilterPocsag, "0001234", 1, 2);
  WritePage(m, "{0001234}", std::string(200, 'z'));
  EXPECT_EQ(Pane().currentRow, 0);
  EXPECT_EQ(Pane().currentColumn, 0);
  EXPECT_EQ(Log(), "");
  EXPECT_TRUE(host.pages.empty());
  EXPECT_EQ(m.lines.capture.length, 0);
  EXPECT_EQ(m.lines.capture.reject, 0);
  EXPECT_EQ(m.keepAlive.deadline, host.calendarSeconds + 5 * 60);  // a rejected page is traffic

  // The next page is untouched by it, and still gets the first separator.
  FindCapcodeFilter(m, kFilterPocsag, "0001235", 1, 2);
  WritePage(m, "{0001235}", "ok");
  EXPECT_EQ(PageRows(Pane()), (std::vector<std::string>{"{0001235} ok"}));
  EXPECT_EQ(PaneRows(Pane()).size(), 2u);
}

TEST_F(LineBuilderTest, FullStoreDropsTheOldestRowAndKeepsTheViewInPlace) {
  AllocatePaneStore(Pane(), 5);
  ClearPane(m, Pane());
  Pane().visibleRows = 10;  // the whole store fits: the view sits at the very top
  for (int i = 0; i < 7; ++i)
    WritePage(m, "R" + std::to_string(i), "");
  EXPECT_EQ(PaneRows(Pane()), (std::vector<std::string>{"R3 ", "R4 ", "R5 ", "R6 "}));
  EXPECT_EQ(Pane().currentRow, 4);
  EXPECT_EQ(Pane().topRow, -3);
  EXPECT_EQ(Pane().topRowLimit, 4 - 10);
  EXPECT_FALSE(host.rowEvents.back().followed);
  EXPECT_EQ(host.rowEvents.back().row, 3);
}

TEST_F(LineBuilderTest, PaneAtTheBottomFollowsNewRowsAlsoWhenFull) {
  AllocatePaneStore(Pane(), 6);
  ClearPane(m, Pane());
  Pane().visibleRows = 2;
  for (int i = 0; i < 4; ++i)
    WritePage(m, "R" + std::to_string(i), "");
  EXPECT_EQ(Pane().topRow, 2);
  EXPECT_TRUE(host.rowEvents.back().followed);
  Pane().topRow = 1;  // the user scrolls back by one row
  for (int i = 4; i < 9; ++i)
    WritePage(m, "R" + std::to_string(i), "");
  // R0..R3 were dropped; topRow moved with them, so the view still starts where R1 stood.
  EXPECT_EQ(Pane().topRow, 1 - 4);
  EXPECT_EQ(std::string(Pane().TextRow(Pane().topRow + 5)), "R6 ");
  EXPECT_FALSE(host.rowEvents.back().followed);
  Pane().topRow = Pane().topRowLimit;  // back to the bottom
  WritePage(m, "R9", "");
  EXPECT_TRUE(host.rowEvents.back().followed);
  EXPECT_EQ(Pane().topRow, Pane().topRowLimit);
  EXPECT_EQ(PaneRows(Pane()).back(), "R9 ");
}

TEST_F(LineBuilderTest, LogFlushCountdownArmsOncePerPageAndIsNotRestarted) {
  m.settings.logFileFlush = 1;
  m.settings.logFlushTime = 3;
  m.settings.timestamp = 1;
  BeginPage(m, Pane());  // a separator row alone arms nothing
  EXPECT_EQ(m.files.logFlushCountdown, 0);
  EndLine(m, Pane());
  EXPECT_EQ(m.files.logFlushCountdown, 100);
  m.files.logFlushCountdown = 20;
  WritePage(m, "A", std::string(300, 'a'));
  EXPECT_EQ(m.files.logFlushCountdown, 20);
}

// The capture keeps 1,031 characters; the rest still reaches the pane and the log.
TEST_F(LineBuilderTest, CaptureIsBoundedButPaneAndLogGetTheWholePage) {
  std::string content;
  for (int i = 0; i < 1500; ++i)
    content += static_cast<char>('a' + i % 26);
  WritePage(m, "H", content);
  std::string joined;
  for (const std::string& row : PaneRows(Pane()))
    joined += row;
  EXPECT_EQ(joined, "H " + content);
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(host.pages[0].content, content.substr(0, 1031 - 2));
  EXPECT_EQ(Log().size(), 1502u + PaneRows(Pane()).size());
}

// A decoder's diagnostic line ended outside a page is shown and logged, but never filtered
// against the previous page's header.
TEST_F(LineBuilderTest, LinesOutsideAPageAreNotCompleted) {
  m.settings.filters.push_back({kFilterFlexShort, "???????", 0, "ANY", "", 0, 0, 0});
  FindCapcodeFilter(m, kFilterFlexShort, "1234567", 0, 0);
  WritePage(m, "[1234567]", "page");
  ASSERT_EQ(PaneRows(m.lines.filterPane).size(), 1u);

  PaneBuffer& pane = Pane();
  SetColourClass(pane, kClassDiagnostic);
  EndLine(m, pane);
  PutText(m, pane, "UNKNOWN SYNC HEADER : ");
  PutText(m, pane, "0101");
  EndLine(m, pane);
  EXPECT_EQ(PaneRows(pane),
            (std::vector<std::string>{"[1234567] page", "", "UNKNOWN SYNC HEADER : 0101"}));
  EXPECT_EQ(Log(), "[1234567] page\n\nUNKNOWN SYNC HEADER : 0101\n");
  EXPECT_EQ(PaneRows(m.lines.filterPane).size(), 1u);
  EXPECT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(m.lines.capture.length, 0);
}

TEST_F(LineBuilderTest, PutTextWritesAtMost256Characters) {
  std::string text(300, 'q');
  BeginPage(m, Pane());
  PutText(m, Pane(), text.c_str());
  EndLine(m, Pane());
  ASSERT_EQ(host.pages.size(), 1u);
  EXPECT_EQ(host.pages[0].content.size(), 256u);  // marks at 0: everything is content
}

TEST_F(LineBuilderTest, PageInfoReachesTheCompletedPage) {
  SetPageInfo(m, Protocol::kPocsag, 1200, "00012345678901234", 3, "alpha");
  WritePage(m, "{0001234}", "hi");
  ASSERT_EQ(host.pages.size(), 1u);
  const Page& info = host.pages[0].info;
  EXPECT_EQ(info.protocol, Protocol::kPocsag);
  EXPECT_EQ(info.rate, 1200);
  EXPECT_STREQ(info.capcode.data(), "00012345678");  // cut to the field
  EXPECT_EQ(info.function, 3);
  EXPECT_STREQ(info.type, "alpha");
}

}  // namespace
}  // namespace pagora
