// Scenarios for pagora-gen: a small JSON list of transmissions (protocol, rate or FLEX mode,
// pages with capcode, function, type and text) and gaps, turned into symbol streams and into
// the pages a receiver shows for them, in the form pagora-decode --json prints.
//
//   {"transmissions": [
//     {"protocol": "POCSAG", "rate": 1200,
//      "pages": [{"capcode": 1234567, "function": 4, "type": "alpha", "text": "HELLO"}]},
//     {"gap": 0.5},
//     {"protocol": "FLEX", "mode": "3200/4", "pages": [{"capcode": 123456, "type": "numeric",
//      "text": "5551234"}]},
//     {"protocol": "GSC", "pages": [{"capcode": 123456, "function": 1, "type": "alpha",
//      "text": "CALL HOME"}]}]}
//
// A bare list is taken as the transmissions. Between two transmissions without an explicit gap
// there is a gap of `defaultGap` seconds.
//
// FLEX extras: a page of type "instruction" with "group" (a temporary address 2029568..2029583)
// and optional "frame" (default: this transmission's frame) tells the pager at its capcode to
// take the group call to that address in that frame; a later page to the temporary address in
// that frame lists the members. An alphanumeric page with "part": "first", "more" or "last" is
// one fragment of a long message (send the parts in successive transmissions); the expected
// page is the joined message, dated at its first part, and a message whose last part is not
// sent is expected marked incomplete at the end.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "output/charset.h"
#include "transmission.h"

namespace pagora::gen {

struct ScenarioError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A page as a receiver shows it (the fields of pagora-decode --json, without time and filter).
struct ExpectedPage {
  std::string protocol;
  int rate = 0;
  std::string capcode;  // empty: null
  int function = 0;     // 0: null
  std::string type;
  std::string text;  // UTF-8: alphanumeric text through the scenario's character set
  // A short GSC page: its blocks read as digits and as characters (UTF-8), shown both in `text`.
  std::optional<std::pair<std::string, std::string>> readings;
  std::vector<std::string> members;  // a FLEX group call: the member capcodes' digits
  int fragments = 1;                 // a FLEX message joined from this many parts
  bool incomplete = false;           // a part of the message never came
  int timeItem = -1;  // the page is dated at scenario item timeItem (-1: its own item)
};

// One piece of the signal: a transmission's symbols with the pages it carries, or a gap.
struct ScenarioItem {
  SymbolStream symbols;  // empty for a gap
  double gapSeconds = 0;
  std::vector<ExpectedPage> pages;
};

struct Scenario {
  std::vector<ScenarioItem> items;
};

constexpr double kDefaultGapSeconds = 0.4;

// Throws ScenarioError with a message naming the transmission and page at fault. Alphanumeric
// text is UTF-8 and goes on the air in `charset` (or the document's or transmission's own
// "charset"); letters the set cannot send become "?".
Scenario ParseScenario(const nlohmann::json& document, double defaultGap = kDefaultGapSeconds,
                       Charset charset = Charset::kAscii);

// The record pagora-decode --json prints for a page, with `time` and `filter` null.
nlohmann::ordered_json ExpectedRecord(const ExpectedPage& page, const std::string& isoTime);

}  // namespace pagora::gen
