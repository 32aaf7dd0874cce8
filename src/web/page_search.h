// The question the web page asks of stored pages, and the narrow interface that answers it. The
// archive answers it from its database; without an archive, the pages heard in this run answer
// it (RecentPages).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pagora::web {

struct PageQuery {
  std::string text{};                 // substring of the page text, case-insensitive; empty = any
  std::string capcode{};              // capcode digits, '?' matches any one digit; empty = any
  std::string protocol{};             // "POCSAG", "FLEX", "GSC" (any case); empty = any
  std::int64_t since = 0, until = 0;  // calendar seconds, inclusive; 0 = open
  int limit = 50;                     // 1..kMaxLimit pages, newest first
  std::int64_t beforeId = 0;          // only pages older than this id (the next page of results)
};

struct FoundPage {
  std::int64_t id;
  nlohmann::ordered_json record;  // the page's JSON object; "stations" (array) when known
};

class PageSearch {
 public:
  virtual ~PageSearch() = default;
  virtual std::vector<FoundPage> Search(const PageQuery&) = 0;
};

inline constexpr int kMaxLimit = 500;

}  // namespace pagora::web
