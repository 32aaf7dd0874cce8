// POCSAG page rendering: the header (capcode, time, function, rate), the capcode filter lookup,
// the numeric or alphanumeric reading of a short page, tone-only pages, long pages and their
// statistics counts.
#pragma once

#include <cstdint>

#include "pocsag/pocsag_decoder.h"

namespace pagora {

// Shown rate for a rateIndex (3 = 2400, 4 = 1200, anything else 512 bit/s), the baud code that
// POCSAG filters compare (1, 2, 3), and the statistics row the page is counted in.
int PocsagBaud(int rateIndex);
int PocsagBaudCode(int rateIndex);
int PocsagStatisticsRow(int rateIndex);

// Scores of the two readings of a short page; 7 * alpha > 4 * digits reads it as text.
int PocsagAlphaScore(const std::int32_t* characters, int count);
int PocsagDigitScore(const char* digits, int count);

// Looks up the capcode filter and writes the page header with its trailing blank. `type` is
// "alpha", "numeric" or "tone", recorded for front ends that report pages as records.
void PocsagHeader(const PocsagRun& run, std::int32_t capcode, int function, const char* type);
// Renders the buffered short page (or a tone-only page) and counts it.
void PocsagFlushPage(const PocsagRun& run);
// Shows the header and the twenty buffered characters when the seventh message codeword arrives.
void PocsagStartLongPage(const PocsagRun& run);

}  // namespace pagora
