// Pages to an MQTT broker, as a traffic feed: every completed page (repeats included, marked
// "repeat") is published with QoS 1 to <prefix>/<station>/pages as the page's JSON object plus
// "id", "<station>/<run start, Unix seconds>/<sequence from 1>". A consumer that sees a page
// twice (the broker took it but its acknowledgement was lost with the connection) drops the
// copy by id; a gap in the sequence shows a page lost to a full queue.
//
// <prefix>/<station>/status holds "online" while connected and "offline" otherwise (the broker
// publishes the offline one itself as our last will when the connection dies); a statistics
// object is kept retained on <prefix>/<station>/stats.
//
// While the broker is away pages wait in a bounded queue and go out in order when it returns;
// reconnect attempts back off from 0.5 s to 30 s.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "net/delivery_queue.h"
#include "output/page.h"

namespace pagora::net {

struct MqttConfig {
  std::string host;
  int port = 0;  // 0: 1883, or 8883 with TLS
  bool tls = false;
  std::string caFile;  // empty with TLS: the system's certificates
  std::string user;
  std::string password;
  std::string clientId;  // empty: "pagora-<station>-<process id>"
  std::string prefix = "pagora";
  std::string station;  // empty: the host name
  int statsSeconds = 60;
  int keepAliveSeconds = 30;
  std::size_t queueCapacity = DeliveryQueue::kDefaultCapacity;
  Backoff backoff;
};

// "mqtt://[user@]host[:port]" or "mqtts://..." into `config` (host, port, tls, user). A
// message when the URL is not one of those.
std::optional<std::string> ParseMqttUrl(const std::string& url, MqttConfig& config);

// The first line of a secret file (a password or an API key), without its line end. Empty and
// `error` set when the file cannot be read or is empty.
std::string ReadSecretFile(const std::string& path, std::string& error);

// The machine's host name, "pagora" when it has none.
std::string HostName();

// MQTT topic levels may not hold '+', '#' or '/' from a station name, nor NUL.
std::string TopicLevel(const std::string& name);

class MqttOutput : public PageOutput {
 public:
  using Report = DeliveryQueue::Report;
  // Starts connecting at once; reports (connection problems, drops) go to `report` from the
  // output's own thread.
  MqttOutput(MqttConfig config, Report report);
  ~MqttOutput() override;

  void Write(const Page& page) override;
  // Gives queued pages up to `limit` to go out, then says offline and disconnects.
  void Stop(std::chrono::milliseconds limit);
  // Starts the same stop without waiting for it.
  void BeginStop(std::chrono::milliseconds limit) { queue_.RequestStop(limit); }

  const std::string& station() const { return station_; }
  std::string PagesTopic() const;
  std::string StatusTopic() const;
  std::string StatsTopic() const;
  DeliveryCounters Counters() const { return queue_.Counters(); }
  bool Connected() const { return connected_.load(); }
  std::uint64_t Connections() const { return connections_.load(); }
  // The retained statistics object as published.
  std::string StatsJson() const;

 private:
  struct Session;
  void Loop();
  bool Connect(Session& session);
  void Publish(Session& session);
  void Disconnect(Session& session, bool clean);

  const MqttConfig config_;
  const Report report_;
  const std::string station_;
  const std::string topicBase_;
  const std::int64_t runStart_;
  std::uint64_t sequence_ = 0;  // the decoding thread's, in Write
  std::atomic<bool> connected_{false};
  std::atomic<std::uint64_t> connections_{0};
  std::atomic<std::uint64_t> written_{0};
  DeliveryQueue queue_;
  bool stopped_ = false;
  bool failureReported_ = false;  // the worker's: a failed connection was reported
};

}  // namespace pagora::net
