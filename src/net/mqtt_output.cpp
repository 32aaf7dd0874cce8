#include "net/mqtt_output.h"

#include <mosquitto.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <deque>
#include <fstream>
#include <mutex>

#include <nlohmann/json.hpp>

#include "output/page_json.h"

namespace pagora::net {
namespace {

using Clock = std::chrono::steady_clock;

// Pages published and not yet acknowledged at once. The broker's default in-flight limit for
// a client is 20; staying under it keeps the broker from queueing on our behalf.
constexpr std::size_t kWindow = 16;
constexpr auto kConnackWait = std::chrono::seconds(10);
constexpr int kLoopMilliseconds = 50;

void InitialiseLibrary() {
  // The library's one-time set-up is not thread-safe; every output goes through here.
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

std::int64_t UnixNow() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

int DefaultPort(bool tls) {
  return tls ? 8883 : 1883;
}

}  // namespace

std::optional<std::string> ParseMqttUrl(const std::string& url, MqttConfig& config) {
  std::string rest;
  if (url.rfind("mqtt://", 0) == 0) {
    config.tls = false;
    rest = url.substr(7);
  } else if (url.rfind("mqtts://", 0) == 0) {
    config.tls = true;
    rest = url.substr(8);
  } else {
    return "not an MQTT URL (mqtt://[user@]host[:port] or mqtts://...): " + url;
  }
  if (!rest.empty() && rest.back() == '/')
    rest.pop_back();
  if (rest.find('/') != std::string::npos)
    return "an MQTT URL names a broker, not a topic (use --mqtt-prefix): " + url;
  if (std::size_t at = rest.rfind('@'); at != std::string::npos) {
    config.user = rest.substr(0, at);
    if (config.user.find(':') != std::string::npos)
      return "no password in the URL: use --mqtt-password-file or PAGORA_MQTT_PASSWORD";
    rest = rest.substr(at + 1);
  }
  std::string host = rest;
  int port = 0;
  // [v6 address]:port, host:port or host.
  std::size_t colon = std::string::npos;
  if (!rest.empty() && rest.front() == '[') {
    std::size_t close = rest.find(']');
    if (close == std::string::npos)
      return "unterminated [address] in " + url;
    host = rest.substr(1, close - 1);
    if (close + 1 < rest.size()) {
      if (rest[close + 1] != ':')
        return "bad broker address in " + url;
      colon = close + 1;
    }
  } else if ((colon = rest.rfind(':')) != std::string::npos) {
    host = rest.substr(0, colon);
  }
  if (colon != std::string::npos) {
    std::string digits = rest.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
      return "bad port in " + url;
    }
    port = std::stoi(digits);
    if (port < 1 || port > 65535)
      return "bad port in " + url;
  }
  if (host.empty())
    return "no broker host in " + url;
  config.host = host;
  config.port = port;
  return std::nullopt;
}

std::string ReadSecretFile(const std::string& path, std::string& error) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) {
    error = "cannot read " + path;
    return {};
  }
  if (!line.empty() && line.back() == '\r')
    line.pop_back();
  if (line.empty())
    error = path + " is empty";
  return line;
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
    return "pagora";
  return name;
}

std::string TopicLevel(const std::string& name) {
  std::string level;
  for (char c : name) {
    bool bad = c == '+' || c == '#' || c == '/' || static_cast<unsigned char>(c) < 0x20;
    level += bad ? '_' : c;
  }
  return level.empty() ? "_" : level;
}

// One connection to the broker. A fresh client for every connection: the library would
// otherwise resend its own copies of unacknowledged messages on reconnect, beside ours.
struct MqttOutput::Session {
  mosquitto* client = nullptr;
  bool connected = false;
  int connackCode = -1;
  std::deque<std::pair<int, bool>> inFlight;  // message id, acknowledged; in queue order
  int statusMid = -1;
  bool statusAcked = false;
  Clock::time_point nextStats{};

  static void OnConnect(mosquitto*, void* self, int rc) {
    auto* session = static_cast<Session*>(self);
    session->connackCode = rc;
    session->connected = rc == 0;
  }
  static void OnDisconnect(mosquitto*, void* self, int) {
    static_cast<Session*>(self)->connected = false;
  }
  static void OnPublish(mosquitto*, void* self, int mid) {
    auto* session = static_cast<Session*>(self);
    if (mid == session->statusMid)
      session->statusAcked = true;
    for (auto& [id, acked] : session->inFlight) {
      if (id == mid)
        acked = true;
    }
  }
};

