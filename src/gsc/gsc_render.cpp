#include "gsc/gsc_render.h"

#include <cstdio>
#include <string>

#include "config/settings.h"
#include "gsc/gsc_tables.h"

namespace pagora {

namespace {

constexpr int kGscRate = 600;
// Longest time text taken from the host's locale format.
constexpr std::size_t kTimeTextLimit = 39;

// Data bit n of a block: word n / 7, bit n % 7.
int DataBit(const GscDataWords& words, int n) {
  return (words[static_cast<std::size_t>(n / 7)] >> (n % 7)) & 1;
}

// `bits` data bits from bit `first` on, the first of them least significant.
int DataGroup(const GscDataWords& words, int first, int bits) {
  int value = 0;
  for (int i = 0; i < bits; ++i)
    value |= DataBit(words, first + i) << i;
  return value;
}

// The readings of the data blocks, as received: at most as many characters as PutText writes.
void PutReceivedText(const GscRun& run, const char* text) {
  constexpr int kLimit = 256;
  for (int i = 0; i < kLimit && text[i] != '\0'; ++i)
    run.ctx.pages.PutReceived(text[i]);
}

}  // namespace

std::array<char, 14> GscNumericBlock(const GscDataWords& words) {
  std::array<char, 14> digits{};
  for (int i = 0; i < 14; ++i) {
    digits[static_cast<std::size_t>(i)] = kGscNumericTable[DataGroup(words, 4 * i, 4)];
  }
  return digits;
}

std::array<char, 9> GscAlphaBlock(const GscDataWords& words) {
  std::array<char, 9> characters{};
  for (int i = 0; i < 9; ++i) {
    characters[static_cast<std::size_t>(i)] = kGscAlphaTable[DataGroup(words, 6 * i, 6)];
  }
  return characters;
}

void GscHeader(const GscRun& run, std::int32_t capcode, std::int32_t function, const char* type) {
  std::string time = run.ctx.pages.LocalTimeText();
  if (time.size() > kTimeTextLimit)
    time.resize(kTimeTextLimit);

  char header[96];
  std::snprintf(header, sizeof header, "(%06li) %1i %s", static_cast<long>(capcode),
                static_cast<int>(function), time.c_str());

  // The capcode digits as shown, between the brackets.
  char digits[10] = {};
  for (int i = 0; i < 9 && header[i + 1] != ')' && header[i + 1] != '\0'; ++i) {
    digits[i] = header[i + 1];
  }
  run.ctx.pages.StartPage(Protocol::kGsc, kGscRate, digits, function, type);
  run.ctx.pages.FindCapcodeFilter(kFilterGolay, header + 1, function, 0);

  run.ctx.pages.WritePageHeader(header);
}

void GscRenderPage(const GscRun& run, bool cut) {
  GscDecoder& d = run.gsc;
  bool shortPage = d.alphaLength <= kGscShortPageCharacters;
  const char* type = !shortPage ? "alpha" : (d.pageBlocks == 0 ? "tone" : "numeric");

  GscHeader(run, d.capcode, d.function, type);
  run.ctx.pages.MarkTextStart();
  if (shortPage) {
    // No type indication is used: both readings are shown, and the page counts as numeric.
    run.ctx.pages.CountMessage(kRowGsc, kKindNumeric);
    run.ctx.pages.SetColourClass(kClassNumeric);
    PutReceivedText(run, d.numericText.data());
    run.ctx.pages.CountCharacters(kRowGsc, kKindNumeric, d.numericLength);
    run.ctx.pages.PutReceived(' ');
    run.ctx.pages.SetColourClass(kClassAlphanumeric);
    if (d.pageBlocks > 0) {
      Page& page = run.ctx.pages.CurrentPage();
      page.alphaReadingAt = page.textLength;
    }
    PutReceivedText(run, d.alphaText.data());
  } else {
    run.ctx.pages.CountMessage(kRowGsc, kKindAlpha);
    run.ctx.pages.SetColourClass(kClassAlphanumeric);
    PutReceivedText(run, d.alphaText.data());
    run.ctx.pages.CountCharacters(kRowGsc, kKindAlpha, d.alphaLength);
  }
  if (cut)
    run.ctx.pages.MarkPageCut();
  run.ctx.pages.EndLine();
}

}  // namespace pagora
