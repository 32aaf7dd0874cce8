#include "servers.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <glob.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <pqxx/pqxx>

#include "cli_test_support.h"

namespace pagora::testing {

std::string MakeTempFolder(const std::string& tag) {
  static int serial = 0;
  std::string path =
      TempPath(tag + "_" + std::to_string(getpid()) + "_" + std::to_string(++serial));
  std::filesystem::create_directories(path);
  return path;
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& logPath) {
  pid_t pid = fork();
  if (pid == 0) {
    int fd = ::open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 1);
      dup2(fd, 2);
    }
    int null = ::open("/dev/null", O_RDONLY);
    if (null >= 0)
      dup2(null, 0);
    std::vector<char*> argv;
    for (const std::string& a : args)
      argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

int WaitChild(pid_t pid) {
  int raw = 0;
  if (waitpid(pid, &raw, 0) != pid)
    return -1;
  if (WIFEXITED(raw))
    return WEXITSTATUS(raw);
  return 128 + WTERMSIG(raw);
}

Postgres::Postgres() {
  glob_t found{};
  if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &found) == 0 && found.gl_pathc > 0)
    bin_ = std::filesystem::path(found.gl_pathv[found.gl_pathc - 1]).parent_path().string();
  globfree(&found);
  if (bin_.empty()) {
    skip_ = "PostgreSQL server binaries (initdb, pg_ctl) are not installed";
    return;
  }
  folder_ = MakeTempFolder("postgres");
  if (geteuid() == 0) {
    // The server refuses to run as root: the folder goes to an unprivileged account.
    for (const char* name : {"postgres", "nobody"}) {
      if (passwd* account = getpwnam(name)) {
        user_ = name;
        std::filesystem::path p = folder_;
        // Every folder above must be passable for that account.
        for (std::filesystem::path up = p; up.has_parent_path() && up != up.parent_path();
             up = up.parent_path()) {
          struct stat st {};
          if (stat(up.c_str(), &st) == 0 && (st.st_mode & 0001) == 0)
            chmod(up.c_str(), st.st_mode | 0001);
        }
        if (chown(folder_.c_str(), account->pw_uid, account->pw_gid) != 0) {
          skip_ = "cannot give the PostgreSQL folder to " + user_;
          return;
        }
        break;
      }
    }
    if (user_.empty()) {
      skip_ = "running as root and no unprivileged account (postgres, nobody) to run PostgreSQL";
      return;
    }
  }
  port_ = FreePort();
  std::string data = folder_ + "/data";
  std::string log = folder_ + "/server.log";
  std::string init = Run("'" + bin_ + "/initdb' -D '" + data + "' -A trust -U pagora -E UTF8 " +
                         "--no-locale >'" + folder_ + "/initdb.log' 2>&1");
  if (!init.empty()) {
    skip_ = "initdb failed: " + ReadFile(folder_ + "/initdb.log");
    return;
  }
  std::string start = Run("'" + bin_ + "/pg_ctl' -D '" + data + "' -l '" + log + "' -w -t 60 " +
                          "-o '-p " + std::to_string(port_) + " -k " + folder_ +
                          " -c listen_addresses=127.0.0.1 -c fsync=off' start >/dev/null 2>&1");
  if (!start.empty()) {
    skip_ = "PostgreSQL did not start: " + ReadFile(log);
    return;
  }
  running_ = true;
}

Postgres::~Postgres() {
  if (running_) {
    Run("'" + bin_ + "/pg_ctl' -D '" + folder_ + "/data' -m immediate -w stop >/dev/null 2>&1");
  }
}

std::string Postgres::conninfo() const {
  return "host=127.0.0.1 port=" + std::to_string(port_) + " user=pagora dbname=postgres";
}

// Runs a shell command as the server's account; empty on success, else the status.
std::string Postgres::Run(const std::string& command) const {
  std::string line = command;
  if (!user_.empty()) {
    std::string quoted;
    for (char c : command)
      quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line = "runuser -u " + user_ + " -- sh -c '" + quoted + "'";
  }
  int status = std::system(line.c_str());
  return status == 0 ? "" : "exit " + std::to_string(status);
}

Postgres& SharedPostgres() {
  static Postgres server;
  return server;
}

std::string FreshPostgresDatabase() {
  static int serial = 0;
  std::string name = "archive_test_" + std::to_string(getpid()) + "_" + std::to_string(++serial);
  pqxx::connection admin(SharedPostgres().conninfo());
  pqxx::nontransaction w(admin);
  w.exec("CREATE DATABASE " + name);
  std::string conninfo = SharedPostgres().conninfo();
  return conninfo.replace(conninfo.find("dbname=postgres"), 15, "dbname=" + name);
}

bool PublishAll(int port, const std::vector<std::pair<std::string, std::string>>& messages) {
  struct State {
    std::atomic<int> acknowledged{0};
    std::atomic<bool> connected{false};
  } state;
  mosquitto_lib_init();
  mosquitto* client = mosquitto_new(nullptr, true, &state);
  mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  // Every message may be in flight at once.
  mosquitto_max_inflight_messages_set(client, 0);
  mosquitto_connect_callback_set(client, [](mosquitto*, void* s, int rc) {
    if (rc == 0)
      static_cast<State*>(s)->connected = true;
  });
  mosquitto_publish_callback_set(
      client, [](mosquitto*, void* s, int) { ++static_cast<State*>(s)->acknowledged; });
  bool ok = mosquitto_connect(client, "127.0.0.1", port, 30) == MOSQ_ERR_SUCCESS &&
            mosquitto_loop_start(client) == MOSQ_ERR_SUCCESS &&
            WaitFor([&] { return state.connected.load(); }, 10);
  for (const auto& [topic, payload] : messages) {
    if (!ok)
      break;
    ok = mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                           payload.data(), 1, false) == MOSQ_ERR_SUCCESS;
  }
  ok = ok &&
       WaitFor([&] { return state.acknowledged.load() == static_cast<int>(messages.size()); }, 30);
  mosquitto_disconnect(client);
  mosquitto_loop_stop(client, false);
  mosquitto_destroy(client);
  return ok;
}

}  // namespace pagora::testing
