#include "output/fragment_joiner.h"

#include <cstring>

namespace pagora {
namespace {

bool SameMessage(const Page& held, const Page& part) {
  return held.protocol == part.protocol &&
         std::strncmp(held.capcode.data(), part.capcode.data(), held.capcode.size()) == 0;
}

void AppendText(Page& into, const Page& part) {
  for (char c : part.Text())
    AppendReceived(into, c);
  into.errors = into.errors || part.errors;
  into.corrected += part.corrected;
  into.parts += 1;
  into.continues = part.continues;
}

}  // namespace

void FragmentJoiner::Write(const Page& page) {
  ExpireBefore(page.time - kWaitSeconds);
  if (page.protocol != Protocol::kFlex || (!page.continues && !page.laterPart)) {
    next_.Write(page);
    return;
  }
  for (std::size_t i = 0; i < held_.size(); ++i) {
    if (!SameMessage(held_[i], page))
      continue;
    if (!page.laterPart) {
      // A new first part while one was held: the earlier message lost its ending.
      Release(i, true);
      break;
    }
    AppendText(held_[i], page);
    if (!page.continues)
      Release(i, false);
    return;
  }
  if (!page.continues) {
    // A last part whose beginning was not received: passed on as it is, marked.
    Page part = page;
    part.incomplete = true;
    part.fragment = 'K';
    next_.Write(part);
    return;
  }
  if (held_.size() >= kMaxHeld)
    Release(0, true);
  held_.push_back(page);
  held_.back().parts = 1;
}

void FragmentJoiner::Flush() {
  while (!held_.empty())
    Release(0, true);
}

void FragmentJoiner::Release(std::size_t index, bool incomplete) {
  Page page = held_[index];
  held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(index));
  page.incomplete = incomplete;
  page.continues = false;
  page.fragment = 'K';
  next_.Write(page);
}

void FragmentJoiner::ExpireBefore(std::int64_t time) {
  for (std::size_t i = 0; i < held_.size();) {
    if (held_[i].time < time) {
      Release(i, true);
    } else {
      ++i;
    }
  }
}

}  // namespace pagora
