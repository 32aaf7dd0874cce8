#include "net/delivery_queue.h"

#include <algorithm>

namespace pagora::net {

using Clock = std::chrono::steady_clock;

DeliveryQueue::DeliveryQueue(std::size_t capacity, Backoff backoff, Report report)
    : capacity_(std::max<std::size_t>(capacity, 1)),
      backoff_(backoff),
      report_(std::move(report)),
      wait_(backoff.first) {}

DeliveryQueue::~DeliveryQueue() {
  Stop(std::chrono::milliseconds(0));
}

void DeliveryQueue::Start(Deliver deliver) {
  worker_ = std::thread([this, deliver = std::move(deliver)] { Run(deliver); });
}

void DeliveryQueue::StartLoop(std::function<void()> loop) {
  worker_ = std::thread(std::move(loop));
}

bool DeliveryQueue::Push(std::string item) {
  {
    std::lock_guard lock(mutex_);
    if (items_.size() >= capacity_) {
      ++counters_.dropped;
      return false;
    }
    items_.push_back(std::move(item));
    ++counters_.accepted;
  }
  changed_.notify_all();
  return true;
}

void DeliveryQueue::RequestStop(std::chrono::milliseconds limit) {
  {
    std::lock_guard lock(mutex_);
    if (!stopRequested_) {
      stopRequested_ = true;
      stopDeadline_ = Clock::now() + limit;
    } else {
      stopDeadline_ = std::min(stopDeadline_, Clock::now() + limit);
    }
  }
  changed_.notify_all();
}

void DeliveryQueue::Stop(std::chrono::milliseconds limit) {
  RequestStop(limit);
  if (worker_.joinable()) {
    worker_.join();
    ReportDrops();
  }
}

DeliveryCounters DeliveryQueue::Counters() const {
  std::lock_guard lock(mutex_);
  DeliveryCounters counters = counters_;
  counters.waiting = items_.size();
  return counters;
}

std::deque<std::string> DeliveryQueue::Peek(std::size_t from, std::size_t count) const {
  std::lock_guard lock(mutex_);
  std::deque<std::string> copy;
  for (std::size_t i = from; i < items_.size() && copy.size() < count; ++i)
    copy.push_back(items_[i]);
  return copy;
}

void DeliveryQueue::PopDelivered(std::size_t count) {
  std::lock_guard lock(mutex_);
  count = std::min(count, items_.size());
  items_.erase(items_.begin(), items_.begin() + static_cast<std::ptrdiff_t>(count));
  counters_.delivered += count;
}

void DeliveryQueue::NoteRetry() {
  std::lock_guard lock(mutex_);
  ++counters_.retries;
}

template <class Predicate>
void DeliveryQueue::WaitLocked(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds limit,
                               Predicate done) {
  // A stop requested while waiting shortens the wait to the stop's deadline.
  const Clock::time_point until = Clock::now() + limit;
  while (!done() && !woken_ && !StoppingLocked()) {
    Clock::time_point now = Clock::now();
    if (now >= until)
      break;
    Clock::time_point wakeAt = stopRequested_ ? std::min(until, stopDeadline_) : until;
    if (wakeAt <= now)
      break;
    changed_.wait_until(lock, wakeAt);
  }
  woken_ = false;
}

bool DeliveryQueue::WaitForItems(std::size_t from, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  WaitLocked(lock, limit, [&] { return items_.size() > from; });
  return items_.size() > from;
}

void DeliveryQueue::BackOff() {
  std::unique_lock lock(mutex_);
  WaitLocked(lock, wait_, [] { return false; });
  wait_ = std::min(wait_ * 2, backoff_.longest);
}

void DeliveryQueue::ResetBackoff() {
  std::lock_guard lock(mutex_);
  wait_ = backoff_.first;
}

void DeliveryQueue::Wake() {
  {
    std::lock_guard lock(mutex_);
    woken_ = true;
  }
  changed_.notify_all();
}

bool DeliveryQueue::Stopping() const {
  std::lock_guard lock(mutex_);
  return StoppingLocked();
}

bool DeliveryQueue::StoppingLocked() const {
  return stopRequested_ && (items_.empty() || Clock::now() >= stopDeadline_);
}

void DeliveryQueue::ReportDrops() {
  std::uint64_t dropped = 0;
  {
    std::lock_guard lock(mutex_);
    dropped = counters_.dropped - droppedReported_;
    droppedReported_ = counters_.dropped;
  }
  if (dropped > 0 && report_) {
    report_("queue full at " + std::to_string(capacity_) + " page(s): " + std::to_string(dropped) +
            " page(s) dropped");
  }
}

void DeliveryQueue::Run(const Deliver& deliver) {
  Clock::time_point lastReport = Clock::now();
  while (!Stopping()) {
    if (Clock::now() - lastReport >= std::chrono::seconds(10)) {
      ReportDrops();
      lastReport = Clock::now();
    }
    if (!WaitForItems(0, std::chrono::milliseconds(500)))
      continue;
    std::deque<std::string> front = Peek(0, 1);
    if (front.empty())
      continue;
    Result result = deliver(front.front());
    if (result == Result::kRetry) {
      NoteRetry();
      BackOff();
      continue;
    }
    ResetBackoff();
    PopDelivered(1);
    if (result == Result::kRefused) {
      std::lock_guard lock(mutex_);
      --counters_.delivered;
      ++counters_.refused;
    }
  }
}

}  // namespace pagora::net
