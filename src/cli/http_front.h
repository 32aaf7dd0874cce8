// pagora-decode's web page and HTTP API (--http): the live feed as a page output, the pages of
// this run as the search behind /api/pages, and the engine's status published between ticks.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "web/engine_status.h"
#include "web/live_feed.h"
#include "web/recent_pages.h"
#include "web/web_server.h"

namespace pagora {
class Monitor;
}

namespace pagora::cli {

class HttpFront {
 public:
  // Reads the token file (when given), starts the server and adds the live feed to the
  // engine's outputs. Null with `error` set when the address, the token or the port is refused.
  // `archive`, when given, answers /api/pages from stored pages instead of this run's.
  static std::unique_ptr<HttpFront> Start(const std::string& listen, const std::string& tokenFile,
                                          Monitor& m, std::vector<web::InputDescription> inputs,
                                          std::unique_ptr<web::PageSearch> archive,
                                          std::string& error);
  ~HttpFront();

  // Feeds the live page from another engine too (the channels of a band), and adds its page
  // counts and signal activity to the status; settings and keep-alive stay the first engine's.
  void AddEngine(Monitor& m);

  // Between ticks on the engine's thread: the status, at most twice a second.
  void Tick();
  int port() const { return server_.port(); }

 private:
  HttpFront(Monitor& m, std::vector<web::InputDescription> inputs,
            std::unique_ptr<web::PageSearch> archive, web::WebServerOptions options);

  Monitor& m_;
  std::vector<Monitor*> fed_;  // every engine whose pages the live feed takes
  std::vector<web::InputDescription> inputs_;
  web::RecentPages recent_;
  web::LiveFeed feed_{&recent_};
  // The archive's search when one is configured, else the pages of this run.
  std::unique_ptr<web::PageSearch> archive_;
  web::PageSearch& search_;
  web::WebServer server_;
  std::chrono::steady_clock::time_point lastStatus_{};
};

}  // namespace pagora::cli
