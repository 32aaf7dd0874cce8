// The real MQTT broker for the tests: mosquitto on a free loopback port, in a folder of its
// own, started and stopped by the test; and a subscriber that collects what arrives.
#pragma once

#include <gtest/gtest.h>
#include <mosquitto.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../config/temp_dir.h"

namespace pagora::testing {

// A free TCP port on 127.0.0.1 (free when asked; the broker takes it a moment later).
int FreePort();
// True when something accepts connections on 127.0.0.1:port.
bool PortOpen(int port);

class Broker {
 public:
  // Finds the mosquitto binary; empty when it is not installed.
  static std::string Binary();

  // The broker keeps its state (subscriptions, queued messages) in `folder` across restarts.
  // `extra` is appended to its configuration (another listener, for example).
  explicit Broker(std::string folder, const std::string& extra = "");
  ~Broker();
  Broker(const Broker&) = delete;
  Broker& operator=(const Broker&) = delete;

  // Starts it on port() and waits until it accepts connections; false when it did not.
  bool Start();
  // SIGTERM (the broker saves its state) or SIGKILL, and waits for it to end.
  void Stop(bool kill = false);
  int port() const { return port_; }
  std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

 private:
  std::string folder_;
  int port_;
  int pid_ = -1;
};

// A test with a broker of its own in a fresh folder, started before each case; skipped where
// mosquitto is not installed.
class BrokerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Broker::Binary().empty())
      GTEST_SKIP() << "mosquitto is not installed (scripts/install-deps installs it)";
    broker_ = std::make_unique<Broker>(dir_.path());
    ASSERT_TRUE(broker_->Start()) << "mosquitto did not start";
  }
  TempDir dir_;
  std::unique_ptr<Broker> broker_;
};

struct Message {
  std::string topic;
  std::string payload;
  bool retained = false;
};

// A libmosquitto client with its own network thread. Persistent session (clean_session off),
// QoS 1 subscriptions: messages published while it is away (the broker restarting) are kept
// for it by the broker.
class Subscriber {
 public:
  Subscriber(int port, const std::string& id);
  ~Subscriber();
  Subscriber(const Subscriber&) = delete;
  Subscriber& operator=(const Subscriber&) = delete;

  // Subscribes and waits for the broker's acknowledgement.
  bool Subscribe(const std::string& topic);
  // Waits until `done` holds for the messages so far, or `limit` passes.
  bool WaitFor(const std::function<bool(const std::vector<Message>&)>& done,
               std::chrono::milliseconds limit);
  std::vector<Message> Messages() const;
  // Messages on one topic, in arrival order.
  std::vector<Message> On(const std::string& topic) const;

 private:
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
  static void OnSubscribe(mosquitto*, void* self, int mid, int, const int*);

  mosquitto* client_ = nullptr;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Message> messages_;
  int subscribed_ = 0;
};

}  // namespace pagora::testing
