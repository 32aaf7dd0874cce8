#include "output/process_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace pagora {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// The first executable `name` on PATH, empty when there is none.
std::string SearchPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos)
      end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + name;
    if (IsExecutableFile(candidate))
      return candidate;
    start = end + 1;
  }
  return {};
}

// execv's argument vector over `strings`, ended by a null pointer; built before forking.
std::vector<char*> ArgvPointers(const std::vector<std::string>& strings) {
  std::vector<char*> argv;
  argv.reserve(strings.size() + 1);
  for (const std::string& s : strings)
    argv.push_back(const_cast<char*>(s.c_str()));
  argv.push_back(nullptr);
  return argv;
}

// Runs in the grandchild, after fork: only async-signal-safe calls from here on.
[[noreturn]] void ExecChild(const char* path, char* const argv[], int errorPipe) {
  sigset_t all;
  sigemptyset(&all);
  sigprocmask(SIG_SETMASK, &all, nullptr);
  struct sigaction defaultAction {};
  defaultAction.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &defaultAction, nullptr);
  int devNull = open("/dev/null", O_RDWR);
  if (devNull >= 0) {
    dup2(devNull, STDIN_FILENO);
    dup2(devNull, STDOUT_FILENO);
    if (devNull > STDERR_FILENO)
      close(devNull);
  }
  // Our open files (log, filter, sound card, serial port) are not the command's business.
  close_range(3, ~0u, CLOSE_RANGE_CLOEXEC);
  execv(path, argv);
  int error = errno;
  ssize_t ignored = write(errorPipe, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

// Forks once; the child starts a session of its own and executes the program. The pid, or -1
// when the program could not be executed (the child reports exec's error through the pipe).
pid_t LaunchChild(const std::string& path, const std::vector<std::string>& argvStrings) {
  std::vector<char*> argv = ArgvPointers(argvStrings);

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0)
    return -1;
  pid_t child = fork();
  if (child < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return -1;
  }
  if (child == 0) {
    close(pipeFds[0]);
    setsid();
    ExecChild(path.c_str(), argv.data(), pipeFds[1]);
  }
  close(pipeFds[1]);
  int error = 0;
  ssize_t got;
  do {
    got = read(pipeFds[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  close(pipeFds[0]);
  if (got == 0)
    return child;
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  return -1;
}

bool Launch(const std::string& path, const std::vector<std::string>& argvStrings) {
  // Everything the children need is built before forking: they must not allocate.
  std::vector<char*> argv = ArgvPointers(argvStrings);

  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0)
    return false;
  pid_t child = fork();
  if (child < 0) {
    close(pipeFds[0]);
    close(pipeFds[1]);
    return false;
  }
  if (child == 0) {
    // The middle process: a new session, one more fork, and gone, so that the command is
    // adopted by init (or the session's subreaper) and never becomes our zombie.
    close(pipeFds[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild == 0)
      ExecChild(path.c_str(), argv.data(), pipeFds[1]);
    if (grandchild < 0) {
      int error = errno;
      ssize_t ignored = write(pipeFds[1], &error, sizeof error);
      (void)ignored;
    }
    _exit(0);
  }
  close(pipeFds[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  // End of file (the write end closed by a successful exec) means the command runs.
  int error = 0;
  ssize_t got;
  do {
    got = read(pipeFds[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  close(pipeFds[0]);
  return got == 0;
}

// The program to execute and its argv: the program itself, or the desktop opener for a file
// that is not executable. Empty when there is nothing to start.
std::vector<std::string> ResolveCommand(const std::string& program,
                                        const std::vector<std::string>& args, std::string& path) {
  path.clear();
  if (program.empty())
    return {};
  if (program.find('/') != std::string::npos) {
    if (IsExecutableFile(program))
      path = program;
  } else {
    path = SearchPath(program);
    if (path.empty() && IsExecutableFile(program))
      path = "./" + program;
  }
  if (!path.empty()) {
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
  if (!Exists(program))
    return {};
  path = SearchPath("xdg-open");
  if (path.empty())
    return {};
  std::vector<std::string> argv{"xdg-open", program};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

}  // namespace

bool StartDetachedProcess(const std::string& program, const std::vector<std::string>& args) {
  std::string path;
  std::vector<std::string> argv = ResolveCommand(program, args, path);
  return !argv.empty() && Launch(path, argv);
}

pid_t StartChildProcess(const std::string& program, const std::vector<std::string>& args) {
  std::string path;
  std::vector<std::string> argv = ResolveCommand(program, args, path);
  return argv.empty() ? -1 : LaunchChild(path, argv);
}

void CommandRunner::Reap() {
  std::erase_if(running_, [](pid_t pid) {
    pid_t done;
    do {
      done = waitpid(pid, nullptr, WNOHANG);
    } while (done < 0 && errno == EINTR);
    return done != 0;  // ended (or no longer ours)
  });
}

CommandRunner::Result CommandRunner::Submit(const std::string& program,
                                            const std::vector<std::string>& args) {
  Reap();
  if (running() < maxRunning_ && queue_.empty()) {
    pid_t pid = StartChildProcess(program, args);
    if (pid < 0)
      return Result::kFailed;
    running_.push_back(pid);
    return Result::kStarted;
  }
  if (queue_.size() >= maxQueued_) {
    ++dropped_;
    return Result::kDropped;
  }
  queue_.push_back(Command{program, args});
  return Result::kQueued;
}

std::vector<std::string> CommandRunner::Poll() {
  Reap();
  std::vector<std::string> failed;
  while (running() < maxRunning_ && !queue_.empty()) {
    Command next = std::move(queue_.front());
    queue_.pop_front();
    pid_t pid = StartChildProcess(next.program, next.args);
    if (pid < 0) {
      failed.push_back(next.program);
    } else {
      running_.push_back(pid);
    }
  }
  return failed;
}

}  // namespace pagora
