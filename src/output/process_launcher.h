// Starting the filter and keep-alive commands. The program is started directly with each
// argument as one argv entry (never through a shell, so page text received off the air cannot
// run anything), detached into its own session so that it outlives nothing of ours and leaves
// no zombie behind. A file that exists but is not executable (a document, a sound, a web link
// file) is handed to the desktop's opener, xdg-open, with the arguments after it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace pagora {

// program: a path, or a bare name looked up on PATH and then in the working directory.
// Returns true when the program (or xdg-open) was executed; false when nothing could be
// started. The started process gets /dev/null as standard input and output (it must not eat
// the decoder's input or mix into its printed pages) and keeps standard error.
bool StartDetachedProcess(const std::string& program, const std::vector<std::string>& args);

// The same, in a session of its own but kept as our child, so that its end can be seen: the
// process id, or -1 when nothing could be started. The caller reaps it (CommandRunner does).
pid_t StartChildProcess(const std::string& program, const std::vector<std::string>& args);

// Runs filter and keep-alive commands with a bound: at most `maxRunning` at once, up to
// `maxQueued` more waiting their turn in order; a command that finds the queue full is dropped
// and counted. A flood of matching pages thus cannot start a process per page.
class CommandRunner {
 public:
  static constexpr int kDefaultMaxRunning = 8;
  static constexpr std::size_t kDefaultMaxQueued = 100;

  CommandRunner(int maxRunning = kDefaultMaxRunning, std::size_t maxQueued = kDefaultMaxQueued)
      : maxRunning_(maxRunning), maxQueued_(maxQueued) {}

  enum class Result { kStarted, kQueued, kDropped, kFailed };
  // Reaps what has ended, then starts the command or queues it.
  Result Submit(const std::string& program, const std::vector<std::string>& args);
  // Reaps the commands that have ended and starts waiting ones in their place; returns the
  // programs of waiting commands that could not be started.
  std::vector<std::string> Poll();

  int running() const { return static_cast<int>(running_.size()); }
  std::size_t queued() const { return queue_.size(); }
  long dropped() const { return dropped_; }

 private:
  struct Command {
    std::string program;
    std::vector<std::string> args;
  };
  void Reap();

  int maxRunning_;
  std::size_t maxQueued_;
  std::vector<pid_t> running_;
  std::deque<Command> queue_;
  long dropped_ = 0;
};

}  // namespace pagora
