// A completed page as a JSON object: the one shape every machine-readable output shares
// (pagora-decode's JSON lines, the network outputs, the archive). Radio text is untrusted:
// control characters are escaped by the JSON writer, never interpreted.
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "output/page.h"

namespace pagora {

// time (ISO 8601 local time), protocol, rate, capcode (null when not known), function (null
// when the protocol has none), members (group calls only), type, text (the characters
// received, fill removed; alphanumeric text in the page's character set, as UTF-8), errors (some
// codeword could not be corrected), corrected (codewords that needed correction), repeat (only when
// set), fragments/incomplete (joined messages only), filter (label of the matching filter, or
// null), station and frequency (only when known).
nlohmann::ordered_json PageJson(const Page& page, const std::string& isoTime);

// The object above as one line of text, invalid UTF-8 replaced.
std::string PageJsonLine(const Page& page);

// "PROTOCOL" names as the JSON and the archive write them: "POCSAG", "FLEX", "GSC".
const char* ProtocolName(Protocol protocol);

// "2024-06-03T12:34:56+02:00" for a moment in local time.
std::string IsoLocalTime(std::int64_t epochSeconds);

}  // namespace pagora
