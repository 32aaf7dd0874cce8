// The PagerMon output against a small HTTP server run by the test: the request as PagerMon's
// API takes it, retries through errors and absence, nothing lost, repeats not sent again.
#include "net/pagermon_output.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <thread>

#include "broker.h"

namespace pagora::net {
namespace {

using namespace std::chrono_literals;

struct Received {
  std::string address, message, datetime, source, apikey, contentType;
};

// A stand-in for the PagerMon server: answers 500 to the first `failures` requests, then 200,
// and keeps what it accepted.
class FakePagerMon {
 public:
  explicit FakePagerMon(int failures) : failures_(failures) {
    server_.Post("/pm/api/messages", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      ++requests_;
      if (failures_ > 0) {
        --failures_;
        res.status = 500;
        return;
      }
      accepted_.push_back(Received{req.get_param_value("address"), req.get_param_value("message"),
                                   req.get_param_value("datetime"), req.get_param_value("source"),
                                   req.get_header_value("apikey"),
                                   req.get_header_value("Content-Type")});
      res.status = 200;
      res.set_content("{}", "application/json");
    });
  }
  ~FakePagerMon() { Stop(); }
  bool Start(int port) {
    if (!server_.bind_to_port("127.0.0.1", port))
      return false;
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    return true;
  }
  void Stop() {
    server_.stop();
    if (thread_.joinable())
      thread_.join();
  }
  std::vector<Received> Accepted() {
    std::lock_guard lock(mutex_);
    return accepted_;
  }
  int Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  std::mutex mutex_;
  int failures_;
  int requests_ = 0;
  std::vector<Received> accepted_;
};

Page MakePage(const char* capcode, const std::string& text, std::int64_t time) {
  Page page;
  page.protocol = Protocol::kFlex;
  std::snprintf(page.capcode.data(), page.capcode.size(), "%s", capcode);
  page.type = "alpha";
  for (char c : text)
    AppendReceived(page, c);
  page.time = time;
  return page;
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
  auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > until)
      return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

PagerMonConfig ConfigFor(int port) {
  PagerMonConfig config;
  config.url = "http://127.0.0.1:" + std::to_string(port) + "/pm/";
  config.apiKey = "k3y";
  config.source = "north";
  config.backoff = Backoff{20ms, 200ms};
  config.timeoutSeconds = 2;
  return config;
}

TEST(PagerMonOutput, EveryPageIsDeliveredThroughErrorsAndAbsence) {
  const int port = pagora::testing::FreePort();
  FakePagerMon server(3);
  std::vector<std::string> reports;
  std::mutex reportMutex;
  PagerMonOutput out(ConfigFor(port), [&](const std::string& text) {
    std::lock_guard lock(reportMutex);
    reports.push_back(text);
  });
  // The server is not there yet: pages wait.
  for (int i = 0; i < 20; ++i)
    out.Write(MakePage(i == 0 ? "12" : "2100000", "page " + std::to_string(i), 1700000000 + i));
  Page repeat = MakePage("2100000", "page 19", 1700000030);
  repeat.repeat = true;  // alerts once: not sent again
  out.Write(repeat);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(out.Counters().delivered, 0u);
  ASSERT_TRUE(server.Start(port));  // then answers 500 three times before it accepts
  ASSERT_TRUE(WaitUntil([&] { return server.Accepted().size() >= 20; }, 30s))
      << server.Accepted().size() << " of 20";
  out.Stop(5s);

  std::vector<Received> got = server.Accepted();
  ASSERT_EQ(got.size(), 20u);
  EXPECT_GE(server.Requests(), 23);
  for (int i = 0; i < 20; ++i) {
    const Received& r = got[static_cast<std::size_t>(i)];
    EXPECT_EQ(r.address, i == 0 ? "0000012" : "2100000");
    EXPECT_EQ(r.message, "page " + std::to_string(i));
    EXPECT_EQ(r.datetime, std::to_string(1700000000 + i));
    EXPECT_EQ(r.source, "north");
    EXPECT_EQ(r.apikey, "k3y");
    EXPECT_EQ(r.contentType, "application/x-www-form-urlencoded");
  }
  DeliveryCounters c = out.Counters();
  EXPECT_EQ(c.delivered, 20u);
  EXPECT_EQ(c.dropped, 0u);
  EXPECT_GE(c.retries, 3u);
  std::lock_guard lock(reportMutex);
  ASSERT_FALSE(reports.empty());
  EXPECT_NE(reports.front().find("retrying"), std::string::npos) << reports.front();
}

// Form fields carry any text safely; the address is the capcode's digits, at least seven.
TEST(PagerMonOutput, FormFields) {
  struct Row {
    const char* capcode;
    std::string text;
    const char* form;
  } rows[] = {
      {"0001234", "A&B=C", "address=0001234&message=A%26B%3DC&datetime=5&source=rx%201"},
      {"123456789", "x+y %", "address=123456789&message=x%2By%20%25&datetime=5&source=rx%201"},
      {"??34567", "lf\ncr\r", "address=0000000&message=lf%20cr%20&datetime=5&source=rx%201"},
      {"7", "<b>", "address=0000007&message=%3Cb%3E&datetime=5&source=rx%201"},
  };
  for (const Row& row : rows)
    EXPECT_EQ(PagerMonForm(MakePage(row.capcode, row.text, 5), "rx 1"), row.form) << row.text;
  EXPECT_TRUE(PagerMonOutput::CheckUrl("ftp://x"));
  EXPECT_TRUE(PagerMonOutput::CheckUrl("http://"));
  EXPECT_FALSE(PagerMonOutput::CheckUrl("https://pagermon.example:3000"));
}

// A bounded queue: with the server away, pages past the bound are dropped and counted.
TEST(PagerMonOutput, PagesPastTheBoundAreCounted) {
  PagerMonConfig config = ConfigFor(pagora::testing::FreePort());
  config.queueCapacity = 5;
  PagerMonOutput out(config, nullptr);
  for (int i = 0; i < 12; ++i)
    out.Write(MakePage("1", "x", i));
  out.Stop(0ms);
  DeliveryCounters c = out.Counters();
  EXPECT_EQ(c.dropped, 7u);
  EXPECT_EQ(c.waiting + c.delivered, 5u);
}

}  // namespace
}  // namespace pagora::net
