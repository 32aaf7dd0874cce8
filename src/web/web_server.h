// The HTTP server of the headless monitor: the live web page (files built into the program),
// and a read-only JSON API over the pages and the engine's state.
//
//   GET /             the page (and its script, style sheet and icon)
//   GET /api/live     server-sent events, one per page as it completes; resumable
//   GET /api/pages    stored pages, newest first: q, capcode, protocol, since, until, limit,
//                     before_id
//   GET /api/status   inputs, decoders, uptime, pages per hour, keep-alive, output queues,
//                     display colours and filter labels
//
// Nothing changes settings. With a token, every request must carry it: an
// "Authorization: Bearer TOKEN" header, a "token" query parameter, or the cookie the page sets
// when it was opened with one. Requests are bounded in size and in number: the server runs a
// fixed pool of threads, event streams are limited, and an oversized request is refused.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "web/live_feed.h"
#include "web/page_search.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace pagora::web {

struct WebServerOptions {
  std::string address{"127.0.0.1"};
  int port = 8073;      // 0: any free port (tests)
  std::string token{};  // empty: no token (loopback addresses only)
  std::string program{"pagora-decode"};
  int apiThreads = 8;  // threads for everything but the event streams
};

class WebServer {
 public:
  // `feed` and `search` are not owned and must outlive the server.
  WebServer(LiveFeed& feed, PageSearch& search, WebServerOptions options);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds and starts serving on a thread of its own. False with `error` set when the address
  // cannot be used or a token is missing for an address other than loopback.
  bool Start(std::string& error);
  void Stop();
  int port() const { return port_; }

  // The engine's part of /api/status, replaced whole (called from the engine's thread).
  void PublishStatus(nlohmann::ordered_json engine);

 private:
  bool Authorised(const httplib::Request& request) const;
  void Routes();
  void ServeLive(const httplib::Request& request, httplib::Response& response);
  void ServePages(const httplib::Request& request, httplib::Response& response);
  void ServeStatus(httplib::Response& response);

  LiveFeed& feed_;
  PageSearch& search_;
  WebServerOptions options_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  int port_ = 0;
  std::chrono::steady_clock::time_point started_;
  std::int64_t startedAt_ = 0;
  mutable std::mutex statusMutex_;
  nlohmann::ordered_json engineStatus_ = nlohmann::ordered_json::object();
};

// True for 127.0.0.0/8, ::1 and "localhost".
bool IsLoopbackAddress(const std::string& address);
// True for a Host header that names a loopback address ("localhost:8073", "[::1]:80", ...).
bool LoopbackHost(const std::string& host);
// Equal strings, compared in a time that does not depend on where they first differ.
bool ConstantTimeEqual(const std::string& a, const std::string& b);
// "ADDR:PORT", "PORT", "[v6]:PORT" into address (127.0.0.1 when not given) and port 1..65535.
bool ParseListenAddress(const std::string& text, std::string& address, int& port);
// The first line of the file, surrounding blanks removed. False with `error` set when the file
// cannot be read or the token is shorter than 16 characters.
bool ReadTokenFile(const std::string& path, std::string& token, std::string& error);

}  // namespace pagora::web
