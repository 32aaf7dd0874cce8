// The search behind /api/pages when no archive is configured: the pages of this run.
#include <gtest/gtest.h>

#include "web/recent_pages.h"

namespace pagora::web {
namespace {

nlohmann::ordered_json Record(const char* protocol, const char* capcode, const char* text) {
  return {{"protocol", protocol}, {"capcode", capcode}, {"text", text}};
}

std::vector<std::int64_t> Ids(const std::vector<FoundPage>& found) {
  std::vector<std::int64_t> ids;
  for (const FoundPage& page : found)
    ids.push_back(page.id);
  return ids;
}

// Pages 1..5 at times 100..500.
void AddSample(RecentPages& pages) {
  pages.Add(1, 100, Record("POCSAG", "1234567", "Fire at Main Street"));
  pages.Add(2, 200, Record("FLEX", "002034567", "CALL HOME"));
  pages.Add(3, 300, Record("POCSAG", "1234999", "main gate open"));
  pages.Add(4, 400, Record("GSC", "123456", "5551234"));
  pages.Add(5, 500, Record("POCSAG", "7654321", ""));
}

struct SearchCase {
  const char* name;
  PageQuery query;
  std::vector<std::int64_t> ids;
};

TEST(RecentPages, FiltersCombineNewestFirst) {
  const SearchCase cases[] = {
      {"all", {}, {5, 4, 3, 2, 1}},
      {"text any case", {.text = "MAIN"}, {3, 1}},
      {"text no match", {.text = "nothing"}, {}},
      {"capcode exact", {.capcode = "1234567"}, {1}},
      {"capcode wildcards", {.capcode = "1234???"}, {3, 1}},
      {"capcode length differs", {.capcode = "123456"}, {4}},
      {"protocol any case", {.protocol = "pocsag"}, {5, 3, 1}},
      {"protocol is whole", {.protocol = "POC"}, {}},
      {"since", {.since = 300}, {5, 4, 3}},
      {"until", {.until = 200}, {2, 1}},
      {"since and until", {.since = 200, .until = 400}, {4, 3, 2}},
      {"limit", {.limit = 2}, {5, 4}},
      {"before id pages on", {.limit = 2, .beforeId = 4}, {3, 2}},
      {"limit below one is one", {.limit = 0}, {5}},
      {"all filters", {.text = "gate", .capcode = "1234???", .protocol = "POCSAG"}, {3}},
  };
  RecentPages pages(100);
  AddSample(pages);
  for (const SearchCase& c : cases)
    EXPECT_EQ(Ids(pages.Search(c.query)), c.ids) << c.name;
}

TEST(RecentPages, RingDropsTheOldest) {
  RecentPages pages(3);
  for (int id = 1; id <= 5; ++id)
    pages.Add(id, id, Record("POCSAG", "1", "x"));
  EXPECT_EQ(pages.size(), 3u);
  EXPECT_EQ(Ids(pages.Search({})), (std::vector<std::int64_t>{5, 4, 3}));
}

TEST(RecentPages, RecordsComeBackWhole) {
  RecentPages pages(100);
  AddSample(pages);
  std::vector<FoundPage> found = pages.Search({.capcode = "002034567"});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].record, Record("FLEX", "002034567", "CALL HOME"));
}

TEST(CapcodePattern, DigitForDigit) {
  EXPECT_TRUE(CapcodePatternMatches("12?4", "1234"));
  EXPECT_TRUE(CapcodePatternMatches("????", "0000"));
  EXPECT_FALSE(CapcodePatternMatches("12?4", "1235"));
  EXPECT_FALSE(CapcodePatternMatches("123", "1234"));
  EXPECT_FALSE(CapcodePatternMatches("1234", ""));
}

}  // namespace
}  // namespace pagora::web
