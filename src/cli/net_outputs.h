// pagora-decode's options for the network outputs (MQTT, PagerMon, the station name). They
// overlay the settings file's [MQTT] and [PagerMon] sections and its Station, so that a run
// with --ini and one with options set up the same outputs the same way.
#pragma once

#include <optional>
#include <string>

#include "config/settings.h"
#include "net/delivery_queue.h"

namespace CLI {
class App;
}

namespace pagora::cli {

struct NetOptions {
  std::string station;
  std::string mqttUrl;
  std::string mqttCa;
  std::string mqttPasswordFile;
  std::string mqttPrefix;
  std::string mqttClientId;
  std::string pagermonUrl;
  std::string pagermonKeyFile;
  int queue = static_cast<int>(net::DeliveryQueue::kDefaultCapacity);
};

void AddNetOptions(CLI::App& app, NetOptions& o);

// The options given, written into `settings`. A message when they cannot be used.
std::optional<std::string> ApplyNetOptions(const NetOptions& o, AppSettings& settings);

}  // namespace pagora::cli
