#include "engine/repeat_window.h"

#include <algorithm>

namespace pagora {

bool RepeatWindow::IsRepeat(const Page& page, int seconds) {
  if (seconds <= 0) {
    seen_.clear();
    return false;
  }
  seconds = std::min(seconds, kMaxSeconds);
  while (!seen_.empty() &&
         (seen_.front().time < page.time - seconds || seen_.size() >= kMaxRemembered)) {
    seen_.pop_front();
  }
  Seen current{page.time, page.protocol, std::string(page.capcode.data()), page.function,
               std::string(page.Text())};
  bool repeat = std::any_of(seen_.begin(), seen_.end(), [&](const Seen& s) {
    return s.protocol == current.protocol && s.function == current.function &&
           s.capcode == current.capcode && s.text == current.text;
  });
  seen_.push_back(std::move(current));
  return repeat;
}

}  // namespace pagora
