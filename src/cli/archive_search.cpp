#include "cli/archive_search.h"

#include <algorithm>
#include <optional>

namespace pagora::cli {

std::vector<web::FoundPage> ArchivePageSearch::Search(const web::PageQuery& query) {
  archive::Query asked;
  asked.text = query.text;
  asked.capcode = query.capcode;
  asked.protocol = query.protocol;
  if (query.since > 0)
    asked.since = query.since;
  if (query.until > 0)
    asked.until = query.until;
  asked.limit = std::clamp(query.limit, 1, web::kMaxLimit);
  if (query.beforeId > 0)
    asked.beforeId = query.beforeId;
  if (archive::InvalidQuery(asked))
    return {};

  std::vector<archive::Row> rows;
  try {
    std::lock_guard lock(mutex_);
    rows = store_->Search(asked);
  } catch (const archive::ArchiveError&) {
    return {};  // a busy or damaged file: the page shows no results rather than a failure
  }
  std::vector<web::FoundPage> found;
  found.reserve(rows.size());
  for (const archive::Row& row : rows)
    found.push_back({row.id, archive::RowJson(row)});
  return found;
}

}  // namespace pagora::cli
