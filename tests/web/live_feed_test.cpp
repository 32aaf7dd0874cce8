// The live stream's promises: decoding never waits for a client, a client that falls behind is
// dropped and resumes where it left off, and what can no longer be resumed is announced.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "web/live_feed.h"

namespace pagora::web {
namespace {

using namespace std::chrono_literals;

// The ids ("RUN:N" -> N) and event names of the frames a client has waiting.
struct Received {
  std::vector<std::int64_t> pages;
  std::vector<std::string> gaps;
  bool ended = false;
};

Received Drain(LiveFeed& feed, const LiveFeed::ClientHandle& client) {
  Received r;
  for (const auto& frame : feed.Next(client, 0ms, r.ended)) {
    if (frame->rfind("event: gap", 0) == 0) {
      std::string data = frame->substr(frame->find("data: ") + 6);
      r.gaps.push_back(data.substr(0, data.find('\n')));
      continue;
    }
    std::size_t colon = frame->find(':', 4);
    r.pages.push_back(std::stoll(frame->substr(colon + 1, frame->find('\n') - colon - 1)));
  }
  return r;
}

void PublishPages(LiveFeed& feed, int count) {
  for (int i = 0; i < count; ++i)
    feed.Publish(1000 + i, {{"protocol", "POCSAG"}, {"text", "page " + std::to_string(i)}});
}

std::vector<std::int64_t> Range(std::int64_t first, std::int64_t last) {
  std::vector<std::int64_t> ids;
  for (std::int64_t id = first; id <= last; ++id)
    ids.push_back(id);
  return ids;
}

std::string IdOf(const LiveFeed& feed, std::int64_t n) {
  return feed.runId() + ":" + std::to_string(n);
}

TEST(LiveFeed, EveryClientGetsEveryPageInOrder) {
  LiveFeed feed;
  auto a = feed.Subscribe("", 0);
  auto b = feed.Subscribe("", 0);
  PublishPages(feed, 5);
  EXPECT_EQ(Drain(feed, a).pages, Range(1, 5));
  EXPECT_EQ(Drain(feed, b).pages, Range(1, 5));
}

TEST(LiveFeed, FrameIsOneEventWhateverTheText) {
  LiveFeed feed;
  auto client = feed.Subscribe("", 0);
  feed.Publish(0, {{"text", "line one\r\nid: 99\n\ndata: forged"}});
  bool ended = false;
  auto frames = feed.Next(client, 0ms, ended);
  ASSERT_EQ(frames.size(), 1u);
  const std::string& frame = *frames[0];
  // Exactly one blank line (the end of the event) and no forged field lines.
  EXPECT_EQ(frame.find("\n\n"), frame.size() - 2);
  EXPECT_EQ(frame.find("\nid: 99"), std::string::npos);
  EXPECT_EQ(frame.rfind("id: " + feed.runId() + ":1\nevent: page\ndata: {\"id\":1,", 0), 0u);
}

TEST(LiveFeed, SlowClientIsDroppedWithoutHoldingUpOthers) {
  LiveFeed feed(nullptr, {.history = 100, .clientQueue = 8, .maxClients = 4});
  auto slow = feed.Subscribe("", 0);
  auto fast = feed.Subscribe("", 0);
  std::vector<std::int64_t> fastGot;
  for (int i = 0; i < 30; ++i) {
    PublishPages(feed, 1);
    for (std::int64_t id : Drain(feed, fast).pages)
      fastGot.push_back(id);
  }
  EXPECT_EQ(fastGot, Range(1, 30));
  Received slowGot = Drain(feed, slow);
  EXPECT_TRUE(slowGot.ended);
  EXPECT_EQ(feed.Counters().clientsDropped, 1);

  // The dropped client's browser comes back with the last id it saw and catches up.
  feed.Unsubscribe(slow);
  auto resumed = feed.Subscribe(IdOf(feed, 8), 0);
  ASSERT_NE(resumed, nullptr);
  Received caughtUp = Drain(feed, resumed);
  EXPECT_TRUE(caughtUp.gaps.empty());
  EXPECT_EQ(caughtUp.pages, Range(9, 30));
}

TEST(LiveFeed, ResumeBeyondTheHistoryAnnouncesTheGap) {
  LiveFeed feed(nullptr, {.history = 10, .clientQueue = 64, .maxClients = 4});
  PublishPages(feed, 50);
  auto client = feed.Subscribe(IdOf(feed, 5), 0);
  Received r = Drain(feed, client);
  ASSERT_EQ(r.gaps.size(), 1u);
  EXPECT_EQ(r.gaps[0], R"({"from":6,"to":40})");
  EXPECT_EQ(r.pages, Range(41, 50));
}

TEST(LiveFeed, NewOrForeignIdsGetTheBacklog) {
  LiveFeed feed;
  PublishPages(feed, 20);
  const struct {
    const char* name;
    std::string lastId;
    std::size_t backlog;
    std::vector<std::int64_t> pages;
  } cases[] = {
      {"new client, no backlog", "", 0, {}},
      {"new client, backlog", "", 3, Range(18, 20)},
      {"id of another run", "0123abcd:5", 3, Range(18, 20)},
      {"id from the future", IdOf(feed, 99), 2, Range(19, 20)},
      {"garbage", "::::", 1, Range(20, 20)},
      {"up to date", IdOf(feed, 20), 5, {}},
  };
  for (const auto& c : cases) {
    auto client = feed.Subscribe(c.lastId, c.backlog);
    Received r = Drain(feed, client);
    EXPECT_EQ(r.pages, c.pages) << c.name;
    EXPECT_TRUE(r.gaps.empty()) << c.name;
    feed.Unsubscribe(client);
  }
}

TEST(LiveFeed, ClientCountIsBoundedAndCloseEndsStreams) {
  LiveFeed feed(nullptr, {.history = 10, .clientQueue = 8, .maxClients = 2});
  auto a = feed.Subscribe("", 0);
  auto b = feed.Subscribe("", 0);
  EXPECT_EQ(feed.Subscribe("", 0), nullptr);
  EXPECT_EQ(feed.Counters().clientsRefused, 1);
  feed.Unsubscribe(a);
  EXPECT_NE(feed.Subscribe("", 0), nullptr);
  feed.Close();
  EXPECT_TRUE(Drain(feed, b).ended);
  EXPECT_EQ(feed.Subscribe("", 0), nullptr);
}

TEST(LiveFeed, RecentPagesSeeEveryPageWithItsId) {
  RecentPages recent;
  LiveFeed feed(&recent);
  PublishPages(feed, 3);
  std::vector<FoundPage> found = recent.Search({.text = "page 1"});
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].id, 2);
}

}  // namespace
}  // namespace pagora::web
