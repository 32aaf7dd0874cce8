#include "broker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>

namespace pagora::testing {

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool PortOpen(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  bool open = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return open;
}

std::string Broker::Binary() {
  for (const char* path : {"/usr/sbin/mosquitto", "/usr/bin/mosquitto"}) {
    if (access(path, X_OK) == 0)
      return path;
  }
  return {};
}

Broker::Broker(std::string folder, const std::string& extra)
    : folder_(std::move(folder)), port_(FreePort()) {
  // Started as root, mosquitto would change to its own user, which cannot use our folder.
  const passwd* self = getpwuid(geteuid());
  std::ofstream(folder_ + "/mosquitto.conf")
      << "user " << (self != nullptr ? self->pw_name : "root") << "\n"
      << "listener " << port_ << " 127.0.0.1\n"
      << "allow_anonymous true\n"
      << "persistence true\n"
      << "persistence_location " << folder_ << "/\n"
      << "log_dest file " << folder_ << "/mosquitto.log\n"
      << "max_queued_messages 10000\n"
      << extra;
}

Broker::~Broker() {
  Stop(true);
}

bool Broker::Start() {
  if (pid_ > 0)
    return true;
  std::string binary = Binary();
  std::string config = folder_ + "/mosquitto.conf";
  pid_ = fork();
  if (pid_ == 0) {
    execl(binary.c_str(), binary.c_str(), "-c", config.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 200; ++i) {
    if (PortOpen(port_))
      return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

void Broker::Stop(bool kill) {
  if (pid_ <= 0)
    return;
  ::kill(pid_, kill ? SIGKILL : SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

Subscriber::Subscriber(int port, const std::string& id) {
  mosquitto_lib_init();
  client_ = mosquitto_new(id.c_str(), false, this);
  mosquitto_message_callback_set(client_, &Subscriber::OnMessage);
  mosquitto_subscribe_callback_set(client_, &Subscriber::OnSubscribe);
  mosquitto_reconnect_delay_set(client_, 1, 1, false);
  mosquitto_connect(client_, "127.0.0.1", port, 10);
  mosquitto_loop_start(client_);
}

Subscriber::~Subscriber() {
  mosquitto_disconnect(client_);
  mosquitto_loop_stop(client_, true);
  mosquitto_destroy(client_);
}

bool Subscriber::Subscribe(const std::string& topic) {
  int before = 0;
  {
    std::lock_guard lock(mutex_);
    before = subscribed_;
  }
  mosquitto_subscribe(client_, nullptr, topic.c_str(), 1);
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return subscribed_ > before; });
}

bool Subscriber::WaitFor(const std::function<bool(const std::vector<Message>&)>& done,
                         std::chrono::milliseconds limit) {
  // `done` is checked on a copy, outside the lock: it may look at the messages itself.
  const auto until = std::chrono::steady_clock::now() + limit;
  for (;;) {
    std::vector<Message> now = Messages();
    if (done(now))
      return true;
    std::unique_lock lock(mutex_);
    if (!changed_.wait_until(lock, until, [&] { return messages_.size() != now.size(); }))
      return false;
  }
}

std::vector<Message> Subscriber::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<Message> Subscriber::On(const std::string& topic) const {
  std::vector<Message> on;
  for (const Message& m : Messages()) {
    if (m.topic == topic)
      on.push_back(m);
  }
  return on;
}

void Subscriber::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
  auto* subscriber = static_cast<Subscriber*>(self);
  Message m;
  m.topic = message->topic;
  m.payload.assign(static_cast<const char*>(message->payload),
                   static_cast<std::size_t>(message->payloadlen));
  m.retained = message->retain;
  {
    std::lock_guard lock(subscriber->mutex_);
    subscriber->messages_.push_back(std::move(m));
  }
  subscriber->changed_.notify_all();
}

void Subscriber::OnSubscribe(mosquitto*, void* self, int, int, const int*) {
  auto* subscriber = static_cast<Subscriber*>(self);
  {
    std::lock_guard lock(subscriber->mutex_);
    ++subscriber->subscribed_;
  }
  subscriber->changed_.notify_all();
}

}  // namespace pagora::testing
