// pagora-decode left to run unattended: outputs that fail are reported and make the exit status
// non-zero, a closed standard output ends the run like the end of the input, signals always
// stop it (even blocked on a FIFO or fed an endless stream), a pipe path keeps its first bytes,
// wild samples do not stop decoding, and the end of a cut recording invents no page.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli_test_support.h"

extern char** environ;

namespace pagora::testing {
namespace {

// POCSAG at every rate, FLEX frames and a GSC page: every decoder a cut can leave mid-page.
constexpr const char* kCutScenario = R"({"transmissions": [
 {"protocol": "POCSAG", "rate": 512, "pages": [
   {"capcode": 4444, "type": "alpha", "text": "Slow page at 512 baud, long enough to cut"},
   {"capcode": 88, "type": "numeric", "text": "0123456789"}]},
 {"protocol": "POCSAG", "rate": 1200, "pages": [
   {"capcode": 1234567, "type": "alpha", "text": "HELLO WORLD"},
   {"capcode": 300, "type": "tone", "function": 2}]},
 {"protocol": "POCSAG", "rate": 2400, "pages": [
   {"capcode": 55555, "function": 3, "type": "alpha",
    "text": "A long page that runs over several codewords and batches: the quick brown fox."}]},
 {"protocol": "FLEX", "mode": "1600/2", "pages": [
   {"capcode": 123456, "type": "alpha", "text": "FLEX alpha 1600/2 with a longer text"},
   {"capcode": 654321, "type": "numeric", "text": "12345"}]},
 {"protocol": "FLEX", "mode": "3200/4", "pages": [
   {"capcode": 8888, "type": "alpha", "text": "FLEX 3200/4 four level"}]},
 {"protocol": "GSC", "pages": [
   {"capcode": 123456, "function": 1, "type": "alpha",
    "text": "THE QUICK BROWN FOX JUMPS OVER THE LAZY DOG"}]}
]})";

std::vector<nlohmann::json> Render(const std::string& output) {
  return RenderScenario(kCutScenario, output);
}

// A child process with the given standard input and output descriptors and standard error in
// a file.
struct Child {
  pid_t pid = -1;
  std::string errPath;

  Child(const std::vector<std::string>& args, int in, int out) {
    errPath = TempPath("child.err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const std::string& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
      pid = -1;
    posix_spawn_file_actions_destroy(&actions);
  }

  // Sends `signal` now and then until the child ends; its wait status, or -1 when it was still
  // running after a minute (then it is killed).
  int StopWith(int signal) {
    for (int i = 0; i < 600; ++i) {
      if (i % 5 == 0)
        kill(pid, signal);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid)
        return status;
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
  }
  int Wait() {
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  }
  std::string Err() const { return ReadFile(errPath); }
};

constexpr const char* kCutMark = "<signal ended>";

// The lines of a text, without those that contain `skip`.
std::vector<std::string> Lines(const std::string& text, const std::string& skip) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.find(skip) == std::string::npos)
      lines.push_back(line);
  }
  return lines;
}

// An empty folder (the log files append, so nothing of an earlier run may be left in it).
std::string FreshFolder(const std::string& name) {
  std::string folder = TempPath(name);
  std::filesystem::remove_all(folder);
  std::filesystem::create_directory(folder);
  return folder;
}

int DevNull() {
  return open("/dev/null", O_RDWR | O_CLOEXEC);
}

// A log, a filter file matching every page, and the statistics files, under `folder`.
std::string IniWithLogs(const std::string& name, const std::string& folder) {
  std::string ini = TempPath(name);
  WriteFile(ini, "[Pagora]\nLogFileEnabled=1\nLogFile=" + folder + "/pages.log\n" +
                     "StatFileEnabled=1\nStatFile=" + folder + "/stats.st\n" +
                     "StatCSVFileEnabled=1\nStatCSVFile=" + folder + "/stats.csv\n" +
                     "[Filter]\nFilterFileEnabled=1\nFilterFile=" + folder +
                     "/pages.flt\nFilterCount=2\nFilter1=2,\"???????\",0,\"ALL\",\"\",0,0,0\n" +
                     "Filter2=5,\"??????\",0,\"ALL\",\"\",0,0,0\n");
  return ini;
}

