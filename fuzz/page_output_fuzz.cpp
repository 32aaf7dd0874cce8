// pagora-decode's output of a page whatever its bytes: the JSON record must always serialise
// (valid UTF-8, nothing unescaped) and a text row must never carry a control character or a
// byte a terminal could act on.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/page_output.h"
#include "config/settings.h"
#include "engine/line_builder.h"
#include "output/charset.h"
#include "output/page_json.h"

namespace {

const char* const kTypes[4] = {"alpha", "numeric", "tone", "binary"};

// Bytes a terminal row may hold without colour: printable ASCII only.
bool PlainRow(const std::string& row) {
  for (char c : row) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u >= 0x7F)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A 16-byte header drives the page's fields; the rest is the page's text and a row's classes.
  if (size < 16)
    return 0;
  pagora::Page page;
  auto field = [&](int i) {
    return static_cast<int>(static_cast<std::int16_t>(data[2 * i] | (data[2 * i + 1] << 8)));
  };
  page.textLength = field(0);
  const int forcedLength = field(1);  // a length the record must bound
  page.protocol = static_cast<pagora::Protocol>(data[4] & 3);
  page.rate = field(3);
  page.function = static_cast<std::int8_t>(data[8]);
  page.type = kTypes[data[9] & 3];
  page.charset = pagora::Charsets()[(data[9] >> 2) % pagora::Charsets().size()].id;
  int matched = static_cast<std::int8_t>(data[10]);
  page.alphaReadingAt = static_cast<std::int8_t>(data[5]);  // any offset, even past the end
  std::memcpy(page.capcode.data(), data + 11, 5);
  data += 16;
  size -= 16;

  std::size_t n = std::min<std::size_t>(size / 2, pagora::PageCapture::kSize);
  for (std::size_t i = 0; i < n; ++i)
    pagora::AppendReceived(page, static_cast<char>(data[i]));
  if (n > 0 && (data[0] & 1))
    page.textLength = forcedLength;
  pagora::RemoveFill(page);

  page.filter = matched;
  page.filterLabel.assign(reinterpret_cast<const char*>(data), std::min<std::size_t>(n, 10));

  std::string line = pagora::PageJson(page, "2024-01-01T00:00:00+00:00")
                         .dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
  if (!PlainRow(line))
    std::abort();

  // A pane row: 132 characters at most, whatever the bytes (no terminator needed within them).
  char row[pagora::kRowBytes];
  std::uint8_t classes[pagora::kRowBytes] = {};
  std::memset(row, 0, sizeof row);
  std::memcpy(row, data, std::min<std::size_t>(n, pagora::kRowChars));
  std::memcpy(classes, data + n, std::min<std::size_t>(n, pagora::kRowChars));
  std::string plain = pagora::cli::RenderRow(row, classes, false);
  if (plain.size() > static_cast<std::size_t>(pagora::kRowChars) || !PlainRow(plain))
    std::abort();
  // In UTF-8 (a national character set chosen): no C0 control, no DEL and no C1 control
  // (U+0080..U+009F, which terminals act on) whatever the cells hold.
  std::string utf8 = pagora::cli::RenderRow(row, classes, false, true);
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    auto u = static_cast<unsigned char>(utf8[i]);
    bool c1 = u == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0;
    if (u < 0x20 || u == 0x7F || c1)
      std::abort();
  }
  std::string coloured = pagora::cli::RenderRow(row, classes, true);
  for (char c : coloured) {
    auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && u != 0x1B) || u >= 0x7F)
      std::abort();
  }
  return 0;
}
