// Networks repeat pages, on purpose and from several transmitters. Within the repeat window a
// page equal to one already completed (protocol, capcode, function and text, exactly: a key
// any coarser would swallow real alarms) is a repeat: the panes and the log show it, but it
// starts no command, plays no sound and is not written to the filter file again.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "output/page.h"

namespace pagora {

class RepeatWindow {
 public:
  static constexpr std::size_t kMaxRemembered = 4096;
  static constexpr int kMaxSeconds = 86400;

  // True when `page` repeats one seen within `seconds` before page.time; remembers it either
  // way. `seconds` 0 turns the window off (nothing is remembered).
  bool IsRepeat(const Page& page, int seconds);

 private:
  struct Seen {
    std::int64_t time;
    Protocol protocol;
    std::string capcode;
    int function;
    std::string text;
  };
  std::deque<Seen> seen_;
};

}  // namespace pagora
