#include "net/network_outputs.h"

#include <algorithm>
#include <cstdlib>

namespace pagora::net {
namespace {

// One line about what an output lost; empty when it lost nothing.
std::string Losses(const char* name, const DeliveryCounters& c) {
  if (c.dropped + c.waiting + c.refused == 0)
    return {};
  return std::string(name) + ": " + std::to_string(c.delivered) + " page(s) delivered, " +
         std::to_string(c.dropped) + " dropped (queue full), " + std::to_string(c.waiting) +
         " undelivered, " + std::to_string(c.refused) + " refused by the server";
}

}  // namespace

std::optional<std::string> MqttConfigFrom(const AppSettings& settings, MqttConfig& config) {
  const MqttSettings& s = settings.mqtt;
  if (s.host.empty())
    return "no MQTT broker host";
  config.host = s.host;
  config.port = s.port;
  config.tls = s.tls != 0 || !s.caFile.empty();
  config.caFile = s.caFile;
  config.user = s.user;
  config.clientId = s.clientId;
  config.prefix = s.prefix.empty() ? "pagora" : s.prefix;
  config.station = settings.station;
  config.statsSeconds = std::clamp(s.statsSeconds, 5, 86400);
  // The password never travels on a command line: a file, or the environment.
  if (!s.passwordFile.empty()) {
    std::string error;
    config.password = ReadSecretFile(s.passwordFile, error);
    if (!error.empty())
      return "MQTT password file: " + error;
  } else if (const char* password = std::getenv("PAGORA_MQTT_PASSWORD")) {
    config.password = password;
  }
  return std::nullopt;
}

std::optional<std::string> PagerMonConfigFrom(const AppSettings& settings, PagerMonConfig& config) {
  const PagerMonSettings& s = settings.pagerMon;
  if (std::optional<std::string> error = PagerMonOutput::CheckUrl(s.url))
    return "PagerMon: " + *error;
  if (s.keyFile.empty())
    return "PagerMon needs a file holding its API key";
  std::string error;
  config.url = s.url;
  config.apiKey = ReadSecretFile(s.keyFile, error);
  if (!error.empty())
    return "PagerMon key file: " + error;
  config.source = settings.station;
  return std::nullopt;
}

NetworkOutputs::~NetworkOutputs() {
  Finish(std::chrono::milliseconds(0));
}

std::optional<std::string> NetworkOutputs::Open(const AppSettings& settings,
                                                std::size_t queueCapacity) {
  std::optional<MqttConfig> mqtt;
  std::optional<PagerMonConfig> pagerMon;
  if (settings.mqtt.enabled) {
    mqtt.emplace();
    if (std::optional<std::string> error = MqttConfigFrom(settings, *mqtt))
      return error;
    mqtt->queueCapacity = queueCapacity;
  }
  if (settings.pagerMon.enabled) {
    pagerMon.emplace();
    if (std::optional<std::string> error = PagerMonConfigFrom(settings, *pagerMon))
      return error;
    pagerMon->queueCapacity = queueCapacity;
  }
  if (mqtt)
    mqtt_ = std::make_unique<MqttOutput>(*mqtt, report_);
  if (pagerMon)
    pagerMon_ = std::make_unique<PagerMonOutput>(*pagerMon, report_);
  return std::nullopt;
}

void NetworkOutputs::Write(const Page& page) {
  if (mqtt_)
    mqtt_->Write(page);
  if (pagerMon_)
    pagerMon_->Write(page);
}

std::vector<std::string> NetworkOutputs::Finish(std::chrono::milliseconds limit) {
  joiner_.Flush();
  std::vector<std::string> losses;
  // Both drain at once: the limit holds for the pair, not for each in turn.
  if (mqtt_)
    mqtt_->BeginStop(limit);
  if (pagerMon_)
    pagerMon_->BeginStop(limit);
  if (mqtt_) {
    mqtt_->Stop(limit);
    if (std::string line = Losses("mqtt", mqtt_->Counters()); !line.empty())
      losses.push_back(line);
  }
  if (pagerMon_) {
    pagerMon_->Stop(limit);
    if (std::string line = Losses("pagermon", pagerMon_->Counters()); !line.empty())
      losses.push_back(line);
  }
  return losses;
}

}  // namespace pagora::net
