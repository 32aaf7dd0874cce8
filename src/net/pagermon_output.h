// Pages to a PagerMon server: POST <base>/api/messages with the header "apikey: KEY" and the
// form fields address (the capcode, at least 7 digits, zero-padded), message, datetime (Unix
// seconds) and source (the station name).
//
// PagerMon alerts: its own plugins notify people of the capcodes they follow. So a page
// repeated within the repeat window is not sent again, as with the other alerts, and a page a
// reject filter caught never is. A page whose capcode could not be read is sent with address
// 0000000 rather than lost.
//
// The server being away or answering with an error costs nothing but queue space: the page at
// the front is retried with backoff (0.5 s doubling to 30 s), in order. Only an answer that
// says the page itself is bad (400, 413, 422) drops it, counted and reported, so that one page
// cannot hold up all the others forever.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "net/delivery_queue.h"
#include "output/page.h"

namespace pagora::net {

struct PagerMonConfig {
  std::string url;  // http://host[:port][/base] or https://...
  std::string apiKey;
  std::string source;  // empty: the host name
  std::size_t queueCapacity = DeliveryQueue::kDefaultCapacity;
  Backoff backoff;
  int timeoutSeconds = 10;
};

// The form fields of one page, URL-encoded. Exposed for the tests.
std::string PagerMonForm(const Page& page, const std::string& source);

class PagerMonOutput : public PageOutput {
 public:
  using Report = DeliveryQueue::Report;
  // A message when the URL cannot be used.
  static std::optional<std::string> CheckUrl(const std::string& url);

  PagerMonOutput(PagerMonConfig config, Report report);
  ~PagerMonOutput() override;

  void Write(const Page& page) override;
  void Stop(std::chrono::milliseconds limit);
  // Starts the same stop without waiting for it.
  void BeginStop(std::chrono::milliseconds limit) { queue_.RequestStop(limit); }
  DeliveryCounters Counters() const { return queue_.Counters(); }

 private:
  DeliveryQueue::Result Deliver(const std::string& form);

  struct Endpoint;
  const PagerMonConfig config_;
  const Report report_;
  const std::string source_;
  std::unique_ptr<Endpoint> endpoint_;  // the worker's
  bool failing_ = false;                // the worker's: an error was reported, not yet cleared
  DeliveryQueue queue_;
  bool stopped_ = false;
};

}  // namespace pagora::net
