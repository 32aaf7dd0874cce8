// Writing pages and reading output files the way the engine's tests need them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/line_builder.h"

namespace pagora {
class Monitor;
}

namespace pagora::testing {

// Writes one page to the message pane in the order every decoder uses: BeginPage, the marked
// header in the Capcode class, a blank, MarkTextStart, the content in contentClass, EndLine.
// The capcode filter lookup, when wanted, is the caller's (it comes before this).
void WritePage(Monitor& m, const std::string& header, const std::string& content,
               std::uint8_t contentClass = kClassAlphanumeric);

// Everything written to an open file so far (flushes it and reads it from the start).
std::string FileContents(std::FILE* file);

// A row of a pane's store with its classes, as a string of class bytes.
std::string RowClasses(const PaneBuffer& pane, int row);

}  // namespace pagora::testing
