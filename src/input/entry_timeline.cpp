#include "input/entry_timeline.h"

#include <cmath>

namespace pagora {

void EntryTimeline::Start(double ticks, std::uint8_t status) {
  emitted_ = std::llround(ticks);
  status_ = status;
  started_ = true;
}

void EntryTimeline::EmitHold(std::int64_t ticks, EntrySink& sink) {
  while (ticks > kMaxEntryTicks) {
    sink.Put(static_cast<std::uint16_t>(kMaxEntryTicks), status_);
    ticks -= kMaxEntryTicks;
    emitted_ += kMaxEntryTicks;
  }
  sink.Put(static_cast<std::uint16_t>(ticks), status_);
  emitted_ += ticks;
}

void EntryTimeline::Change(double ticks, std::uint8_t status, EntrySink& sink) {
  if (!started_) {
    Start(ticks, status);
    return;
  }
  std::int64_t boundary = std::llround(ticks);
  EmitHold(boundary > emitted_ ? boundary - emitted_ : 0, sink);
  status_ = status;
}

void EntryTimeline::Advance(double ticks, EntrySink& sink) {
  if (!started_)
    return;
  std::int64_t now = std::llround(ticks);
  while (now - emitted_ > kMaxEntryTicks) {
    sink.Put(static_cast<std::uint16_t>(kMaxEntryTicks), status_);
    emitted_ += kMaxEntryTicks;
  }
}

void EntryTimeline::Flush(double ticks, EntrySink& sink) {
  if (!started_)
    return;
  std::int64_t now = std::llround(ticks);
  if (now > emitted_)
    EmitHold(now - emitted_, sink);
}

}  // namespace pagora
