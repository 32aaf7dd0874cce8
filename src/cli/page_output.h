// How pagora-decode shows what the engine produces: message-pane rows as terminal text (with
// colours by colour class), and completed pages as JSON records. Everything here treats the
// characters as untrusted radio input: nothing received can reach the terminal as a control
// sequence.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "config/settings.h"
#include "engine/line_builder.h"

namespace pagora::cli {

// A received character as it may be shown: the top bit cleared, control characters as ".".
char ShownChar(char c);

// One pane row (at most 132 characters, ended by NUL) with ANSI colours when `colour` is set,
// one escape per change of colour class, reset at the end. No line end.
std::string RenderRow(const char* text, const std::uint8_t* classes, bool colour);

// The completed page as a JSON object: time (ISO 8601 local time), protocol, rate, capcode (null
// when not known), function (null when the protocol has none), type, text (the characters
// received, fill removed; control characters escaped by the JSON writer, never replaced),
// errors (some codeword could not be corrected), corrected (codewords that needed correction),
// filter (label of the matching filter, or null).
nlohmann::ordered_json PageRecord(const Page& page, const std::string& isoTime);

// A page output that prints one line per page: a JSON object, or the line layouts of
// multimon_output.h. `write` takes each line with its end (standard output, with its failure
// handling, in pagora-decode).
class LinePageOutput : public PageOutput {
 public:
  enum class Form { kJson, kMultimon };
  LinePageOutput(Form form, std::function<void(const std::string&)> write)
      : form_(form), write_(std::move(write)) {}
  void Write(const Page& page) override;

 private:
  Form form_;
  std::function<void(const std::string&)> write_;
};

// "2024-06-03T12:34:56+02:00" for a moment in local time.
std::string IsoLocalTime(std::int64_t epochSeconds);

}  // namespace pagora::cli
