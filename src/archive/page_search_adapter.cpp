#include "archive/page_search_adapter.h"

#include <algorithm>
#include <optional>

namespace pagora::archive {

std::vector<web::FoundPage> ArchivePageSearch::Search(const web::PageQuery& query) {
  Query asked;
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
  if (InvalidQuery(asked))
    return {};

  std::vector<Row> rows;
  try {
    std::lock_guard lock(mutex_);
    rows = store_->Search(asked);
  } catch (const ArchiveError&) {
    return {};  // a busy or damaged file: the page shows no results rather than a failure
  }
  std::vector<web::FoundPage> found;
  found.reserve(rows.size());
  for (const Row& row : rows)
    found.push_back({row.id, RowJson(row)});
  return found;
}

}  // namespace pagora::archive
