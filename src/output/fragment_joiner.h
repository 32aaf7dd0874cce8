// Long FLEX messages are sent in fragments, each in a later frame, each a page of its own on the
// air and in the panes. Outputs that deliver messages want one page per message: the joiner
// holds a fragment that announces more, appends the parts that follow for the same capcode, and
// passes the joined page on when the last part arrives. A part that never comes is not waited
// for forever: after kWaitSeconds of signal time (or at Flush, when the input ends) what arrived
// is passed on, marked incomplete. Every other page passes straight through.
#pragma once

#include <cstdint>
#include <vector>

#include "output/page.h"

namespace pagora {

class FragmentJoiner : public PageOutput {
 public:
  static constexpr std::int64_t kWaitSeconds = 120;  // about one FLEX cycle of 128 frames
  static constexpr std::size_t kMaxHeld = 64;        // messages held at once, oldest go first

  explicit FragmentJoiner(PageOutput& next) : next_(next) {}
  void Write(const Page& page) override;
  // Passes on every held message as it is, marked incomplete (the input has ended).
  void Flush();

 private:
  void Release(std::size_t index, bool incomplete);
  void ExpireBefore(std::int64_t time);

  PageOutput& next_;
  std::vector<Page> held_;
};

}  // namespace pagora
