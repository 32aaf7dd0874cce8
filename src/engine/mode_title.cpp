#include "engine/mode_title.h"

#include "engine/monitor.h"

namespace pagora {

std::string ModeTitleFor(int flags) {
  if (flags == 0)
    return " Pagora";
  if (flags & 32) {
    if (flags & 1)
      return " Pagora - POCSAG 512";
    if (flags & 2)
      return " Pagora - POCSAG 1200";
    if (flags & 4)
      return " Pagora - POCSAG 2400";
    return {};
  }
  if (flags & 64)
    return " Pagora - Golay (GSC)";
  if (flags & 16)
    return " Pagora - ReFLEX ABCD 3200 4 Level";
  // FLEX: the more phases a mode carries, the higher its bit rate. All four (D among them) is
  // 6400 bit/s; two (B or C beside A) 3200 bit/s, either 1600/4 or 3200/2; A alone 1600 bit/s.
  if (flags & 1)
    return " Pagora - FLEX 6400 4 Level";
  if (flags & (4 | 2))
    return " Pagora - FLEX 3200 2 or 4 Level";
  if (flags & 8)
    return " Pagora - FLEX 1600 2 Level";
  return {};
}

void SetModeTitle(Monitor& m, int flags) {
  std::string caption = ModeTitleFor(flags);
  if (!caption.empty())
    m.host.SetCaption(caption);
}

}  // namespace pagora