TEST(UnattendedTest, FullStandardOutputIsReportedAndFails) {
  std::string wav = TempPath("full.wav");
  Render(wav);
  RunResult r = RunProgram("sh -c '" + DecodePath() + " --json " + wav + " > /dev/full'");
  EXPECT_FALSE(r.crashed);
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_NE(r.err.find("standard output: No space left on device"), std::string::npos) << r.err;
}

// Each output file that cannot be opened or written is named once with the reason, and the
// run ends with status 3 after decoding everything.
TEST(UnattendedTest, OutputFilesThatFailAreReportedOnce) {
  struct Case {
    const char* folder;
    const char* message;
  };
  const Case cases[] = {
      {"/dev/full/..", "Cannot open log file /dev/full/../pages.log: Not a directory"},
      {"/nonexistent-pagora-folder",
       "Cannot open filter file /nonexistent-pagora-folder/pages.flt"},
  };
  std::string wav = TempPath("files.wav");
  std::vector<nlohmann::json> expected = Render(wav);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    RunResult r = RunProgram(DecodePath() + " --json --ini " + IniWithLogs("files.ini", c.folder) +
                             " " + wav);
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(ParsePages(r.out).size(), expected.size());
    std::istringstream lines(r.err);
    std::set<std::string> seen;
    for (std::string line; std::getline(lines, line);)
      EXPECT_TRUE(seen.insert(line).second) << "reported twice: " << line;
  }
}

// A closed standard output (the reader of a pipe went away) ends the run like the end of the
// input, never like a kill: the log, filter file and capture hold whole lines, the same as a
// full run's as far as they go.
TEST(UnattendedTest, ClosedStandardOutputEndsTheRunCleanly) {
  std::string wav = TempPath("pipe.wav");
  Render(wav);
  std::string whole = FreshFolder("whole");
  std::string cut = FreshFolder("cut");
  RunResult full =
      RunProgram(DecodePath() + " --start-time 2024-06-03T12:00:00 --ini " +
                 IniWithLogs("whole.ini", whole) + " --record " + whole + "/rec.cap " + wav);
  ASSERT_EQ(full.status, 0) << full.err;

  int pipeFds[2];
  ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
  close(pipeFds[0]);  // nobody will ever read
  int in = DevNull();
  Child child({DecodePath(), "--start-time", "2024-06-03T12:00:00", "--ini",
               IniWithLogs("cut.ini", cut), "--record", cut + "/rec.cap", wav},
              in, pipeFds[1]);
  close(pipeFds[1]);
  close(in);
  int status = child.Wait();
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 3);
  EXPECT_NE(child.Err().find("standard output: Broken pipe"), std::string::npos) << child.Err();
  // The page in progress when the run ended is shown marked; the rest is the full run's.
  for (const char* file : {"pages.log", "rec.cap"}) {
    std::vector<std::string> got = Lines(ReadFile(cut + "/" + file), kCutMark);
    std::vector<std::string> all = Lines(ReadFile(whole + "/" + file), kCutMark);
    EXPECT_FALSE(got.empty()) << file;
    ASSERT_LE(got.size(), all.size()) << file;
    EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin())) << file;
    EXPECT_EQ(ReadFile(cut + "/" + file).back(), '\n') << file;
  }
  EXPECT_FALSE(ReadFile(whole + "/pages.flt").empty());
}

// A FIFO that nobody writes to: the decoder waits for a writer, and Ctrl-C (sent until it
// ends) ends it cleanly.
TEST(UnattendedTest, FifoWithoutWriterStopsOnInterrupt) {
  std::string fifo = TempPath("nowriter.fifo");
  unlink(fifo.c_str());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  int null = DevNull();
  Child child({DecodePath(), fifo}, null, null);
  close(null);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int status = child.StopWith(SIGINT);
  unlink(fifo.c_str());
  ASSERT_NE(status, -1) << "still running after a minute of Ctrl-C";
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
}

