#include "web/web_server.h"

#include <arpa/inet.h>

#include <algorithm>
#include <charconv>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <optional>

#include "output/page_json.h"
#include "web/embedded_files.h"
#include "web/http.h"

namespace pagora::web {
namespace {

using httplib::Request;
using httplib::Response;

constexpr std::chrono::seconds kStreamKeepAlive{15};
constexpr std::size_t kMaxBacklog = 1000;
constexpr std::size_t kMaxLastEventId = 64;
constexpr std::size_t kMinTokenLength = 16;
// A GET needs no more than this; the library reads lines of up to 8 KiB before we see them.
constexpr std::size_t kMaxTarget = 2048;
constexpr std::size_t kMaxHeaders = 48;
constexpr std::size_t kMaxHeaderBytes = 8192;
constexpr std::size_t kMaxBody = 1024;
constexpr const char* kTokenCookie = "pagora_token";

// A fixed pool of threads with a bounded queue of waiting connections. When the queue is full
// the listening thread serves the connection itself, so no more are accepted until a thread is
// free: the kernel's backlog holds the rest.
class BoundedPool : public httplib::TaskQueue {
 public:
  BoundedPool(std::size_t threads, std::size_t queue) : maxQueued_(queue) {
    for (std::size_t i = 0; i < threads; ++i)
      threads_.emplace_back([this] { Work(); });
  }
  ~BoundedPool() override { shutdown(); }

  void enqueue(std::function<void()> fn) override {
    {
      std::unique_lock lock(mutex_);
      if (jobs_.size() < maxQueued_) {
        jobs_.push_back(std::move(fn));
        ready_.notify_one();
        return;
      }
    }
    fn();
  }
  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      if (stopping_)
        return;
      stopping_ = true;
    }
    ready_.notify_all();
    for (std::thread& thread : threads_)
      thread.join();
  }

 private:
  void Work() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty())
          return;
        job = std::move(jobs_.front());
        jobs_.pop_front();
      }
      job();
    }
  }

  std::size_t maxQueued_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  bool stopping_ = false;
};

void SendJson(Response& response, const nlohmann::ordered_json& body, int status = 200) {
  response.status = status;
  response.set_header("Cache-Control", "no-store");
  response.set_content(body.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace),
                       "application/json");
}

void SendError(Response& response, int status, const std::string& message) {
  SendJson(response, {{"error", message}}, status);
}

std::optional<std::int64_t> ParseInteger(const std::string& text) {
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

// The value of one cookie from a Cookie header, or empty.
std::string CookieValue(const std::string& header, const std::string& name) {
  std::size_t pos = 0;
  while (pos < header.size()) {
    std::size_t end = header.find(';', pos);
    if (end == std::string::npos)
      end = header.size();
    std::string_view part(header.data() + pos, end - pos);
    while (!part.empty() && part.front() == ' ')
      part.remove_prefix(1);
    if (part.size() > name.size() && part.compare(0, name.size(), name) == 0 &&
        part[name.size()] == '=') {
      return std::string(part.substr(name.size() + 1));
    }
    pos = end + 1;
  }
  return {};
}

// Query parameters into a search; false with `error` when one is malformed.
bool ReadQuery(const Request& request, PageQuery& query, std::string& error) {
  auto text = [&](const char* key) {
    return request.has_param(key) ? request.get_param_value(key) : std::string();
  };
  query.text = text("q");
  query.capcode = text("capcode");
  query.protocol = text("protocol");
  if (query.text.size() > 200 || query.capcode.size() > 10 || query.protocol.size() > 10) {
    error = "parameter too long";
    return false;
  }
  if (!std::all_of(query.capcode.begin(), query.capcode.end(),
                   [](char c) { return (c >= '0' && c <= '9') || c == '?'; })) {
    error = "capcode: digits and ? only";
    return false;
  }
  struct Number {
    const char* key;
    std::int64_t* value;
  };
  std::int64_t limit = query.limit;
  for (Number n : {Number{"since", &query.since}, Number{"until", &query.until},
                   Number{"limit", &limit}, Number{"before_id", &query.beforeId}}) {
    std::string value = text(n.key);
    if (value.empty())
      continue;
    std::optional<std::int64_t> parsed = ParseInteger(value);
    if (!parsed || *parsed < 0) {
      error = std::string(n.key) + ": not a whole number";
      return false;
    }
    *n.value = *parsed;
  }
  if (limit < 1 || limit > kMaxLimit) {
    error = "limit: 1 to " + std::to_string(kMaxLimit);
    return false;
  }
  query.limit = static_cast<int>(limit);
  return true;
}

void AddSecurityHeaders(Response& response) {
  // Everything the page needs comes from this server; inline script and markup injected by a
  // page's text could run nothing even if it reached the document.
  response.set_header("Content-Security-Policy",
                      "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; "
                      "connect-src 'self'; object-src 'none'; base-uri 'none'; "
                      "frame-ancestors 'none'; form-action 'self'");
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("Referrer-Policy", "no-referrer");
  response.set_header("X-Frame-Options", "DENY");
}

}  // namespace

