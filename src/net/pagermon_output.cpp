#include "net/pagermon_output.h"

#include <httplib.h>

#include <cstdio>

#include "net/mqtt_output.h"

namespace pagora::net {
namespace {

std::string FormEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

// The capcode as PagerMon keys it: digits, at least seven, zero-padded on the left.
std::string Address(const Page& page) {
  std::string digits;
  for (char c : page.capcode) {
    if (c == '\0')
      break;
    if (c < '0' || c > '9')
      return "0000000";  // not read: sent rather than lost
    digits += c;
  }
  if (digits.size() < 7)
    digits.insert(0, 7 - digits.size(), '0');
  return digits;
}

// The text as PagerMon shows it in a web page and in notifications: control characters
// become spaces, so nothing received can break a line or drive a terminal downstream.
std::string MessageText(const Page& page) {
  std::string text(page.Text());
  for (char& c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F)
      c = ' ';
  }
  return text;
}

struct ParsedUrl {
  std::string schemeHostPort;
  std::string path;  // "/api/messages" below the base
};

std::optional<ParsedUrl> ParseUrl(const std::string& url, std::string& error) {
  std::size_t schemeEnd = url.find("://");
  std::string scheme = schemeEnd == std::string::npos ? "" : url.substr(0, schemeEnd);
  if (scheme != "http" && scheme != "https") {
    error = "not an http:// or https:// URL: " + url;
    return std::nullopt;
  }
  std::size_t pathStart = url.find('/', schemeEnd + 3);
  ParsedUrl parsed;
  parsed.schemeHostPort = url.substr(0, pathStart);
  if (parsed.schemeHostPort.size() <= schemeEnd + 3) {
    error = "no host in " + url;
    return std::nullopt;
  }
  std::string base = pathStart == std::string::npos ? "" : url.substr(pathStart);
  while (!base.empty() && base.back() == '/')
    base.pop_back();
  if (base.find_first_of("?#") != std::string::npos) {
    error = "the URL should be the server's base address: " + url;
    return std::nullopt;
  }
  parsed.path = base + "/api/messages";
  return parsed;
}

}  // namespace

struct PagerMonOutput::Endpoint {
  explicit Endpoint(const ParsedUrl& url) : client(url.schemeHostPort), path(url.path) {}
  httplib::Client client;
  std::string path;
};

std::string PagerMonForm(const Page& page, const std::string& source) {
  return "address=" + Address(page) + "&message=" + FormEncode(MessageText(page)) +
         "&datetime=" + std::to_string(page.time) + "&source=" + FormEncode(source);
}

std::optional<std::string> PagerMonOutput::CheckUrl(const std::string& url) {
  std::string error;
  if (!ParseUrl(url, error))
    return error;
  return std::nullopt;
}

PagerMonOutput::PagerMonOutput(PagerMonConfig config, Report report)
    : config_(std::move(config)),
      report_(std::move(report)),
      source_(config_.source.empty() ? HostName() : config_.source),
      queue_(config_.queueCapacity, config_.backoff, [this](const std::string& text) {
        if (report_)
          report_("pagermon: " + text);
      }) {
  std::string error;
  if (std::optional<ParsedUrl> url = ParseUrl(config_.url, error)) {
    endpoint_ = std::make_unique<Endpoint>(*url);
    endpoint_->client.set_connection_timeout(config_.timeoutSeconds, 0);
    endpoint_->client.set_read_timeout(config_.timeoutSeconds, 0);
    endpoint_->client.set_write_timeout(config_.timeoutSeconds, 0);
    endpoint_->client.set_keep_alive(true);
  } else if (report_) {
    report_("pagermon: " + error);
  }
  queue_.Start([this](const std::string& form) { return Deliver(form); });
}

PagerMonOutput::~PagerMonOutput() {
  Stop(std::chrono::milliseconds(0));
}

void PagerMonOutput::Write(const Page& page) {
  // An alert: a repeat alerts once, and a rejected page is shown nowhere.
  if (page.rejected || page.repeat)
    return;
  queue_.Push(PagerMonForm(page, source_));
}

void PagerMonOutput::Stop(std::chrono::milliseconds limit) {
  if (stopped_)
    return;
  stopped_ = true;
  queue_.Stop(limit);
}

DeliveryQueue::Result PagerMonOutput::Deliver(const std::string& form) {
  if (!endpoint_)
    return DeliveryQueue::Result::kRetry;
  httplib::Headers headers{{"apikey", config_.apiKey}};
  httplib::Result result =
      endpoint_->client.Post(endpoint_->path, headers, form, "application/x-www-form-urlencoded");
  const int status = result ? result->status : 0;
  if (status >= 200 && status < 300) {
    if (failing_ && report_)
      report_("pagermon: delivering again");
    failing_ = false;
    return DeliveryQueue::Result::kDelivered;
  }
  if (status == 400 || status == 413 || status == 422) {
    if (report_)
      report_("pagermon: the server refused a page (HTTP " + std::to_string(status) + ")");
    return DeliveryQueue::Result::kRefused;
  }
  if (!failing_ && report_) {
    failing_ = true;
    std::string why =
        result ? "HTTP " + std::to_string(status) : httplib::to_string(result.error());
    report_("pagermon: cannot deliver to " + config_.url + ": " + why + " (retrying)");
  }
  return DeliveryQueue::Result::kRetry;
}

}  // namespace pagora::net
