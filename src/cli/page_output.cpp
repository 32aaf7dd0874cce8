#include "cli/page_output.h"

#include "cli/multimon_output.h"
#include "output/charset.h"
#include "output/page_json.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace pagora::cli {
namespace {

// A fixed map from colour class to ANSI colour, readable on light and dark terminals alike.
const char* AnsiColour(std::uint8_t colourClass) {
  switch (colourClass) {
    case kClassCapcode:
      return "\x1b[33m";  // yellow
    case kClassFlexPhase:
      return "\x1b[36m";  // cyan
    case kClassFlexFormat:
      return "\x1b[35m";  // magenta
    case kClassTimestamp:
      return "\x1b[32m";  // green
    case kClassFlexBinary:
      return "\x1b[34m";  // blue
    case kClassDiagnostic:
      return "\x1b[90m";  // grey
    case kClassBitErrors:
      return "\x1b[31m";  // red
    case kClassFilterMatch:
      return "\x1b[1;32m";
    case kClassFilterLabel:
      return "\x1b[1;36m";
    default:
      return "\x1b[0m";  // numeric and alphanumeric text in the terminal's own colour
  }
}

}  // namespace

char ShownChar(char c) {
  auto u = static_cast<unsigned char>(c) & 0x7F;
  return (u < 0x20 || u == 0x7F) ? '.' : static_cast<char>(u);
}

std::string RenderRow(const char* text, const std::uint8_t* classes, bool colour, bool utf8) {
  std::string row;
  int current = -1;
  for (int i = 0; i < kRowChars && text[i] != '\0'; ++i) {
    if (colour && classes[i] != current) {
      current = classes[i];
      row += AnsiColour(classes[i]);
    }
    if (utf8) {
      AppendCellUtf8(row, text[i]);
    } else {
      row += ShownChar(text[i]);
    }
  }
  if (colour && current >= 0)
    row += "\x1b[0m";
  return row;
}

void LinePageOutput::Write(const Page& page) {
  std::string line = form_ == Form::kJson ? PageJsonLine(page) : MultimonLine(page, page.time);
  if (line.empty())
    return;
  line += '\n';
  write_(line);
}

}  // namespace pagora::cli
