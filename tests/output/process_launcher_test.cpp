// Started commands: a real program gets every argument as one literal argv entry, hostile page
// text included, is detached (no child of ours remains), and a non-executable file goes to the
// desktop opener.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/filters.h"
#include "engine/monitor.h"
#include "fake_host.h"
#include "output/process_launcher.h"
#include "test_pages.h"

namespace pagora {
namespace {

namespace fs = std::filesystem;

class ProcessLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pagora-launch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    out = dir / "argv.txt";
  }
  void TearDown() override { fs::remove_all(dir); }

  // A script that writes its arguments, one a line, then renames the file into place so that
  // the test never reads it half written.
  fs::path WriteRecorder(const std::string& name, bool executable = true) {
    fs::path script = dir / name;
    std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > '" << out.string()
                          << ".part'\nmv '" << out.string() << ".part' '" << out.string() << "'\n";
    chmod(script.c_str(), executable ? 0755 : 0644);
    return script;
  }

  // The recorded argv (argv[0] first), waiting up to ten seconds for the started program.
  std::vector<std::string> RecordedArgs() {
    for (int i = 0; i < 1000 && !fs::exists(out); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::ifstream in(out);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
      lines.push_back(line);
    return lines;
  }

  fs::path dir;
  fs::path out;
};

TEST_F(ProcessLauncherTest, EveryArgumentArrivesLiterally) {
  fs::path script = WriteRecorder("record.sh");
  const std::vector<std::string> args = {"\"; rm -rf ~", "$(reboot)", "`id`", "a b", "*", "",
                                         "'x'",          "%m"};
  ASSERT_TRUE(StartDetachedProcess(script.string(), args));
  std::vector<std::string> expected{script.string()};
  expected.insert(expected.end(), args.begin(), args.end());
  EXPECT_EQ(RecordedArgs(), expected);
  // Detached: the middle process was reaped and the command is not our child.
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(ProcessLauncherTest, MissingProgramsStartNothing) {
  EXPECT_FALSE(StartDetachedProcess((dir / "absent").string(), {}));
  EXPECT_FALSE(StartDetachedProcess("pagora-no-such-program-anywhere", {}));
  EXPECT_FALSE(StartDetachedProcess("", {"x"}));
}

TEST_F(ProcessLauncherTest, DocumentsAreOpenedWithTheDesktopOpener) {
  fs::path bin = dir / "bin";
  fs::create_directory(bin);
  WriteRecorder("bin/xdg-open");
  fs::path document = WriteRecorder("notes.txt", /*executable=*/false);
  std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", (bin.string() + ":" + savedPath).c_str(), 1);
  bool started = StartDetachedProcess(document.string(), {"one two"});
  setenv("PATH", savedPath.c_str(), 1);
  ASSERT_TRUE(started);
  EXPECT_EQ(RecordedArgs(),
            (std::vector<std::string>{(bin / "xdg-open").string(), document.string(), "one two"}));
}

// The whole road: a received page matches a filter whose command is a real program, and the
// page text reaches it as one argument.
class LaunchingHost : public testing::FakeHost {
 public:
  void StartCommand(const std::string& program, const std::vector<std::string>& args) override {
    FakeHost::StartCommand(program, args);
    started = StartDetachedProcess(program, args);
  }
  bool started = false;
};

TEST_F(ProcessLauncherTest, HostilePageTextReachesTheFilterCommandAsOneArgument) {
  LaunchingHost host;
  Monitor m{host};
  m.settings.timestamp = 0;
  m.settings.filterCmdFileEnabled = 1;
  m.settings.filterCmdFile = WriteRecorder("on-page.sh").string();
  m.settings.filterCmdArgs = "--page %m";
  FilterRecord f;
  f.type = kFilterText;
  f.text = "rm";
  f.command = 1;
  m.settings.filters = {f};
  m.Create();
  testing::WritePage(m, "{0001234} 12:00 1", "\"; rm -rf ~ $(reboot)");
  ASSERT_TRUE(host.started);
  EXPECT_EQ(RecordedArgs(), (std::vector<std::string>{m.settings.filterCmdFile, "--page",
                                                      "\"; rm -rf ~ $(reboot)"}));
}

// A flood of commands: two run at once, one more waits, the rest are dropped and counted; the
// waiting one starts when a place frees up.
TEST_F(ProcessLauncherTest, CommandRunnerBoundsRunningAndWaitingCommands) {
  CommandRunner runner(2, 1);
  using R = CommandRunner::Result;
  std::vector<R> results;
  for (int i = 0; i < 5; ++i)
    results.push_back(runner.Submit("sleep", {"0.3"}));
  EXPECT_EQ(results,
            (std::vector<R>{R::kStarted, R::kStarted, R::kQueued, R::kDropped, R::kDropped}));
  EXPECT_EQ(runner.running(), 2);
  EXPECT_EQ(runner.queued(), 1u);
  EXPECT_EQ(runner.dropped(), 2);
  for (int i = 0; i < 1000 && (runner.queued() > 0 || runner.running() > 0); ++i) {
    EXPECT_TRUE(runner.Poll().empty());
    EXPECT_LE(runner.running(), 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(runner.queued(), 0u);
  EXPECT_EQ(runner.running(), 0);
  EXPECT_EQ(runner.Submit(dir.string() + "/missing", {}), R::kFailed);
}

}  // namespace
}  // namespace pagora
