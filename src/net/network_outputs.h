// The network outputs a front end runs, built from the settings ([MQTT], [PagerMon], Station):
// none, MQTT, PagerMon or both, behind one fragment joiner so that a long FLEX message reaches
// them as one record. pagora-decode and the desktop program both use this.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "net/mqtt_output.h"
#include "net/pagermon_output.h"
#include "output/fragment_joiner.h"

namespace pagora::net {

// The MQTT output's configuration from the settings; the password from PasswordFile or else
// the environment variable PAGORA_MQTT_PASSWORD. A message when it cannot be built.
std::optional<std::string> MqttConfigFrom(const AppSettings& settings, MqttConfig& config);
std::optional<std::string> PagerMonConfigFrom(const AppSettings& settings, PagerMonConfig& config);

class NetworkOutputs : public PageOutput {
 public:
  explicit NetworkOutputs(DeliveryQueue::Report report) : report_(std::move(report)) {}
  ~NetworkOutputs() override;

  // Starts the outputs the settings enable, each with a queue of `queueCapacity` pages. A
  // message when one cannot be started (nothing is started then).
  std::optional<std::string> Open(const AppSettings& settings,
                                  std::size_t queueCapacity = DeliveryQueue::kDefaultCapacity);
  bool empty() const { return !mqtt_ && !pagerMon_; }
  // What the engine's list of outputs takes: the joiner in front of the outputs.
  PageOutput& Input() { return joiner_; }
  // Joined pages, to every output.
  void Write(const Page& page) override;
  // Passes on held fragments, gives the queues up to `limit` to empty and stops the outputs.
  // One line for each output that lost pages (dropped, undelivered or refused); none when
  // every page was delivered.
  std::vector<std::string> Finish(std::chrono::milliseconds limit);

  MqttOutput* mqtt() const { return mqtt_.get(); }
  PagerMonOutput* pagerMon() const { return pagerMon_.get(); }

 private:
  DeliveryQueue::Report report_;
  FragmentJoiner joiner_{*this};
  std::unique_ptr<MqttOutput> mqtt_;
  std::unique_ptr<PagerMonOutput> pagerMon_;
};

}  // namespace pagora::net
