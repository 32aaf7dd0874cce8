// Rendering of GSC pages: each data block is read both as digits and as characters; at the
// page's end the header and either both readings (short pages) or the characters alone (long
// pages) go to the message pane, and the page is counted in the statistics.
#pragma once

#include <array>
#include <cstdint>

#include "gsc/gsc_decoder.h"

namespace pagora {

// Pages whose character reading is longer than this are shown as text only.
constexpr int kGscShortPageCharacters = 24;

// The 56 data bits of a block as 14 digits (4 bits each, first bit least significant).
std::array<char, 14> GscNumericBlock(const GscDataWords& words);
// The data bits as 9 characters (6 bits each, first bit least significant); the value 63
// gives the terminator NUL, which ends the block's text.
std::array<char, 9> GscAlphaBlock(const GscDataWords& words);

// Writes the page header "(capcode) function time" after the filter lookup. type is the
// page's kind for front ends that report pages as records: "alpha", "numeric" or "tone".
void GscHeader(const GscRun& run, std::int32_t capcode, std::int32_t function, const char* type);
// Writes the decoder's completed page to the message pane and counts it.
void GscRenderPage(const GscRun& run, bool cut = false);

}  // namespace pagora
