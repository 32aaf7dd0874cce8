// Joining the fragments of long FLEX messages for the outputs: what is held, what is joined,
// and what is passed on incomplete when a part never comes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "output/fragment_joiner.h"

namespace pagora {
namespace {

struct Recorder : PageOutput {
  std::vector<Page> pages;
  void Write(const Page& page) override { pages.push_back(page); }
};

// A part: 'K' whole, 'F' a first part with more to come, 'M' a middle part, 'C' a last part.
Page Part(const char* capcode, char kind, const std::string& text, std::int64_t time) {
  Page page;
  page.protocol = Protocol::kFlex;
  std::strncpy(page.capcode.data(), capcode, page.capcode.size() - 1);
  page.type = "alpha";
  page.time = time;
  page.continues = kind == 'F' || kind == 'M';
  page.laterPart = kind == 'M' || kind == 'C';
  for (char c : text)
    AppendReceived(page, c);
  return page;
}

TEST(FragmentJoinerTest, JoinsHoldsAndGivesUp) {
  struct Step {
    Page page;
    bool flush;
  };
  struct Expected {
    std::string capcode, text;
    int parts;
    bool incomplete;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    std::vector<Expected> out;
  };
  const Case cases[] = {
      {"whole pages pass", {{Part("1", 'K', "one", 0), false}}, {{"1", "one", 1, false}}},
      {"three parts, another capcode between",
       {{Part("1", 'F', "ab", 0), false},
        {Part("2", 'K', "x", 1), false},
        {Part("1", 'M', "cd", 2), false},
        {Part("1", 'C', "ef", 4), false}},
       {{"2", "x", 1, false}, {"1", "abcdef", 3, false}}},
      {"a lost ending is given up after the wait",
       {{Part("1", 'F', "ab", 0), false}, {Part("2", 'K', "late", 121), false}},
       {{"1", "ab", 1, true}, {"2", "late", 1, false}}},
      {"a new beginning ends the held message",
       {{Part("1", 'F', "ab", 0), false},
        {Part("1", 'F', "new", 2), false},
        {Part("1", 'C', "end", 3), false}},
       {{"1", "ab", 1, true}, {"1", "newend", 2, false}}},
      {"an ending without its beginning",
       {{Part("1", 'C', "end", 0), false}},
       {{"1", "end", 1, true}}},
      {"the end of the input", {{Part("1", 'F', "ab", 0), true}}, {{"1", "ab", 1, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Recorder recorder;
    FragmentJoiner joiner(recorder);
    for (const Step& step : c.steps) {
      joiner.Write(step.page);
      if (step.flush)
        joiner.Flush();
    }
    ASSERT_EQ(recorder.pages.size(), c.out.size());
    for (std::size_t i = 0; i < c.out.size(); ++i) {
      const Page& page = recorder.pages[i];
      EXPECT_STREQ(page.capcode.data(), c.out[i].capcode.c_str());
      EXPECT_EQ(page.Text(), c.out[i].text);
      EXPECT_EQ(page.parts, c.out[i].parts);
      EXPECT_EQ(page.incomplete, c.out[i].incomplete);
    }
  }
}

}  // namespace
}  // namespace pagora
