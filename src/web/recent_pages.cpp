#include "web/recent_pages.h"

#include <algorithm>
#include <cctype>

namespace pagora::web {
namespace {

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

std::string StringMember(const nlohmann::ordered_json& record, const char* key) {
  auto it = record.find(key);
  return it != record.end() && it->is_string() ? it->get<std::string>() : std::string();
}

}  // namespace

bool CapcodePatternMatches(std::string_view pattern, std::string_view capcode) {
  if (pattern.size() != capcode.size())
    return false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '?' && pattern[i] != capcode[i])
      return false;
  }
  return true;
}

bool ContainsNoCase(std::string_view haystack, std::string_view needle) {
  if (needle.empty())
    return true;
  auto it = std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end(),
                        [](char a, char b) { return Lower(a) == Lower(b); });
  return it != haystack.end();
}

void RecentPages::Add(std::int64_t id, std::int64_t time, nlohmann::ordered_json record) {
  Entry entry{id,
              time,
              StringMember(record, "protocol"),
              StringMember(record, "capcode"),
              StringMember(record, "text"),
              std::move(record)};
  std::lock_guard lock(mutex_);
  if (capacity_ == 0)
    return;
  if (entries_.size() >= capacity_)
    entries_.pop_front();
  entries_.push_back(std::move(entry));
}

std::size_t RecentPages::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

bool RecentPages::Matches(const Entry& entry, const PageQuery& query) const {
  if (query.beforeId > 0 && entry.id >= query.beforeId)
    return false;
  if (query.since > 0 && entry.time < query.since)
    return false;
  if (query.until > 0 && entry.time > query.until)
    return false;
  if (!query.protocol.empty() && (query.protocol.size() != entry.protocol.size() ||
                                  !ContainsNoCase(entry.protocol, query.protocol))) {
    return false;
  }
  if (!query.capcode.empty() && !CapcodePatternMatches(query.capcode, entry.capcode))
    return false;
  return ContainsNoCase(entry.text, query.text);
}

std::vector<FoundPage> RecentPages::Search(const PageQuery& query) {
  std::size_t limit = static_cast<std::size_t>(std::clamp(query.limit, 1, kMaxLimit));
  std::vector<FoundPage> found;
  std::lock_guard lock(mutex_);
  for (auto it = entries_.rbegin(); it != entries_.rend() && found.size() < limit; ++it) {
    if (Matches(*it, query))
      found.push_back({it->id, it->record});
  }
  return found;
}

}  // namespace pagora::web
