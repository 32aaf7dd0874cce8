// How pagora-decode shows what the engine produces: message-pane rows as terminal text (with
// colours by colour class), and completed pages as JSON records. Everything here treats the
// characters as untrusted radio input: nothing received can reach the terminal as a control
// sequence.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "config/settings.h"
#include "engine/line_builder.h"

namespace pagora::cli {

// A received character as it may be shown: the top bit cleared, control characters as ".".
char ShownChar(char c);

// One pane row (at most 132 characters, ended by NUL) with ANSI colours when `colour` is set,
// one escape per change of colour class, reset at the end. No line end. Cells are written 7-bit
// (control characters as ".") unless `utf8` is set, as it is when a national character set is
// chosen: then each cell is its character in UTF-8 (control characters still ".").
std::string RenderRow(const char* text, const std::uint8_t* classes, bool colour,
                      bool utf8 = false);

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

}  // namespace pagora::cli