MqttOutput::MqttOutput(MqttConfig config, Report report)
    : config_(std::move(config)),
      report_(std::move(report)),
      station_(config_.station.empty() ? HostName() : config_.station),
      topicBase_(TopicLevel(config_.prefix.empty() ? "pagora" : config_.prefix) + "/" +
                 TopicLevel(station_)),
      runStart_(UnixNow()),
      queue_(config_.queueCapacity, config_.backoff, [this](const std::string& text) {
        if (report_)
          report_("mqtt: " + text);
      }) {
  InitialiseLibrary();
  queue_.StartLoop([this] { Loop(); });
}

MqttOutput::~MqttOutput() {
  Stop(std::chrono::milliseconds(0));
}

std::string MqttOutput::PagesTopic() const {
  return topicBase_ + "/pages";
}
std::string MqttOutput::StatusTopic() const {
  return topicBase_ + "/status";
}
std::string MqttOutput::StatsTopic() const {
  return topicBase_ + "/stats";
}

void MqttOutput::Write(const Page& page) {
  if (page.rejected)
    return;
  nlohmann::ordered_json record = PageJson(page, IsoLocalTime(page.time));
  if (page.station.empty())
    record["station"] = station_;
  // Counted before the queue may drop it: a gap in the sequence is a lost page.
  ++sequence_;
  record["id"] = station_ + "/" + std::to_string(runStart_) + "/" + std::to_string(sequence_);
  ++written_;
  queue_.Push(record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void MqttOutput::Stop(std::chrono::milliseconds limit) {
  if (stopped_)
    return;
  stopped_ = true;
  queue_.Stop(limit);
}

std::string MqttOutput::StatsJson() const {
  DeliveryCounters c = queue_.Counters();
  nlohmann::ordered_json stats;
  stats["time"] = IsoLocalTime(UnixNow());
  stats["station"] = station_;
  stats["running_since"] = runStart_;
  stats["connected"] = connected_.load();
  stats["pages"] = written_.load();
  stats["delivered"] = c.delivered;
  stats["queued"] = c.waiting;
  stats["queue_capacity"] = queue_.capacity();
  stats["dropped"] = c.dropped;
  stats["connections"] = connections_.load();
  return stats.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

bool MqttOutput::Connect(Session& session) {
  std::string clientId = config_.clientId.empty()
                             ? "pagora-" + station_ + "-" + std::to_string(getpid())
                             : config_.clientId;
  session = Session{};
  session.client = mosquitto_new(clientId.c_str(), true, &session);
  if (session.client == nullptr) {
    if (report_)
      report_("mqtt: cannot create a client");
    return false;
  }
  mosquitto_int_option(session.client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  mosquitto_connect_callback_set(session.client, &Session::OnConnect);
  mosquitto_disconnect_callback_set(session.client, &Session::OnDisconnect);
  mosquitto_publish_callback_set(session.client, &Session::OnPublish);
  const std::string status = StatusTopic();
  mosquitto_will_set(session.client, status.c_str(), 7, "offline", 1, true);
  if (!config_.user.empty()) {
    mosquitto_username_pw_set(session.client, config_.user.c_str(),
                              config_.password.empty() ? nullptr : config_.password.c_str());
  }
  std::string problem;
  if (config_.tls) {
    const char* caFile = config_.caFile.empty() ? nullptr : config_.caFile.c_str();
    const char* caPath = config_.caFile.empty() ? "/etc/ssl/certs" : nullptr;
    int rc = mosquitto_tls_set(session.client, caFile, caPath, nullptr, nullptr, nullptr);
    if (rc != MOSQ_ERR_SUCCESS)
      problem = std::string("TLS set-up: ") + mosquitto_strerror(rc);
  }
  const int port = config_.port > 0 ? config_.port : DefaultPort(config_.tls);
  if (problem.empty()) {
    // Without waiting for the TCP handshake: a broker behind a silent firewall must not hold
    // the loop (and the end of the run) for the system's connect timeout of minutes.
    int rc = mosquitto_connect_async(session.client, config_.host.c_str(), port,
                                     config_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
      problem = rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc);
  }
  const Clock::time_point giveUp = Clock::now() + kConnackWait;
  while (problem.empty() && !session.connected && session.connackCode < 0 && !queue_.Stopping()) {
    int rc = mosquitto_loop(session.client, kLoopMilliseconds, 1);
    if (rc != MOSQ_ERR_SUCCESS)
      problem = mosquitto_strerror(rc);
    else if (Clock::now() > giveUp)
      problem = "no answer from the broker";
  }
  if (problem.empty() && !session.connected) {
    problem = session.connackCode >= 0 ? mosquitto_connack_string(session.connackCode)
                                       : "stopped while connecting";
  }
  if (!problem.empty()) {
    // Once per outage, not once per attempt.
    if (!failureReported_ && report_) {
      failureReported_ = true;
      report_("mqtt: cannot connect to " + config_.host + ":" + std::to_string(port) + ": " +
              problem + " (retrying)");
    }
    mosquitto_destroy(session.client);
    session.client = nullptr;
    return false;
  }
  ++connections_;
  connected_ = true;
  failureReported_ = false;
  if (report_ && connections_.load() > 1)
    report_("mqtt: connected to " + config_.host + ":" + std::to_string(port) + " again");
  mosquitto_publish(session.client, &session.statusMid, status.c_str(), 6, "online", 1, true);
  session.nextStats = Clock::now();
  return true;
}

void MqttOutput::Publish(Session& session) {
  if (session.inFlight.size() >= kWindow)
    return;
  const std::string topic = PagesTopic();
  std::deque<std::string> items =
      queue_.Peek(session.inFlight.size(), kWindow - session.inFlight.size());
  for (const std::string& payload : items) {
    int mid = 0;
    int rc = mosquitto_publish(session.client, &mid, topic.c_str(),
                               static_cast<int>(payload.size()), payload.data(), 1, false);
    if (rc != MOSQ_ERR_SUCCESS)
      break;  // the connection is going; the loop below notices
    session.inFlight.emplace_back(mid, false);
  }
}

void MqttOutput::Disconnect(Session& session, bool clean) {
  if (session.client == nullptr)
    return;
  if (clean && session.connected) {
    // Say offline ourselves: a clean disconnect does not fire the last will.
    session.statusAcked = false;
    const std::string status = StatusTopic();
    mosquitto_publish(session.client, &session.statusMid, status.c_str(), 7, "offline", 1, true);
    const Clock::time_point giveUp = Clock::now() + std::chrono::seconds(2);
    while (!session.statusAcked && session.connected && Clock::now() < giveUp) {
      if (mosquitto_loop(session.client, kLoopMilliseconds, 1) != MOSQ_ERR_SUCCESS)
        break;
    }
    mosquitto_disconnect(session.client);
    mosquitto_loop(session.client, kLoopMilliseconds, 1);
  }
  mosquitto_destroy(session.client);
  session.client = nullptr;
  session.connected = false;
  session.inFlight.clear();  // still queued: they go again on the next connection
  connected_ = false;
}

void MqttOutput::Loop() {
  Session session;
  Clock::time_point lastDropReport = Clock::now();
  while (!queue_.Stopping()) {
    if (Clock::now() - lastDropReport >= std::chrono::seconds(10)) {
      queue_.ReportDrops();
      lastDropReport = Clock::now();
    }
    if (session.client == nullptr) {
      if (!Connect(session)) {
        queue_.NoteRetry();
        queue_.BackOff();
        continue;
      }
      queue_.ResetBackoff();
    }
    Publish(session);
    int rc = mosquitto_loop(session.client, kLoopMilliseconds, 1);
    std::size_t acked = 0;
    while (!session.inFlight.empty() && session.inFlight.front().second) {
      session.inFlight.pop_front();
      ++acked;
    }
    queue_.PopDelivered(acked);
    if (rc != MOSQ_ERR_SUCCESS || !session.connected) {
      if (report_)
        report_("mqtt: lost the connection to " + config_.host + " (" + mosquitto_strerror(rc) +
                "); pages are kept and sent when it returns");
      Disconnect(session, false);
      queue_.NoteRetry();
      queue_.BackOff();
      continue;
    }
    if (Clock::now() >= session.nextStats) {
      std::string stats = StatsJson();
      const std::string topic = StatsTopic();
      mosquitto_publish(session.client, nullptr, topic.c_str(), static_cast<int>(stats.size()),
                        stats.data(), 0, true);
      session.nextStats = Clock::now() + std::chrono::seconds(std::max(config_.statsSeconds, 1));
    }
  }
  Disconnect(session, true);
}

}  // namespace pagora::net