// SIGHUP after log rotation: the page before it stays in the renamed file, the page after it
// goes into a new file under the configured name, and the program carries on.
TEST(UnattendedTest, HangupReopensTheLog) {
  std::string first = TempPath("first.cap");
  std::string second = TempPath("second.cap");
  RenderScenario(R"([{"protocol": "POCSAG", "rate": 1200,
      "pages": [{"capcode": 1111111, "type": "alpha", "text": "BEFORE ROTATION"}]}])",
                 first, "--lead-in 1");
  RenderScenario(R"([{"protocol": "POCSAG", "rate": 1200,
      "pages": [{"capcode": 1222222, "type": "alpha", "text": "AFTER ROTATION"}]}])",
                 second, "--lead-in 1");
  std::string folder = FreshFolder("rotation");
  std::string ini = TempPath("rotation.ini");
  WriteFile(ini, "[Pagora]\nLogFileEnabled=1\nLogFile=" + folder +
                     "/pages.log\nLogFileFlush=1\nLogFlushTime=1\nTimestamp=0\n");

  int pipeFds[2];
  ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
  int null = DevNull();
  Child child({DecodePath(), "--ini", ini, "--capture", "-"}, pipeFds[0], null);
  close(pipeFds[0]);
  close(null);
  auto send = [&](const std::string& text) {
    ASSERT_EQ(write(pipeFds[1], text.data(), text.size()), static_cast<ssize_t>(text.size()));
  };
  send(ReadFile(first));
  for (int i = 0; i < 600 && ReadFile(folder + "/pages.log").find("BEFORE") == std::string::npos;
       ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::rename((folder + "/pages.log").c_str(), (folder + "/pages.log.1").c_str());
  kill(child.pid, SIGHUP);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  send(ReadFile(second));
  close(pipeFds[1]);
  int status = child.Wait();
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << child.Err();
  std::string rotated = ReadFile(folder + "/pages.log.1");
  std::string current = ReadFile(folder + "/pages.log");
  EXPECT_NE(rotated.find("BEFORE ROTATION"), std::string::npos) << rotated;
  EXPECT_EQ(rotated.find("AFTER ROTATION"), std::string::npos) << rotated;
  EXPECT_NE(current.find("AFTER ROTATION"), std::string::npos) << current;
}

// A capture stream that never brings signal time (garbage, zero-length entries, an endless
// line) still stops on SIGTERM.
TEST(UnattendedTest, EndlessCaptureStreamStopsOnTerm) {
  signal(SIGPIPE, SIG_IGN);  // the feeder writes on after the child has gone
  for (std::string chunk :
       {std::string("garbage\n"), std::string("0 b0\n"), std::string(64, 'x')}) {
    SCOPED_TRACE(chunk);
    int pipeFds[2];
    ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    int null = DevNull();
    Child child({DecodePath(), "--json", "--capture", "-"}, pipeFds[0], null);
    close(pipeFds[0]);
    close(null);
    std::atomic<bool> done{false};
    std::atomic<long> written{0};
    std::thread feeder([&] {
      std::string block;
      while (block.size() < 65536)
        block += chunk;
      ssize_t n = 0;
      while (!done && (n = write(pipeFds[1], block.data(), block.size())) > 0)
        written += n;
    });
    // The signal goes once the decoder is reading (more than a pipe's worth taken in), not
    // while the program is still starting up.
    for (int wait = 0; wait < 200 && written < 4 * 65536; ++wait)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int status = child.StopWith(SIGTERM);
    done = true;
    close(pipeFds[1]);  // the feeder's write fails, if the child has not closed its end first
    feeder.join();
    ASSERT_NE(status, -1) << "still running after a minute of SIGTERM";
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  }
}

