// Real servers for the archive tests, each in a temporary folder on a free loopback port and
// stopped when the object goes: a PostgreSQL cluster (run as an unprivileged user when the
// tests run as root), and a publisher that sends receivers' pages. The brokers are the network
// tests' (tests/net/broker.h).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "broker.h"

namespace pagora::testing {

// A fresh folder under the test temp folder, removed by the caller's TempFolder.
std::string MakeTempFolder(const std::string& tag);

// Starts a program with arguments (no shell); standard output and error to `logPath`.
pid_t Spawn(const std::vector<std::string>& args, const std::string& logPath);
// Waits for the child; its exit status, or 128 + signal.
int WaitChild(pid_t pid);

class Postgres {
 public:
  Postgres();
  ~Postgres();
  bool running() const { return running_; }
  std::string conninfo() const;
  const std::string& skipReason() const { return skip_; }

 private:
  std::string Run(const std::string& command) const;
  std::string folder_;
  std::string bin_;
  std::string user_;  // the unprivileged account the server runs as, empty when not root
  int port_ = 0;
  bool running_ = false;
  std::string skip_;
};

// One PostgreSQL server for the whole test program, started when first asked for.
Postgres& SharedPostgres();
// A fresh, empty database on it; its connection string.
std::string FreshPostgresDatabase();

// Publishes (QoS 1) each payload to its topic on the broker at `port` and waits until the
// broker has acknowledged every one. False on a failure.
bool PublishAll(int port, const std::vector<std::pair<std::string, std::string>>& messages);

// Waits until `done()` or `seconds` pass; the last answer.
template <class F>
bool WaitFor(F done, double seconds);

}  // namespace pagora::testing

#include <chrono>
#include <thread>

template <class F>
bool pagora::testing::WaitFor(F done, double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (done())
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return done();
}
