// The queue between the decoding thread and a network output. Decoding must keep real time
// whatever the network does, so Push never waits: it copies the item under a short lock and
// returns. A worker thread of the output's own takes items in order and hands them to the
// output's delivery step; an item leaves the queue only when delivered (or refused for good),
// so a broker or server that is away costs nothing but queue space. The queue is bounded: when
// it is full the newest item is dropped and counted, and the drops are reported, never silent.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace pagora::net {

// What the queue has seen, for reports and the statistics object.
struct DeliveryCounters {
  std::uint64_t accepted = 0;   // items pushed and kept
  std::uint64_t delivered = 0;  // items the far end took
  std::uint64_t dropped = 0;    // items lost because the queue was full
  std::uint64_t refused = 0;    // items the far end refused for good (never retried)
  std::uint64_t retries = 0;    // failed delivery attempts
  std::size_t waiting = 0;      // items in the queue now
};

// Waits between failed attempts: from `first`, doubling up to `longest`.
struct Backoff {
  std::chrono::milliseconds first{500};
  std::chrono::milliseconds longest{30000};
};

class DeliveryQueue {
 public:
  // Outcome of one delivery attempt of the item at the front.
  enum class Result { kDelivered, kRetry, kRefused };
  using Deliver = std::function<Result(const std::string& item)>;
  using Report = std::function<void(const std::string& text)>;

  static constexpr std::size_t kDefaultCapacity = 10000;

  // capacity: 1..; report is called on the worker thread (drops, refusals).
  DeliveryQueue(std::size_t capacity, Backoff backoff, Report report);
  ~DeliveryQueue();
  DeliveryQueue(const DeliveryQueue&) = delete;
  DeliveryQueue& operator=(const DeliveryQueue&) = delete;

  // Starts the worker with a delivery step that sends one item at a time.
  void Start(Deliver deliver);
  // Starts the worker on a loop of the output's own (below), which returns once Stopping().
  void StartLoop(std::function<void()> loop);
  // Never blocks on the network. False when the queue was full and the item was dropped.
  bool Push(std::string item);
  // Gives the worker up to `limit` to empty the queue, then stops it. Items still queued stay
  // counted as waiting.
  void Stop(std::chrono::milliseconds limit);
  // The same without waiting: the worker stops by itself once the queue is empty or the time
  // is up (several queues drain at once this way).
  void RequestStop(std::chrono::milliseconds limit);

  DeliveryCounters Counters() const;
  std::size_t capacity() const { return capacity_; }

  // For outputs that keep several items in flight (MQTT): the worker loop is theirs, the queue
  // only holds and counts. Peek copies up to `count` items from position `from` of the queue.
  std::deque<std::string> Peek(std::size_t from, std::size_t count) const;
  // Removes `count` delivered items from the front.
  void PopDelivered(std::size_t count);
  void NoteRetry();
  // Waits until an item is queued at position `from` or later, Wake is called or `limit`
  // passes; true when there is such an item.
  bool WaitForItems(std::size_t from, std::chrono::milliseconds limit);
  // Sleeps for the current backoff (cut short by Wake or Stop) and doubles it.
  void BackOff();
  void ResetBackoff();
  void Wake();
  // True once Stop was called and the queue is empty or its time is up: the loop returns.
  bool Stopping() const;
  // Reports drops since the last report; called by the worker now and then.
  void ReportDrops();

 private:
  void Run(const Deliver& deliver);
  bool StoppingLocked() const;
  template <class Predicate>
  void WaitLocked(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds limit,
                  Predicate done);

  const std::size_t capacity_;
  const Backoff backoff_;
  const Report report_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> items_;
  DeliveryCounters counters_;
  std::uint64_t droppedReported_ = 0;
  std::chrono::milliseconds wait_;
  bool stopRequested_ = false;
  std::chrono::steady_clock::time_point stopDeadline_{};
  bool woken_ = false;
  std::thread worker_;
};

}  // namespace pagora::net
