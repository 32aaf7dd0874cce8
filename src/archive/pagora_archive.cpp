// pagora-archive: one archive for a region's receivers. Subscribes to <prefix>/+/pages on one
// or more MQTT brokers and stores every page; a page several receivers heard is one row with
// every station. Runs until SIGINT or SIGTERM, then commits what it has and reports.
#include <mosquitto.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "archive/archive.h"
#include "archive/archive_writer.h"
#include "archive/page_search_adapter.h"
#include "web/live_feed.h"
#include "web/web_server.h"

namespace pagora::archive {
namespace {

enum ExitStatus { kExitOk = 0, kExitArchive = 1, kExitUsage = 2, kExitLost = 3 };

struct BrokerAddress {
  std::string host;
  int port = 1883;
};

// mqtt://host[:port], host[:port] or [v6]:port; no user or password (those come from
// --user and --password-file, never from a command line that `ps` shows).
std::optional<BrokerAddress> ParseBrokerUrl(std::string url) {
  if (url.rfind("mqtt://", 0) == 0)
    url = url.substr(7);
  else if (url.find("://") != std::string::npos)
    return std::nullopt;
  if (!url.empty() && url.back() == '/')
    url.pop_back();
  if (url.find('@') != std::string::npos || url.find('/') != std::string::npos || url.empty())
    return std::nullopt;
  BrokerAddress address;
  std::size_t colon = url.rfind(':');
  if (url[0] == '[') {
    std::size_t close = url.find(']');
    if (close == std::string::npos)
      return std::nullopt;
    address.host = url.substr(1, close - 1);
    colon = close + 1 < url.size() && url[close + 1] == ':' ? close + 1 : std::string::npos;
  } else {
    address.host = url.substr(0, colon);
  }
  if (colon != std::string::npos) {
    std::string port = url.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != port.npos)
      return std::nullopt;
    address.port = std::stoi(port);
    if (address.port < 1 || address.port > 65535)
      return std::nullopt;
  }
  if (address.host.empty())
    return std::nullopt;
  return address;
}

struct Counters {
  std::atomic<std::uint64_t> received{0};
  std::atomic<std::uint64_t> rejected{0};  // not a page object
};

// One broker: subscribed on every (re)connection, pages handed to the writer.
class Subscription {
 public:
  Subscription(const BrokerAddress& address, const std::string& clientId, const std::string& user,
               const std::string& password, const std::string& prefix, Writer& writer,
               Counters& counters, web::LiveFeed* feed)
      : address_(address), prefix_(prefix), writer_(writer), counters_(counters), feed_(feed) {
    // A persistent session: pages published while the archiver was away wait at the broker.
    client_ = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), clientId.empty(), this);
    if (!client_)
      throw ArchiveError("cannot make an MQTT client");
    mosquitto_int_option(client_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (!user.empty())
      mosquitto_username_pw_set(client_, user.c_str(),
                                password.empty() ? nullptr : password.c_str());
    mosquitto_reconnect_delay_set(client_, 1, 30, true);
    mosquitto_connect_callback_set(client_, OnConnect);
    mosquitto_message_callback_set(client_, OnMessage);
    mosquitto_disconnect_callback_set(client_, OnDisconnect);
  }
  ~Subscription() {
    // A disconnect ends the client's thread, also while it waits to reconnect.
    mosquitto_disconnect(client_);
    mosquitto_loop_stop(client_, false);
    mosquitto_destroy(client_);
  }
  void Start() {
    int rc = mosquitto_connect_async(client_, address_.host.c_str(), address_.port, 30);
    if (rc != MOSQ_ERR_SUCCESS)
      Report("cannot reach broker: " + std::string(mosquitto_strerror(rc)) + " (retrying)");
    rc = mosquitto_loop_start(client_);
    if (rc != MOSQ_ERR_SUCCESS)
      throw ArchiveError("cannot start the MQTT client: " + std::string(mosquitto_strerror(rc)));
  }

