#include "cli/page_delivery.h"

#include <algorithm>
#include <exception>

#include "archive/archive.h"
#include "engine/monitor.h"

namespace pagora::cli {

namespace {
enum { kExitUsage = 2, kExitOutput = 3 };
}

PageDelivery::PageDelivery(std::function<void(const std::string&)> report)
    : report_(std::move(report)), net_(report_) {}

// Engines are detached by their owners: an engine may be gone before the delivery.
PageDelivery::~PageDelivery() = default;

std::optional<PageDelivery::Failure> PageDelivery::Open(const NetOptions& net, std::size_t queue,
                                                        const std::string& archivePath,
                                                        AppSettings& settings) {
  std::optional<std::string> netError = ApplyNetOptions(net, settings);
  if (!netError)
    netError = net_.Open(settings, queue);
  if (netError)
    return Failure{*netError, kExitUsage};

  std::string path = archivePath;
  if (path.empty() && settings.archiveEnabled != 0)
    path = settings.archiveFile.empty() ? archive::DefaultArchivePath() : settings.archiveFile;
  if (path.empty() && settings.archiveEnabled == 0)
    return std::nullopt;
  try {
    if (path.empty())
      throw archive::ArchiveError("no archive file given and no home folder");
    archiveWriter_ = std::make_unique<archive::Writer>(archive::OpenSqlite(path));
  } catch (const std::exception& e) {
    return Failure{e.what(), kExitOutput};
  }
  archiveOutput_.emplace(*archiveWriter_);
  archivePath_ = path;
  return std::nullopt;
}

void PageDelivery::Attach(Monitor& m) {
  if (!net_.empty())
    m.pageOutputs.Add(net_.Input());
  Engine engine{&m, nullptr};
  // The archive gets whole messages, like JSON.
  if (archiveOutput_) {
    engine.archiveJoiner = std::make_unique<FragmentJoiner>(*archiveOutput_);
    m.pageOutputs.Add(*engine.archiveJoiner);
  }
  engines_.push_back(std::move(engine));
}

void PageDelivery::Detach(Monitor& m) {
  auto it = std::find_if(engines_.begin(), engines_.end(),
                         [&](const Engine& e) { return e.monitor == &m; });
  if (it == engines_.end())
    return;
  if (!net_.empty())
    m.pageOutputs.Remove(net_.Input());
  if (it->archiveJoiner) {
    m.pageOutputs.Remove(*it->archiveJoiner);
    it->archiveJoiner->Flush();
  }
  engines_.erase(it);
}

bool PageDelivery::Finish(std::chrono::seconds limit) {
  for (Engine& e : engines_) {
    if (e.archiveJoiner)
      e.archiveJoiner->Flush();
  }
  // Pages lost by a network output fail the run like a log file that could not be written.
  std::vector<std::string> netLosses = net_.Finish(limit);
  for (const std::string& line : netLosses)
    report_(line);
  bool complete = netLosses.empty();
  if (archiveWriter_) {
    archiveWriter_->Close();
    if (archiveWriter_->dropped() > 0) {
      report_("archive: " + std::to_string(archiveWriter_->dropped()) +
              " pages not stored (queue full)");
    }
    if (archiveWriter_->failed() > 0) {
      report_("archive: " + std::to_string(archiveWriter_->failed()) +
              " pages not stored: " + archiveWriter_->error());
    }
    complete = complete && archiveWriter_->dropped() == 0 && archiveWriter_->failed() == 0;
  }
  return complete;
}

}  // namespace pagora::cli