// A pipe path (process substitution) decodes like the file, audio and capture alike, and a
// capture recorded from a capture on a pipe holds every entry.
TEST(UnattendedTest, PipePathKeepsItsStart) {
  std::string wav = TempPath("sub.wav");
  std::string cap = TempPath("sub.cap");
  std::vector<nlohmann::json> expected = Render(wav);
  Render(cap);
  for (const std::string& input : {wav, cap}) {
    SCOPED_TRACE(input);
    std::string record = TempPath("rerecorded.cap");
    RunResult r = RunProgram("bash -c '" + DecodePath() + " --json --record " + record + " <(cat " +
                             input + ")'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ParsePages(r.out), expected);
    if (input == cap) {
      // Every entry, from the first (the quiet tail after the input follows).
      EXPECT_TRUE(ReadFile(record).rfind(ReadFile(cap), 0) == 0);
    }
  }
}

// The generator's 16-bit WAV as 32-bit float samples, with `spoil` applied to some of them.
std::string FloatWav(const std::string& pcm16, std::size_t spoilAt, float spoil) {
  std::size_t data = pcm16.find("data");
  std::uint32_t rate = 0;
  std::memcpy(&rate, pcm16.data() + 24, 4);
  std::size_t bytes = pcm16.size() - (data + 8);
  std::string samples;
  for (std::size_t i = 0; i + 1 < bytes; i += 2) {
    std::int16_t s = 0;
    std::memcpy(&s, pcm16.data() + data + 8 + i, 2);
    float f = i / 2 == spoilAt ? spoil : static_cast<float>(s) / 32768.0f;
    samples.append(reinterpret_cast<const char*>(&f), 4);
  }
  auto u32 = [](std::uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [](std::uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
  return "RIFF" + u32(static_cast<std::uint32_t>(36 + samples.size())) + "WAVEfmt " + u32(16) +
         u16(3) + u16(1) + u32(rate) + u32(rate * 4) + u16(4) + u16(32) + "data" +
         u32(static_cast<std::uint32_t>(samples.size())) + samples;
}

// One wild sample early in a float file: every page after it still decodes.
TEST(UnattendedTest, WildSampleDoesNotStopDecoding) {
  std::string wav = TempPath("pcm16.wav");
  std::vector<nlohmann::json> expected = Render(wav);
  std::string pcm16 = ReadFile(wav);
  const float spoils[] = {std::numeric_limits<float>::quiet_NaN(),
                          std::numeric_limits<float>::infinity(), -1e4f, 1e30f};
  for (float spoil : spoils) {
    SCOPED_TRACE(spoil);
    std::string spoilt = TempPath("float.wav");
    WriteFile(spoilt, FloatWav(pcm16, 2000, spoil));  // in the lead-in, before any page
    RunResult r = RunProgram(DecodePath() + " --json " + spoilt);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ParsePages(r.out), expected);
  }
}

// A data chunk that declares less than the file holds: what it declares is decoded, and the
// rest is reported instead of being skipped without a word.
TEST(UnattendedTest, ShortDeclaredDataIsReported) {
  std::string wav = TempPath("declared.wav");
  Render(wav);
  std::string bytes = ReadFile(wav);
  std::size_t data = bytes.find("data");
  std::uint32_t size = 0;
  std::memcpy(&size, bytes.data() + data + 4, 4);
  size = size / 2 & ~1u;
  std::memcpy(bytes.data() + data + 4, &size, 4);
  WriteFile(wav, bytes);
  RunResult r = RunProgram(DecodePath() + " --json " + wav);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("the data chunk declares " + std::to_string(size / 2) + " samples"),
            std::string::npos)
      << r.err;
}

// Cutting the recording anywhere: every page is one that was sent, either whole or, when the
// cut fell inside it, marked as damaged under the address it was sent to (its content as far
// as it came, which a short page may read as digits, or as a tone-only page when only its
// address arrived).
TEST(UnattendedTest, CutRecordingInventsNoPage) {
  std::string cap = TempPath("whole.cap");
  std::vector<nlohmann::json> sent = Render(cap);
  std::vector<std::string> lines = Lines(ReadFile(cap), "\x01");
  const int kCuts = 60;
  int marked = 0;
  for (int k = 1; k < kCuts; ++k) {
    std::size_t keep = lines.size() * static_cast<std::size_t>(k) / kCuts;
    std::string part;
    for (std::size_t i = 0; i < keep; ++i)
      part += lines[i] + "\n";
    std::string cut = TempPath("cut.cap");
    WriteFile(cut, part);
    RunResult r = RunProgram(DecodePath() + " --json --capture " + cut);
    ASSERT_FALSE(r.crashed) << keep;
    for (const nlohmann::json& page : ParsePages(r.out)) {
      bool whole = std::find(sent.begin(), sent.end(), page) != sent.end();
      bool cutShort = false;
      for (const nlohmann::json& real : sent) {
        cutShort =
            cutShort || (page["errors"] == true && page["capcode"] == real["capcode"] &&
                         page["protocol"] == real["protocol"] && page["rate"] == real["rate"]);
      }
      EXPECT_TRUE(whole || cutShort)
          << "cut after " << keep << " of " << lines.size() << " entries: " << page;
      marked += !whole;
    }
  }
  EXPECT_GT(marked, 0) << "no cut fell inside a page";
}

}  // namespace
}  // namespace pagora::testing
