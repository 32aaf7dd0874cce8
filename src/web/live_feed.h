// Completed pages as server-sent events for the web page's live view.
//
// Write runs on the engine's thread in the middle of decoding, so it never waits for a client:
// it formats the event once, keeps it in a bounded history (for clients that resume) and
// appends it to every client's bounded queue. A client whose queue is full has fallen behind:
// it is dropped (its connection ends) and counted; its browser reconnects with Last-Event-ID
// and catches up from the history, or is told what it missed (a "gap" event) when the history
// no longer reaches back that far.
//
// Event ids are "RUN:N": N counts the pages of this run from 1, RUN tells runs apart, so an id
// from before a restart is not taken for one of this run.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "output/page.h"
#include "web/recent_pages.h"

namespace pagora::web {

struct LiveFeedLimits {
  std::size_t history = 2000;     // events kept for clients that resume
  std::size_t clientQueue = 512;  // events waiting for one client before it is dropped
  std::size_t maxClients = 64;    // event streams open at once
};

struct LiveFeedCounters {
  std::int64_t pages = 0;           // pages published in this run
  std::size_t clients = 0;          // event streams open now
  std::int64_t clientsDropped = 0;  // streams ended because their client fell behind
  std::int64_t clientsRefused = 0;  // streams refused because maxClients were open
  std::size_t history = 0;
  std::size_t historyCapacity = 0;
  std::size_t clientQueueCapacity = 0;
  std::size_t longestClientQueue = 0;
  std::int64_t pagesLastHour = 0;  // by the wall clock
};

class LiveFeed : public PageOutput {
 public:
  using Clock = std::chrono::steady_clock;

  struct Client {
    std::deque<std::shared_ptr<const std::string>> queue;
    bool dropped = false;
    // Frames that may wait before the client counts as fallen behind: the queue's capacity,
    // plus the replay it started with until it has taken that.
    std::size_t limit = 0;
  };
  using ClientHandle = std::shared_ptr<Client>;

  // `recent` (not owned, may be null) also receives every page, for /api/pages.
  explicit LiveFeed(RecentPages* recent = nullptr, LiveFeedLimits limits = {});

  void Write(const Page& page) override;
  // Publishes a page given as its JSON object; what Write does after formatting. Returns its id.
  std::int64_t Publish(std::int64_t time, nlohmann::ordered_json record);

  // Opens a stream. `lastEventId` is the Last-Event-ID the client sent (empty for a new one);
  // a new client gets up to `backlog` of the latest events first. Null when maxClients are open
  // or the feed is closed.
  ClientHandle Subscribe(const std::string& lastEventId, std::size_t backlog);
  void Unsubscribe(const ClientHandle& client);
  // The frames waiting for `client`, waiting up to `wait` for one. Empty when none came; with
  // `ended` set when the client was dropped or the feed closed.
  std::vector<std::shared_ptr<const std::string>> Next(const ClientHandle& client,
                                                       std::chrono::milliseconds wait, bool& ended);
  // Ends every stream (server shutdown); Subscribe refuses from now on.
  void Close();

  LiveFeedCounters Counters() const;
  const std::string& runId() const { return runId_; }
  const LiveFeedLimits& limits() const { return limits_; }

 private:
  struct Event {
    std::int64_t id;
    std::shared_ptr<const std::string> frame;
  };
  static std::int64_t MinuteOf(Clock::time_point t);
  void CountMinute(Clock::time_point now);
  void QueueReplay(Client& client, std::int64_t after, std::size_t backlog);

  RecentPages* recent_;
  LiveFeedLimits limits_;
  std::string runId_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Event> history_;
  std::vector<ClientHandle> clients_;
  // Pages per minute of the last hour, slot = minute % 60, each stamped with its minute.
  std::array<std::int64_t, 60> minuteCounts_{};
  std::array<std::int64_t, 60> minuteStamps_{};
  std::int64_t nextId_ = 1;
  std::int64_t dropped_ = 0;
  std::int64_t refused_ = 0;
  bool closed_ = false;
};

// The frame of one page event: "id: RUN:N", "event: page", the JSON object with "id" first.
std::string PageEventFrame(const std::string& runId, std::int64_t id,
                           const nlohmann::ordered_json& record);

}  // namespace pagora::web