bool LoopbackHost(const std::string& host) {
  std::string name = host;
  if (!name.empty() && name.front() == '[') {
    name = name.substr(1, name.find(']') == std::string::npos ? 0 : name.find(']') - 1);
  } else if (std::size_t colon = name.rfind(':'); colon != std::string::npos) {
    name.resize(colon);
  }
  return IsLoopbackAddress(name);
}

bool IsLoopbackAddress(const std::string& address) {
  if (address == "localhost" || address == "::1")
    return true;
  in_addr v4{};
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1)
    return (ntohl(v4.s_addr) >> 24) == 127;
  return false;
}

bool ConstantTimeEqual(const std::string& a, const std::string& b) {
  // Every byte of the longer string is looked at, whatever the shorter one holds.
  std::size_t length = std::max(a.size(), b.size());
  unsigned char difference = a.size() == b.size() ? 0 : 1;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
    difference |= static_cast<unsigned char>(x ^ y);
  }
  return difference == 0;
}

bool ParseListenAddress(const std::string& text, std::string& address, int& port) {
  std::string portText = text;
  address = "127.0.0.1";
  if (!text.empty() && text.front() == '[') {
    std::size_t close = text.find("]:");
    if (close == std::string::npos)
      return false;
    address = text.substr(1, close - 1);
    portText = text.substr(close + 2);
  } else if (std::size_t colon = text.rfind(':'); colon != std::string::npos) {
    if (text.find(':') != colon)
      return false;  // a bare IPv6 address needs brackets
    if (colon > 0)
      address = text.substr(0, colon);
    portText = text.substr(colon + 1);
  }
  std::optional<std::int64_t> parsed = ParseInteger(portText);
  if (!parsed || *parsed < 1 || *parsed > 65535 || address.empty())
    return false;
  port = static_cast<int>(*parsed);
  return true;
}

bool ReadTokenFile(const std::string& path, std::string& token, std::string& error) {
  std::ifstream file(path);
  if (!file) {
    error = "cannot read token file " + path;
    return false;
  }
  std::string line;
  std::getline(file, line);
  const char* blanks = " \t\r\n";
  std::size_t first = line.find_first_not_of(blanks);
  std::size_t last = line.find_last_not_of(blanks);
  token = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
  if (token.size() < kMinTokenLength) {
    error = "the token in " + path + " is shorter than " + std::to_string(kMinTokenLength) +
            " characters";
    return false;
  }
  bool printable = std::all_of(token.begin(), token.end(),
                               [](char c) { return c > ' ' && c < 0x7F && c != ';'; });
  if (!printable) {
    error = "the token in " + path + " must be printable ASCII without blanks or ';'";
    return false;
  }
  return true;
}

WebServer::WebServer(LiveFeed& feed, PageSearch& search, WebServerOptions options)
    : feed_(feed), search_(search), options_(std::move(options)) {}

WebServer::~WebServer() {
  Stop();
}

bool WebServer::Authorised(const Request& request) const {
  if (options_.token.empty())
    return true;
  std::string presented;
  std::string authorization = request.get_header_value("Authorization");
  if (authorization.rfind("Bearer ", 0) == 0)
    presented = authorization.substr(7);
  else if (request.has_param("token"))
    presented = request.get_param_value("token");
  else
    presented = CookieValue(request.get_header_value("Cookie"), kTokenCookie);
  return ConstantTimeEqual(presented, options_.token);
}

