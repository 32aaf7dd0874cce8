#include "flex/mode_title.h"

#include "input/monitor.h"

namespace pagora {

std::string ModeTitleFor(int flags) {
  if (flags == 0) return " Pagora";
  if (flags & 32) {
    if (flags & 1) return " Pagora - POCSAG 512";
    if (flags & 2) return " Pagora - POCSAG 1200";
    if (flags & 4) return " Pagora - POCSAG 2400";
    return {};
  }
  if (flags & 64) return " Pagora - Golay (GSC)";
  if (flags & 16) return " Pagora - ReFLEX ABCD 3200 4 Level";
  if (flags & 8) {
    // 8 alone is 1600/2; 12 adds bit 4, 15 adds bits 4, 2 and 1.
    if ((flags & 7) == 7) return " Pagora - FLEX 6400 4 Level";
    if (flags & 4) return " Pagora - FLEX 3200 2 or 4 Level";
    return " Pagora - FLEX 1600 2 Level";
  }
  return {};
}

void SetModeTitle(Monitor& m, int flags) {
  std::string caption = ModeTitleFor(flags);
  if (!caption.empty()) m.host.SetCaption(caption);
}

}  // namespace pagora
