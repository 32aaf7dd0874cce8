// POCSAG page rendering. A POCSAG page carries no type flag: every message codeword has been
// read both as 7-bit characters and as 4-bit digits, and a short page (up to six message
// codewords) is shown in whichever reading scores better. Text scores a point per printable
// character and loses one per control code (line feed and ETB are neutral); digits score a
// point each but lose heavily for "U", "(" and ")", which real numeric pages rarely contain.
// A page of seven or more message codewords is always text and is shown as it arrives.
#include "pocsag/pocsag_render.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/settings.h"
#include "pocsag/pocsag_decoder.h"

namespace pagora {

int PocsagBaud(int rateIndex) {
  if (rateIndex == kRowPocsag2400)
    return 2400;
  if (rateIndex == kRowPocsag1200)
    return 1200;
  return 512;
}

int PocsagBaudCode(int rateIndex) {
  if (rateIndex == kRowPocsag2400)
    return 1;
  if (rateIndex == kRowPocsag1200)
    return 2;
  return 3;
}

int PocsagStatisticsRow(int rateIndex) {
  // Any rate that is not 2400 or 1200 is shown as 512, so it is counted there too.
  if (rateIndex == kRowPocsag2400 || rateIndex == kRowPocsag1200)
    return rateIndex;
  return kRowPocsag512;
}

int PocsagAlphaScore(const std::int32_t* characters, int count) {
  int score = 0;
  for (int i = 0; i < count; ++i) {
    std::int32_t v = characters[i];
    if (v > 31) {
      ++score;  // printable, or carrying the error mark
    } else if (v != 10 && v != 23) {
      --score;
    }
  }
  return score;
}

int PocsagDigitScore(const char* digits, int count) {
  int score = 0;
  for (int i = 0; i < count; ++i) {
    char d = digits[i];
    score += (d == 'U' || d == '(' || d == ')') ? -19 : 1;
  }
  return score;
}

void PocsagHeader(const PocsagRun& run, std::int32_t capcode, int function, const char* type) {
  int rateIndex = run.ctx.clocks.rateIndex;
  int baud = PocsagBaud(rateIndex);

  char timeText[40];
  std::string formatted = run.ctx.pages.LocalTimeText();
  std::size_t timeLength = std::min(formatted.size(), sizeof timeText - 1);
  std::memcpy(timeText, formatted.data(), timeLength);
  timeText[timeLength] = '\0';

  bool unknown = (capcode & kPocsagCapcodeError) != 0;
  char header[80];
  if (unknown) {
    std::snprintf(header, sizeof header, "{???????} %s ? %d", timeText, baud);
  } else {
    std::snprintf(header, sizeof header, "{%07li} %s %1i %d",
                  static_cast<long>(capcode & kPocsagCapcodeMask), timeText, function + 1, baud);
  }
  // The seven characters after "{" are what filters compare.
  char digits[8];
  std::memcpy(digits, header + 1, 7);
  digits[7] = '\0';

  run.ctx.pages.StartPage(Protocol::kPocsag, baud, digits, unknown ? 0 : function + 1, type);
  Page& page = run.ctx.pages.CurrentPage();
  page.errors = run.pocsag.pageErrors;
  page.corrected = run.pocsag.pageCorrected;
  run.ctx.pages.FindCapcodeFilter(kFilterPocsag, digits, function + 1, PocsagBaudCode(rateIndex));

  run.ctx.pages.WritePageHeader(header);
}

void PocsagFlushPage(const PocsagRun& run) {
  PocsagDecoder& p = run.pocsag;
  int row = PocsagStatisticsRow(run.ctx.clocks.rateIndex);
  int characters = std::clamp(p.alphaCount, 0, kPocsagCharacterBufferSize);
  int digits = std::clamp(p.digitCount, 0, kPocsagDigitBufferSize);

  int alphaScore = PocsagAlphaScore(p.characters.data(), characters);
  int digitScore = PocsagDigitScore(p.digits.data(), digits);

  if (7 * alphaScore > 4 * digitScore) {
    run.ctx.pages.CountMessage(row, kKindAlpha);
    PocsagHeader(run, p.capcode, p.function, "alpha");
    ++p.openPages;
    run.ctx.pages.MarkTextStart();
    run.ctx.pages.SetColourClass(kClassAlphanumeric);
    for (int i = 0; i < characters; ++i) {
      run.ctx.pages.PutReceived(
          static_cast<char>(p.characters[static_cast<std::size_t>(i)] & 0xFF));
      run.ctx.pages.CountCharacters(row, kKindAlpha, 1);
    }
    return;
  }

  // Ties, a tone-only page included, are numeric.
  run.ctx.pages.CountMessage(row, kKindNumeric);
  if (run.ctx.settings.showNumeric == 0)
    return;
  bool toneOnly = p.messageCodewords == 0;
  PocsagHeader(run, p.capcode, p.function, toneOnly ? "tone" : "numeric");
  ++p.openPages;
  run.ctx.pages.MarkTextStart();
  run.ctx.pages.SetColourClass(kClassNumeric);
  for (int i = 0; i < digits; ++i) {
    run.ctx.pages.PutReceived(p.digits[static_cast<std::size_t>(i)]);
    run.ctx.pages.CountCharacters(row, kKindNumeric, 1);
  }
  if (toneOnly) {
    run.ctx.pages.SetColourClass(kClassNumeric);
    run.ctx.pages.PutText("TONE ONLY");
  }
}

void PocsagStartLongPage(const PocsagRun& run) {
  PocsagDecoder& p = run.pocsag;
  int row = PocsagStatisticsRow(run.ctx.clocks.rateIndex);

  run.ctx.pages.CountMessage(row, kKindAlpha);
  PocsagHeader(run, p.capcode, p.function, "alpha");
  ++p.openPages;
  run.ctx.pages.MarkTextStart();
  run.ctx.pages.SetColourClass(kClassAlphanumeric);
  int characters = std::clamp(p.alphaCount, 0, kPocsagCharacterBufferSize);
  for (int i = 0; i < characters; ++i) {
    run.ctx.pages.PutReceived(static_cast<char>(p.characters[static_cast<std::size_t>(i)] & 0xFF));
    run.ctx.pages.CountCharacters(row, kKindAlpha, 1);
  }
  p.messageCodewords = 8;
}

}  // namespace pagora