bool WebServer::Start(std::string& error) {
  if (options_.token.empty() && !IsLoopbackAddress(options_.address)) {
    error = "a token (--http-token-file) is required to serve on " + options_.address;
    return false;
  }
  server_ = std::make_unique<httplib::Server>();
  // One thread for each event stream the feed allows, and some for everything else.
  std::size_t streamThreads = feed_.limits().maxClients;
  server_->new_task_queue = [this, streamThreads] {
    return new BoundedPool(streamThreads + static_cast<std::size_t>(options_.apiThreads), 32);
  };
  server_->set_read_timeout(5, 0);
  server_->set_write_timeout(5, 0);
  server_->set_keep_alive_timeout(2);
  server_->set_payload_max_length(kMaxBody);
  Routes();
  if (options_.port == 0) {
    port_ = server_->bind_to_any_port(options_.address);
  } else {
    port_ = server_->bind_to_port(options_.address, options_.port) ? options_.port : -1;
  }
  if (port_ <= 0) {
    error = "cannot listen on " + options_.address + ":" + std::to_string(options_.port) + ": " +
            std::strerror(errno);
    server_.reset();
    return false;
  }
  started_ = std::chrono::steady_clock::now();
  startedAt_ = std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // Stop before the loop runs would not end it: wait until it does.
  while (!server_->is_running())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return true;
}

void WebServer::Stop() {
  if (!server_)
    return;
  feed_.Close();  // ends the event streams, which would otherwise hold their threads
  server_->stop();
  if (thread_.joinable())
    thread_.join();
  server_.reset();
}

void WebServer::PublishStatus(nlohmann::ordered_json engine) {
  std::lock_guard lock(statusMutex_);
  engineStatus_ = std::move(engine);
}

