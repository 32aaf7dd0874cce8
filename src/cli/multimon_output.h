// Pages as the one-line layouts that existing paging tools' parsers read (archivers, alerting
// bridges, home-automation scripts), so pagora-decode drops into their pipelines unchanged:
//   POCSAG1200: Address: 1234567  Function: 3  Alpha:   TEXT          (function 0..3)
//   FLEX|2026-01-01 10:00:00|1600/2/K/A|04.112|001234567|ALN|TEXT
//   GSC600: Address: 123456  Function: 1  Alpha:   TEXT               (this system's own)
// Control characters are written by name ("<ETB>"), so nothing received reaches a terminal or
// breaks a line.
#pragma once

#include <cstdint>
#include <string>

#include "output/page.h"

namespace pagora::cli {

// The page's line, without a line end. `epochSeconds` is when the page completed.
std::string MultimonLine(const Page& page, std::int64_t epochSeconds);

// A received text with control characters named: "<NUL>", "<ETB>", "<DEL>". Bytes above 0x7F
// (UTF-8 of national letters) pass unchanged.
std::string NamedControls(std::string_view text);

}  // namespace pagora::cli
