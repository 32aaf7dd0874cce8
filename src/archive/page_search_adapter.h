// The archive as the search behind the web page's /api/pages: pagora-decode with an archive, and
// pagora-archive, let the page search every stored page, not only those heard in this run.
#pragma once

#include <memory>
#include <mutex>

#include "archive/archive.h"
#include "web/page_search.h"

namespace pagora::archive {

class ArchivePageSearch : public web::PageSearch {
 public:
  // `store` is a connection of its own (the writer keeps another): the file is in WAL mode,
  // so searches read while pages are written.
  explicit ArchivePageSearch(std::unique_ptr<Store> store) : store_(std::move(store)) {}

  // The server's threads call this at once; a store connection serves one query at a time.
  // The text is matched as words (every word must appear, a trailing * matches any ending); a
  // query the archive refuses (a capcode pattern with other characters) finds nothing.
  std::vector<web::FoundPage> Search(const web::PageQuery& query) override;

 private:
  std::mutex mutex_;
  std::unique_ptr<Store> store_;
};

}  // namespace pagora::archive
