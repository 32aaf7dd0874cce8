// Writing to the archive off the decoding thread: pages are queued and returned from at once;
// a thread of the writer's own commits whatever has queued, as one transaction, at least every
// second (so that a crash loses at most the last second), in bigger batches as the rate grows.
// The queue is bounded: pages that find it full are counted, never silently lost.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "archive/archive.h"
#include "output/page.h"

namespace pagora::archive {

class Writer {
 public:
  static constexpr std::size_t kDefaultQueueLimit = 100000;
  static constexpr int kCommitMilliseconds = 250;
  static constexpr std::size_t kMaxBatch = 5000;
  static constexpr int kRetries = 5;  // pauses of 0.25, 0.5, 1, 2 and 4 s

  explicit Writer(std::unique_ptr<Store> store, std::size_t queueLimit = kDefaultQueueLimit);
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;
  ~Writer();  // commits what is queued, then stops

  // Queues one page; false when the queue was full (the page is counted as dropped).
  bool Add(StoredPage page);
  // Waits until everything queued so far is committed (or has failed).
  void Flush();
  // Commits what is queued and stops the thread; later pages are dropped.
  void Close();

  std::uint64_t stored() const { return stored_.load(); }
  std::uint64_t dropped() const { return dropped_.load(); }
  // Pages lost because the store could not be written (the first error is kept).
  std::uint64_t failed() const { return failed_.load(); }
  std::string error() const;

 private:
  void Run();

  std::unique_ptr<Store> store_;
  std::size_t queueLimit_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<StoredPage> queue_;
  bool stopping_ = false;
  bool busy_ = false;
  std::string error_;
  std::atomic<std::uint64_t> stored_{0};
  std::atomic<std::uint64_t> dropped_{0};
  std::atomic<std::uint64_t> failed_{0};
  std::thread thread_;
};

// The archive as one of the engine's page outputs.
class ArchiveOutput : public PageOutput {
 public:
  explicit ArchiveOutput(Writer& writer) : writer_(writer) {}
  void Write(const Page& page) override;

 private:
  Writer& writer_;
};

}  // namespace pagora::archive
