// Where pagora-decode delivers pages beyond its own standard output: the network outputs (MQTT,
// PagerMon) and the page archive. One delivery serves every engine of a run, so that a band of
// channels reaches one broker connection and one archive; each engine gets a fragment joiner of
// its own in front of the archive, because fragments of one message come from one channel.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_writer.h"
#include "cli/net_outputs.h"
#include "config/settings.h"
#include "net/network_outputs.h"
#include "output/fragment_joiner.h"

namespace pagora {
class Monitor;
}

namespace pagora::cli {

class PageDelivery {
 public:
  explicit PageDelivery(std::function<void(const std::string&)> report);
  ~PageDelivery();
  PageDelivery(const PageDelivery&) = delete;
  PageDelivery& operator=(const PageDelivery&) = delete;

  // Opens the network outputs (the options over the settings, which gain them) and the archive
  // (`archivePath`, else the settings' choice). On failure the message and the exit status.
  struct Failure {
    std::string message;
    int status;
  };
  std::optional<Failure> Open(const NetOptions& net, std::size_t queue,
                              const std::string& archivePath, AppSettings& settings);

  // Adds the outputs to an engine's list; Detach before the engine goes.
  void Attach(Monitor& m);
  void Detach(Monitor& m);

  // The archive's file when one is open (the web page searches it), else empty.
  const std::string& archivePath() const { return archivePath_; }

  // Flushes held fragments, waits up to `limit` for the network outputs and closes the archive;
  // every loss is reported. True when every page was delivered.
  bool Finish(std::chrono::seconds limit);

 private:
  struct Engine {
    Monitor* monitor;
    std::unique_ptr<FragmentJoiner> archiveJoiner;
  };
  std::function<void(const std::string&)> report_;
  net::NetworkOutputs net_;
  std::string archivePath_;
  std::unique_ptr<archive::Writer> archiveWriter_;
  std::optional<archive::ArchiveOutput> archiveOutput_;
  std::vector<Engine> engines_;
};

}  // namespace pagora::cli