 private:
  void Report(const std::string& text) {
    std::cerr << "pagora-archive: " << address_.host << ":" << address_.port << ": " << text
              << std::endl;
  }
  static void OnConnect(mosquitto* client, void* self, int rc) {
    auto* s = static_cast<Subscription*>(self);
    if (rc != 0) {
      s->Report("connection refused: " + std::string(mosquitto_connack_string(rc)));
      return;
    }
    std::string topic = s->prefix_ + "/+/pages";
    mosquitto_subscribe(client, nullptr, topic.c_str(), 1);
    s->Report("connected, subscribed to " + topic);
  }
  static void OnDisconnect(mosquitto*, void* self, int rc) {
    if (rc != 0)
      static_cast<Subscription*>(self)->Report("connection lost (reconnecting)");
  }
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* s = static_cast<Subscription*>(self);
    ++s->counters_.received;
    // <prefix>/<station>/pages: the station is the level between.
    std::string topic = message->topic ? message->topic : "";
    std::string station;
    if (topic.size() > s->prefix_.size() + 7 && topic.rfind(s->prefix_ + "/", 0) == 0)
      station = topic.substr(s->prefix_.size() + 1, topic.size() - s->prefix_.size() - 7);
    std::string payload(
        static_cast<const char*>(message->payload),
        static_cast<std::size_t>(message->payloadlen > 0 ? message->payloadlen : 0));
    std::optional<StoredPage> page = FromJson(payload, station);
    if (!page) {
      ++s->counters_.rejected;
      return;
    }
    if (s->feed_) {
      // The web page's live feed shows every copy as it arrives; the archive keeps one.
      nlohmann::ordered_json record = nlohmann::ordered_json::parse(page->json, nullptr, false);
      if (record.is_object())
        s->feed_->Publish(page->time, std::move(record));
    }
    s->writer_.Add(std::move(*page));
  }

  BrokerAddress address_;
  std::string prefix_;
  Writer& writer_;
  Counters& counters_;
  web::LiveFeed* feed_;  // null without --http
  mosquitto* client_ = nullptr;
};

std::string ReadSecret(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
    line.pop_back();
  return line;
}

