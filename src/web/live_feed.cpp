#include "web/live_feed.h"

#include <algorithm>
#include <charconv>
#include <random>

#include "output/page_json.h"

namespace pagora::web {
namespace {

std::string NewRunId() {
  std::random_device device;
  std::uint64_t value =
      (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  char text[17];
  auto [end, error] = std::to_chars(text, text + 16, value, 16);
  (void)error;
  return std::string(text, end);
}

// The page number of a "RUN:N" id of this run; nullopt for anything else.
std::optional<std::int64_t> IdInRun(const std::string& id, const std::string& runId) {
  if (id.size() <= runId.size() + 1 || id.compare(0, runId.size(), runId) != 0 ||
      id[runId.size()] != ':') {
    return std::nullopt;
  }
  std::int64_t n = 0;
  const char* first = id.data() + runId.size() + 1;
  const char* last = id.data() + id.size();
  auto [end, error] = std::from_chars(first, last, n);
  if (error != std::errc() || end != last || n < 0)
    return std::nullopt;
  return n;
}

std::string GapFrame(std::int64_t firstMissed, std::int64_t lastMissed) {
  nlohmann::ordered_json gap{{"from", firstMissed}, {"to", lastMissed}};
  return "event: gap\ndata: " + gap.dump() + "\n\n";
}

}  // namespace

std::string PageEventFrame(const std::string& runId, std::int64_t id,
                           const nlohmann::ordered_json& record) {
  nlohmann::ordered_json data{{"id", id}};
  for (const auto& [key, value] : record.items())
    data[key] = value;
  // The JSON writer escapes CR and LF inside strings, so radio text cannot end the data line.
  return "id: " + runId + ":" + std::to_string(id) + "\nevent: page\ndata: " +
         data.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n\n";
}

std::int64_t LiveFeed::MinuteOf(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::minutes>(t.time_since_epoch()).count();
}

void LiveFeed::CountMinute(Clock::time_point now) {
  std::int64_t minute = MinuteOf(now);
  std::size_t slot = static_cast<std::size_t>(minute % 60);
  if (minuteStamps_[slot] != minute) {
    minuteStamps_[slot] = minute;
    minuteCounts_[slot] = 0;
  }
  ++minuteCounts_[slot];
}

LiveFeed::LiveFeed(RecentPages* recent, LiveFeedLimits limits)
    : recent_(recent), limits_(limits), runId_(NewRunId()) {}

void LiveFeed::Write(const Page& page) {
  if (page.rejected)  // a reject filter caught it: shown nowhere
    return;
  Publish(page.time, PageJson(page, IsoLocalTime(page.time)));
}

std::int64_t LiveFeed::Publish(std::int64_t time, nlohmann::ordered_json record) {
  std::int64_t id;
  {
    // One publisher (the engine's thread); the lock is for the clients and the status reader.
    std::lock_guard lock(mutex_);
    id = nextId_++;
    auto frame = std::make_shared<const std::string>(PageEventFrame(runId_, id, record));
    history_.push_back({id, frame});
    while (history_.size() > limits_.history)
      history_.pop_front();
    CountMinute(Clock::now());
    for (const ClientHandle& client : clients_) {
      if (client->dropped)
        continue;
      if (client->queue.size() >= client->limit) {
        // Fallen behind: the stream ends and the browser resumes from the history.
        client->dropped = true;
        client->queue.clear();
        ++dropped_;
        continue;
      }
      client->queue.push_back(frame);
    }
  }
  wake_.notify_all();
  if (recent_)
    recent_->Add(id, time, std::move(record));
  return id;
}

void LiveFeed::QueueReplay(Client& client, std::int64_t after, std::size_t backlog) {
  auto first = std::find_if(history_.begin(), history_.end(),
                            [after](const Event& e) { return e.id > after; });
  std::size_t available = static_cast<std::size_t>(history_.end() - first);
  std::size_t count = std::min(available, backlog);
  std::int64_t resumeFrom = count > 0 ? (history_.end() - count)->id : nextId_;
  if (after >= 0 && resumeFrom > after + 1)
    client.queue.push_back(
        std::make_shared<const std::string>(GapFrame(after + 1, resumeFrom - 1)));
  for (auto it = history_.end() - static_cast<std::ptrdiff_t>(count); it != history_.end(); ++it)
    client.queue.push_back(it->frame);
}

LiveFeed::ClientHandle LiveFeed::Subscribe(const std::string& lastEventId, std::size_t backlog) {
  auto client = std::make_shared<Client>();
  std::lock_guard lock(mutex_);
  if (closed_ || clients_.size() >= limits_.maxClients) {
    ++refused_;
    return nullptr;
  }
  std::optional<std::int64_t> resumeAfter =
      lastEventId.empty() ? std::nullopt : IdInRun(lastEventId, runId_);
  if (resumeAfter && *resumeAfter < nextId_)
    QueueReplay(*client, *resumeAfter, limits_.history);
  else
    QueueReplay(*client, -1, backlog);
  client->limit = limits_.clientQueue + client->queue.size();
  clients_.push_back(client);
  return client;
}

void LiveFeed::Unsubscribe(const ClientHandle& client) {
  std::lock_guard lock(mutex_);
  std::erase(clients_, client);
}

std::vector<std::shared_ptr<const std::string>> LiveFeed::Next(const ClientHandle& client,
                                                               std::chrono::milliseconds wait,
                                                               bool& ended) {
  std::unique_lock lock(mutex_);
  wake_.wait_for(lock, wait, [&] { return closed_ || client->dropped || !client->queue.empty(); });
  ended = closed_ || client->dropped;
  std::vector<std::shared_ptr<const std::string>> frames(client->queue.begin(),
                                                         client->queue.end());
  client->queue.clear();
  client->limit = limits_.clientQueue;
  return frames;
}

void LiveFeed::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  wake_.notify_all();
}

LiveFeedCounters LiveFeed::Counters() const {
  std::lock_guard lock(mutex_);
  LiveFeedCounters c;
  c.pages = nextId_ - 1;
  c.clients = clients_.size();
  c.clientsDropped = dropped_;
  c.clientsRefused = refused_;
  c.history = history_.size();
  c.historyCapacity = limits_.history;
  c.clientQueueCapacity = limits_.clientQueue;
  for (const ClientHandle& client : clients_)
    c.longestClientQueue = std::max(c.longestClientQueue, client->queue.size());
  std::int64_t minute = MinuteOf(Clock::now());
  for (std::size_t i = 0; i < minuteCounts_.size(); ++i) {
    if (minute - minuteStamps_[i] < static_cast<std::int64_t>(minuteCounts_.size()))
      c.pagesLastHour += minuteCounts_[i];
  }
  return c;
}

}  // namespace pagora::web
