#include "cli/http_front.h"

#include "engine/monitor.h"

namespace pagora::cli {

HttpFront::HttpFront(Monitor& m, std::vector<web::InputDescription> inputs,
                     std::unique_ptr<web::PageSearch> archive, web::WebServerOptions options)
    : m_(m),
      inputs_(std::move(inputs)),
      archive_(std::move(archive)),
      search_(archive_ ? *archive_ : static_cast<web::PageSearch&>(recent_)),
      server_(feed_, search_, std::move(options)) {}

std::unique_ptr<HttpFront> HttpFront::Start(const std::string& listen, const std::string& tokenFile,
                                            Monitor& m, std::vector<web::InputDescription> inputs,
                                            std::unique_ptr<web::PageSearch> archive,
                                            std::string& error) {
  web::WebServerOptions options;
  if (!web::ParseListenAddress(listen, options.address, options.port)) {
    error = "--http: expected ADDRESS:PORT or PORT, got " + listen;
    return nullptr;
  }
  if (!tokenFile.empty() && !web::ReadTokenFile(tokenFile, options.token, error))
    return nullptr;
  std::unique_ptr<HttpFront> front(
      new HttpFront(m, std::move(inputs), std::move(archive), std::move(options)));
  if (!front->server_.Start(error))
    return nullptr;
  front->Tick();
  front->AddEngine(m);
  return front;
}

void HttpFront::AddEngine(Monitor& m) {
  m.pageOutputs.Add(feed_);
  fed_.push_back(&m);
}

HttpFront::~HttpFront() {
  for (Monitor* m : fed_)
    m->pageOutputs.Remove(feed_);
  server_.Stop();
}

void HttpFront::Tick() {
  auto now = std::chrono::steady_clock::now();
  if (now - lastStatus_ < std::chrono::milliseconds(500))
    return;
  lastStatus_ = now;
  nlohmann::ordered_json status = web::EngineStatus(m_, inputs_);
  for (Monitor* other : fed_) {
    if (other != &m_)
      web::AddEngineCounts(status, *other);
  }
  server_.PublishStatus(std::move(status));
}

}  // namespace pagora::cli
