// The pages heard in this run, newest first, as a PageSearch: what /api/pages answers from when
// no archive is configured. Bounded: the oldest page goes when a new one arrives on a full ring.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "web/page_search.h"

namespace pagora::web {

// True when `capcode` matches `pattern` digit for digit, '?' matching any one digit. Patterns
// and capcodes of different lengths do not match.
bool CapcodePatternMatches(std::string_view pattern, std::string_view capcode);

// True when `needle` occurs in `haystack`, ASCII letters compared without case.
bool ContainsNoCase(std::string_view haystack, std::string_view needle);

class RecentPages : public PageSearch {
 public:
  static constexpr std::size_t kDefaultCapacity = 20000;

  explicit RecentPages(std::size_t capacity = kDefaultCapacity) : capacity_(capacity) {}

  // Keeps a page (its JSON object, with "time" in calendar seconds as `time`); thread-safe.
  void Add(std::int64_t id, std::int64_t time, nlohmann::ordered_json record);
  std::vector<FoundPage> Search(const PageQuery& query) override;
  std::size_t size() const;
  std::size_t capacity() const { return capacity_; }

 private:
  struct Entry {
    std::int64_t id;
    std::int64_t time;
    std::string protocol;
    std::string capcode;
    std::string text;
    nlohmann::ordered_json record;
  };
  bool Matches(const Entry& entry, const PageQuery& query) const;

  std::size_t capacity_;
  mutable std::mutex mutex_;
  std::deque<Entry> entries_;  // oldest first
};

}  // namespace pagora::web