void WebServer::Routes() {
  httplib::Server& s = *server_;
  s.set_pre_routing_handler([this](const Request& request, Response& response) {
    AddSecurityHeaders(response);
    if (request.method != "GET" && request.method != "HEAD") {
      response.set_header("Allow", "GET, HEAD");
      SendError(response, 405, "read-only: GET and HEAD only");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (request.target.size() > kMaxTarget) {
      SendError(response, 414, "request line too long");
      return httplib::Server::HandlerResponse::Handled;
    }
    std::size_t headerBytes = 0;
    for (const auto& [name, value] : request.headers)
      headerBytes += name.size() + value.size();
    if (request.headers.size() > kMaxHeaders || headerBytes > kMaxHeaderBytes) {
      SendError(response, 431, "too many or too large headers");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (!request.body.empty() || request.get_header_value_count("Content-Length") > 0) {
      SendError(response, 413, "requests carry no body");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (options_.token.empty() && !LoopbackHost(request.get_header_value("Host"))) {
      // Without a token only this machine may ask, and only by a loopback name: a web site
      // whose name an attacker points at 127.0.0.1 (DNS rebinding) is not this machine's page.
      SendError(response, 403, "this server answers to loopback names only");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (!Authorised(request)) {
      response.set_header("WWW-Authenticate", "Bearer realm=\"pagora\"");
      SendError(response, 401, "a valid token is required");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });
  s.Get("/api/live", [this](const Request& q, Response& r) { ServeLive(q, r); });
  s.Get("/api/pages", [this](const Request& q, Response& r) { ServePages(q, r); });
  s.Get("/api/status", [this](const Request&, Response& r) { ServeStatus(r); });
  // Any other path names one of the built-in files, whole: there is no file system behind it.
  s.Get(R"(/([A-Za-z0-9_.-]*))", [this](const Request& request, Response& response) {
    std::string name = request.matches[1];
    if (name.empty())
      name = "index.html";
    const EmbeddedFile* file = name.starts_with(".") ? nullptr : FindEmbeddedFile(name);
    if (!file) {
      SendError(response, 404, "not found");
      return;
    }
    if (!options_.token.empty() && request.has_param("token")) {
      // Opened with ?token=: the page's own requests (script, events, searches) carry the
      // cookie from now on, and the token leaves the address bar.
      response.set_header("Set-Cookie", std::string(kTokenCookie) + "=" + options_.token +
                                            "; Path=/; HttpOnly; SameSite=Strict");
    }
    response.set_header("Cache-Control", "no-cache");
    response.set_content(file->data.data(), file->data.size(), ContentTypeFor(name));
  });
  s.set_error_handler([](const Request&, Response& response) {
    if (response.body.empty())
      SendError(response, response.status, response.status == 404 ? "not found" : "refused");
  });
}

void WebServer::ServeLive(const Request& request, Response& response) {
  std::string lastEventId = request.get_header_value("Last-Event-ID");
  if (lastEventId.empty() && request.has_param("last_event_id"))
    lastEventId = request.get_param_value("last_event_id");
  if (lastEventId.size() > kMaxLastEventId)
    lastEventId.clear();
  std::size_t backlog = 0;
  if (request.has_param("backlog")) {
    std::optional<std::int64_t> parsed = ParseInteger(request.get_param_value("backlog"));
    if (!parsed || *parsed < 0) {
      SendError(response, 400, "backlog: not a whole number");
      return;
    }
    backlog = static_cast<std::size_t>(std::min<std::int64_t>(*parsed, kMaxBacklog));
  }
  LiveFeed::ClientHandle client = feed_.Subscribe(lastEventId, backlog);
  if (!client) {
    response.set_header("Retry-After", "5");
    SendError(response, 503, "too many live clients");
    return;
  }
  response.set_header("Cache-Control", "no-store");
  response.set_header("X-Accel-Buffering", "no");
  bool first = true;
  response.set_chunked_content_provider(
      "text/event-stream",
      [this, client, first](std::size_t, httplib::DataSink& sink) mutable {
        if (first) {
          first = false;
          static const std::string kRetry = "retry: 2000\n\n";
          return sink.write(kRetry.data(), kRetry.size());
        }
        bool ended = false;
        auto frames = feed_.Next(client, kStreamKeepAlive, ended);
        for (const auto& frame : frames) {
          if (!sink.write(frame->data(), frame->size()))
            return false;
        }
        if (ended)
          return false;  // dropped or shutting down: the browser reconnects and resumes
        if (frames.empty()) {
          static const std::string kPing = ": keep-alive\n\n";
          return sink.write(kPing.data(), kPing.size());
        }
        return true;
      },
      [this, client](bool) { feed_.Unsubscribe(client); });
}

void WebServer::ServePages(const Request& request, Response& response) {
  PageQuery query;
  std::string error;
  if (!ReadQuery(request, query, error)) {
    SendError(response, 400, error);
    return;
  }
  std::vector<FoundPage> found = search_.Search(query);
  nlohmann::ordered_json pages = nlohmann::ordered_json::array();
  for (FoundPage& page : found) {
    nlohmann::ordered_json item{{"id", page.id}};
    for (auto& [key, value] : page.record.items())
      item[key] = std::move(value);
    pages.push_back(std::move(item));
  }
  nlohmann::ordered_json body{{"pages", std::move(pages)}};
  // The next page of results: the same query with before_id set to this.
  if (found.size() == static_cast<std::size_t>(query.limit))
    body["next_before_id"] = found.back().id;
  else
    body["next_before_id"] = nullptr;
  SendJson(response, body);
}

void WebServer::ServeStatus(Response& response) {
  LiveFeedCounters live = feed_.Counters();
  auto uptime =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started_);
  nlohmann::ordered_json body{{"program", options_.program},
                              {"version", PAGORA_VERSION},
                              {"started", IsoLocalTime(startedAt_)},
                              {"uptime", uptime.count()},
                              {"pages", live.pages},
                              {"pages_per_hour", live.pagesLastHour}};
  {
    std::lock_guard lock(statusMutex_);
    for (const auto& [key, value] : engineStatus_.items())
      body[key] = value;
  }
  nlohmann::ordered_json queue{{"name", "live page stream"},
                               {"clients", live.clients},
                               {"queued", live.longestClientQueue},
                               {"capacity", live.clientQueueCapacity},
                               {"clients_dropped", live.clientsDropped},
                               {"clients_refused", live.clientsRefused},
                               {"history", live.history},
                               {"history_capacity", live.historyCapacity}};
  if (!body.contains("output_queues") || !body["output_queues"].is_array())
    body["output_queues"] = nlohmann::ordered_json::array();
  body["output_queues"].push_back(std::move(queue));
  SendJson(response, body);
}

}  // namespace pagora::web
