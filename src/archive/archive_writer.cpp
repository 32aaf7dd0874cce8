#include "archive/archive_writer.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <utility>
#include <vector>

namespace pagora::archive {

Writer::Writer(std::unique_ptr<Store> store, std::size_t queueLimit)
    : store_(std::move(store)), queueLimit_(queueLimit), thread_([this] { Run(); }) {}

Writer::~Writer() {
  Close();
}

bool Writer::Add(StoredPage page) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ || queue_.size() >= queueLimit_) {
      ++dropped_;
      return false;
    }
    queue_.push_back(std::move(page));
  }
  wake_.notify_one();
  return true;
}

void Writer::Flush() {
  std::unique_lock lock(mutex_);
  wake_.notify_one();
  idle_.wait(lock, [this] { return (queue_.empty() && !busy_) || !thread_.joinable(); });
}

void Writer::Close() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && !thread_.joinable())
      return;
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable())
    thread_.join();
  idle_.notify_all();
}

std::string Writer::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void Writer::Run() {
  std::vector<StoredPage> batch;
  std::unique_lock lock(mutex_);
  for (;;) {
    // Pages that queued while the last transaction ran go into the next one: the busier the
    // decoder, the bigger the batches.
    wake_.wait_for(lock, std::chrono::milliseconds(kCommitMilliseconds),
                   [this] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) {
      idle_.notify_all();
      if (stopping_)
        return;
      continue;
    }
    // One transaction holds at most kMaxBatch pages, so that even a long queue is committed in
    // steps of well under a second.
    std::size_t take = std::min(queue_.size(), kMaxBatch);
    auto end = queue_.begin() + static_cast<std::ptrdiff_t>(take);
    batch.assign(std::make_move_iterator(queue_.begin()), std::make_move_iterator(end));
    queue_.erase(queue_.begin(), end);
    busy_ = true;
    lock.unlock();
    std::string failure;
    // A database that went away for a moment (a restarted server, a locked file) is tried
    // again with growing pauses before the batch is counted as lost.
    for (int attempt = 0;; ++attempt) {
      try {
        store_->Insert(batch);
        stored_ += batch.size();
        break;
      } catch (const std::exception& e) {
        if (attempt >= kRetries) {
          failure = e.what();
          failed_ += batch.size();
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250 << attempt));
      }
    }
    batch.clear();
    lock.lock();
    busy_ = false;
    if (!failure.empty() && error_.empty())
      error_ = failure;
    if (queue_.empty())
      idle_.notify_all();
  }
}

void ArchiveOutput::Write(const Page& page) {
  if (page.rejected)
    return;  // a reject filter caught it: shown nowhere, kept nowhere
  writer_.Add(FromPage(page));
}

}  // namespace pagora::archive
