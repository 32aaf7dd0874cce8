// Edited settings reach the running engine in one place: each kind of change does its own
// step and nothing else, and what a confirmed dialog renews is renewed even when unchanged.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "engine_fixture.h"

namespace pagora::testing {
namespace {

void LogAndPanes(AppSettings& s) {
  s.logFileEnabled = 1;
  s.logFile = "first.log";
  s.pane1Size = 1000;
  s.pane2Size = 200;
  s.keepAlive[0] = {1, 24, 5};  // every hour, 5 minutes
}

struct ApplyCase {
  const char* name;
  std::function<void(AppSettings&)> edit;
  unsigned renew;
  bool logReopened;  // the log handle was replaced
  bool panesReplaced;
  bool inputChanged;
  bool keepAliveRearmed;
};

TEST(ApplySettings, EachChangeDoesItsOwnStep) {
  const ApplyCase cases[] = {
      {"nothing", [](AppSettings&) {}, kRenewNothing, false, false, false, false},
      {"log renamed", [](AppSettings& s) { s.logFile = "second.log"; }, kRenewNothing, true, false,
       false, false},
      {"log dialog confirmed unchanged", [](AppSettings&) {}, kRenewLogFile, true, false, false,
       false},
      {"log switched off", [](AppSettings& s) { s.logFileEnabled = 0; }, kRenewNothing, true, false,
       false, false},
      {"message pane resized", [](AppSettings& s) { s.pane1Size = 1500; }, kRenewNothing, false,
       true, false, false},
      {"keep-alive dialog confirmed unchanged", [](AppSettings&) {}, kRenewKeepAlive, false, false,
       false, true},
      {"keep-alive window changed", [](AppSettings& s) { s.keepAlive[0].timeout = 3; },
       kRenewNothing, false, false, false, true},
      {"serial port changed", [](AppSettings& s) { s.comPort = 2; }, kRenewNothing, false, false,
       true, false},
      {"audio file changed while the serial slicer is in use",
       [](AppSettings& s) { s.audioFile = "other.wav"; }, kRenewNothing, false, false, false,
       false},
      {"input switched to the sound card", [](AppSettings& s) { s.inputSource = kInputSoundCard; },
       kRenewNothing, false, false, true, false},
  };
  for (const ApplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchDirectory dir;
    Engine e(LogAndPanes);
    e.Start();
    std::FILE* logBefore = e.m.files.log;
    ASSERT_NE(logBefore, nullptr);
    e.m.keepAlive.alarmOn = 1;
    e.m.keepAlive.deadline = 1;
    const AppSettings previous = e.m.settings;
    c.edit(e.m.settings);

    SettingsApplied applied = e.m.ApplySettings(previous, c.renew);

    // A reopened handle may reuse the address; a reopen always closes and opens, so compare
    // what the engine holds with what the settings ask for as well.
    EXPECT_EQ(applied.panesReplaced, c.panesReplaced);
    EXPECT_EQ(applied.inputChanged, c.inputChanged);
    EXPECT_EQ(e.m.files.log != nullptr, e.m.settings.logFileEnabled != 0);
    if (!c.logReopened) {
      EXPECT_EQ(e.m.files.log, logBefore);
    }
    EXPECT_EQ(e.m.keepAlive.alarmOn, c.keepAliveRearmed ? 0 : 1);
    if (c.keepAliveRearmed) {
      EXPECT_GT(e.m.keepAlive.deadline, 1);
    }
    EXPECT_EQ(e.m.lines.messagePane.capacity, e.m.settings.pane1Size);
    EXPECT_EQ(e.m.lines.filterPane.capacity, e.m.settings.pane2Size);
  }
}

TEST(ApplySettings, ARenamedLogTakesTheNextPageAndTheOldFileKeepsWhatItHad) {
  ScratchDirectory dir;
  Engine e(LogAndPanes);
  e.Start();
  std::fputs("before\n", e.m.files.log);
  const AppSettings previous = e.m.settings;
  e.m.settings.logFile = "second.log";
  e.m.ApplySettings(previous);
  std::fputs("after\n", e.m.files.log);
  e.m.Destroy();
  EXPECT_EQ(ReadFile(dir.path() / "first.log"), "before\n");
  EXPECT_EQ(ReadFile(dir.path() / "second.log"), "after\n");
}

TEST(ApplySettings, ADecoderSwitchedOffForgetsItsReception) {
  Engine e;
  e.Start();
  e.m.recovery.pocsagWindow = 100;
  e.m.recovery.gscActive = 1;
  const AppSettings previous = e.m.settings;
  e.m.settings.decodePocsag = 0;
  e.m.settings.decodeGolay = 0;
  e.m.ApplySettings(previous);
  EXPECT_EQ(e.m.recovery.pocsagWindow, 0);
  EXPECT_EQ(e.m.recovery.gscActive, 0);
}

}  // namespace
}  // namespace pagora::testing