int Run(int argc, char** argv) {
  CLI::App app{"Stores the pages that Pagora receivers publish to MQTT in one archive.",
               "pagora-archive"};
  app.set_version_flag("--version", std::string("pagora-archive ") + PAGORA_VERSION);
  app.footer(
      "Subscribes to PREFIX/+/pages on every broker (QoS 1). A page that several receivers\n"
      "heard within --window seconds (same protocol, capcode, function and text) is stored\n"
      "once with every station; the copy without errors is the one kept.\n\n"
      "Exit status: 0 after SIGINT/SIGTERM with every page stored, 1 when the archive could\n"
      "not be opened, 2 for wrong options, 3 when pages were lost (queue full, archive\n"
      "unwritable).");
  std::vector<std::string> urls;
  std::string archivePath, postgres, prefix = "pagora", clientId, user, passwordFile;
  std::int64_t window = Store::kDefaultWindowSeconds;
  std::size_t queue = Writer::kDefaultQueueLimit;
  std::string http, httpTokenFile;
  app.add_option("--mqtt", urls, "Broker to subscribe to, mqtt://HOST[:PORT] (repeatable)")
      ->required();
  app.add_option("--archive", archivePath,
                 "SQLite archive file (default: $XDG_DATA_HOME/pagora/archive.db)");
  app.add_option("--postgres", postgres, "PostgreSQL connection string instead of a file");
  app.add_option("--prefix", prefix, "Topic prefix the receivers publish under")
      ->default_val("pagora");
  app.add_option("--window", window, "Seconds within which copies are the same page")
      ->default_val(Store::kDefaultWindowSeconds)
      ->check(CLI::Range(0, 3600));
  app.add_option("--client-id", clientId,
                 "MQTT client id; with one, the brokers keep pages for it while it is away");
  app.add_option("--user", user, "MQTT user name");
  app.add_option("--password-file", passwordFile, "File whose first line is the MQTT password")
      ->check(CLI::ExistingFile);
  app.add_option("--queue", queue, "Pages held while the archive is busy")
      ->default_val(Writer::kDefaultQueueLimit)
      ->check(CLI::Range(std::size_t{1000}, std::size_t{10000000}));
  app.add_option("--http", http,
                 "Serve the live web page and the HTTP API over the archive on ADDRESS:PORT "
                 "(address 127.0.0.1 when only a port is given)");
  app.add_option("--http-token-file", httpTokenFile,
                 "Token every HTTP request must carry; required for any address other than "
                 "loopback")
      ->check(CLI::ExistingFile);
  app.get_option("--postgres")->excludes(app.get_option("--archive"));
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kExitOk : kExitUsage;
  }
  if (prefix.empty() || prefix.find_first_of("+#") != std::string::npos) {
    std::cerr << "pagora-archive: --prefix: no wildcards (+, #) and not empty\n";
    return kExitUsage;
  }
  std::vector<BrokerAddress> brokers;
  for (const std::string& url : urls) {
    std::optional<BrokerAddress> address = ParseBrokerUrl(url);
    if (!address) {
      std::cerr << "pagora-archive: --mqtt: not mqtt://HOST[:PORT]: " << url << "\n";
      return kExitUsage;
    }
    brokers.push_back(*address);
  }
  std::string password = passwordFile.empty() ? "" : ReadSecret(passwordFile);
  if (const char* env = std::getenv("PAGORA_MQTT_PASSWORD"); password.empty() && env)
    password = env;

  // SIGINT and SIGTERM are waited for below; every thread started from here on blocks them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::unique_ptr<Store> store;
  try {
    if (!postgres.empty()) {
      store = OpenPostgres(postgres);
    } else {
      if (archivePath.empty())
        archivePath = DefaultArchivePath();
      if (archivePath.empty()) {
        std::cerr << "pagora-archive: no archive file given and no home folder\n";
        return kExitArchive;
      }
      store = OpenSqlite(archivePath);
    }
  } catch (const std::exception& e) {
    std::cerr << "pagora-archive: " << e.what() << "\n";
    return kExitArchive;
  }
  store->SetWindow(window);
  Writer writer(std::move(store), queue);
  Counters counters;

  // The web page: pages live as they arrive from the receivers, searches over the whole archive
  // through a connection of their own.
  std::unique_ptr<web::LiveFeed> feed;
  std::unique_ptr<ArchivePageSearch> search;
  std::unique_ptr<web::WebServer> server;
  if (!http.empty()) {
    web::WebServerOptions options;
    options.program = "pagora-archive";
    std::string error;
    if (!web::ParseListenAddress(http, options.address, options.port)) {
      std::cerr << "pagora-archive: --http: expected ADDRESS:PORT or PORT, got " << http << "\n";
      return kExitUsage;
    }
    if (!httpTokenFile.empty() && !web::ReadTokenFile(httpTokenFile, options.token, error)) {
      std::cerr << "pagora-archive: --http: " << error << "\n";
      return kExitUsage;
    }
    try {
      search = std::make_unique<ArchivePageSearch>(postgres.empty() ? OpenSqlite(archivePath)
                                                                    : OpenPostgres(postgres));
    } catch (const std::exception& e) {
      std::cerr << "pagora-archive: " << e.what() << "\n";
      return kExitArchive;
    }
    feed = std::make_unique<web::LiveFeed>();
    server = std::make_unique<web::WebServer>(*feed, *search, options);
    if (!server->Start(error)) {
      std::cerr << "pagora-archive: --http: " << error << "\n";
      return kExitUsage;
    }
  }

  mosquitto_lib_init();
  int status = kExitOk;
  {
    std::vector<std::unique_ptr<Subscription>> subscriptions;
    try {
      for (const BrokerAddress& broker : brokers) {
        subscriptions.push_back(std::make_unique<Subscription>(
            broker, clientId, user, password, prefix, writer, counters, feed.get()));
        subscriptions.back()->Start();
      }
    } catch (const std::exception& e) {
      std::cerr << "pagora-archive: " << e.what() << "\n";
      status = kExitArchive;
    }
    // Until SIGINT or SIGTERM; the web page's status follows the counts every second.
    const timespec second{1, 0};
    while (status == kExitOk && sigtimedwait(&stopSignals, nullptr, &second) < 0) {
      if (server) {
        server->PublishStatus({{"received", counters.received.load()},
                               {"stored", writer.stored()},
                               {"dropped", writer.dropped()},
                               {"lost", writer.failed()}});
      }
    }
  }  // every subscription disconnected: no page comes after this
  if (server)
    server->Stop();
  writer.Close();
  mosquitto_lib_cleanup();

  std::cerr << "pagora-archive: " << counters.received.load() << " pages received, "
            << writer.stored() << " stored";
  if (counters.rejected > 0)
    std::cerr << ", " << counters.rejected.load() << " messages not pages";
  if (writer.dropped() > 0)
    std::cerr << ", " << writer.dropped() << " dropped (queue full)";
  if (writer.failed() > 0)
    std::cerr << ", " << writer.failed() << " lost: " << writer.error();
  std::cerr << "\n";
  if (status == kExitOk && (writer.dropped() > 0 || writer.failed() > 0))
    status = kExitLost;
  return status;
}

}  // namespace
}  // namespace pagora::archive

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  return pagora::archive::Run(argc, argv);
}
