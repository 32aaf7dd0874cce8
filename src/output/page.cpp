#include "output/page.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace pagora {

void PageOutputs::Remove(PageOutput& output) {
  outputs_.erase(std::remove(outputs_.begin(), outputs_.end(), &output), outputs_.end());
}

std::string CapcodeText(std::int32_t capcode) {
  char digits[16];
  std::snprintf(digits, sizeof digits, capcode > kLongCapcodeBase ? "%09ld" : "%07ld",
                static_cast<long>(capcode));
  return digits;
}

bool NumericPageType(const char* type) {
  if (type == nullptr)
    return false;
  for (const char* numeric : {"numeric", "special-numeric", "numbered-numeric", "short-message"}) {
    if (std::strcmp(type, numeric) == 0)
      return true;
  }
  return false;
}

void AppendReceived(Page& page, char ch) {
  if (page.textLength < 0)
    page.textLength = 0;
  if (page.textLength >= Page::kTextSize)
    return;
  page.text[static_cast<std::size_t>(page.textLength)] = static_cast<char>(ch & 0x7F);
  ++page.textLength;
}

void RemoveFill(Page& page) {
  page.textLength = std::clamp(page.textLength, 0, Page::kTextSize);
  const bool numeric = NumericPageType(page.type);
  auto fill = [numeric](char c) {
    if (numeric)
      return c == ' ';
    return c == '\0' || c == '\x03' || c == '\x04' || c == '\x17';
  };
  while (page.textLength > 0 && fill(page.text[static_cast<std::size_t>(page.textLength - 1)]))
    --page.textLength;
}

void NoteCodeword(Page& page, int score) {
  if (score >= 3) {
    page.errors = true;
  } else if (score > 0) {
    ++page.corrected;
  }
}

}  // namespace pagora
