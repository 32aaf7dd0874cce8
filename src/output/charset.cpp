#include "output/charset.h"

#include <cctype>

#include "output/page.h"

namespace pagora {

namespace {

// The national letters outside Latin-1 and the C1 cells that hold them in the panes.
constexpr char32_t kOverline = 0x203E;
constexpr char32_t kDutchIj = 0x0133;
constexpr char32_t kFlorin = 0x0192;
constexpr std::array<char32_t, 3> kExtraCells = {kOverline, kDutchIj, kFlorin};
constexpr unsigned kFirstExtraCell = 0x80;

// Each table lists what # $ @ [ \ ] ^ ` { | } ~ stand for. They agree with the C library's
// iconv tables named beside them (a test holds them to it); the Dutch table has none there and
// follows NEN 1010.
constexpr CharsetInfo kCharsets[] = {
    {Charset::kAscii,
     "ascii",
     "ASCII",
     "ISO646-US",
     {U'#', U'$', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', U'~'}},
    {Charset::kGerman,
     "german",
     "German (DIN 66003)",
     "ISO646-DE",
     {U'#', U'$', U'§', U'Ä', U'Ö', U'Ü', U'^', U'`', U'ä', U'ö', U'ü', U'ß'}},
    {Charset::kDanish,
     "danish",
     "Danish (DS 2089)",
     "ISO646-DK",
     {U'#', U'$', U'@', U'Æ', U'Ø', U'Å', U'^', U'`', U'æ', U'ø', U'å', U'~'}},
    {Charset::kNorwegian,
     "norwegian",
     "Norwegian (NS 4551-1)",
     "ISO646-NO",
     {U'#', U'$', U'@', U'Æ', U'Ø', U'Å', U'^', U'`', U'æ', U'ø', U'å', kOverline}},
    {Charset::kSwedish,
     "swedish",
     "Swedish/Finnish (SEN 850200 B)",
     "ISO646-SE",
     {U'#', U'¤', U'@', U'Ä', U'Ö', U'Å', U'^', U'`', U'ä', U'ö', U'å', kOverline}},
    {Charset::kFrench,
     "french",
     "French (NF Z 62-010)",
     "ISO646-FR",
     {U'£', U'$', U'à', U'°', U'ç', U'§', U'^', U'µ', U'é', U'ù', U'è', U'¨'}},
    {Charset::kSpanish,
     "spanish",
     "Spanish",
     "ISO646-ES",
     {U'£', U'$', U'§', U'¡', U'Ñ', U'¿', U'^', U'`', U'°', U'ñ', U'ç', U'~'}},
    {Charset::kItalian,
     "italian",
     "Italian",
     "ISO646-IT",
     {U'£', U'$', U'§', U'°', U'ç', U'é', U'^', U'ù', U'à', U'ò', U'è', U'ì'}},
    {Charset::kDutch,
     "dutch",
     "Dutch (NEN 1010)",
     nullptr,
     {U'£', U'$', U'¾', kDutchIj, U'½', U'|', U'^', U'`', U'¨', kFlorin, U'¼', U'´'}},
    {Charset::kUk,
     "uk",
     "UK (BS 4730)",
     "ISO646-GB",
     {U'£', U'$', U'@', U'[', U'\\', U']', U'^', U'`', U'{', U'|', U'}', kOverline}},
    {Charset::kPortuguese,
     "portuguese",
     "Portuguese",
     "ISO646-PT",
     {U'#', U'$', U'§', U'Ã', U'Ç', U'Õ', U'^', U'`', U'ã', U'ç', U'õ', U'°'}},
};

int PositionIndex(char received) {
  for (std::size_t i = 0; i < kNationalPositions.size(); ++i) {
    if (kNationalPositions[i] == received)
      return static_cast<int>(i);
  }
  return -1;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

std::span<const CharsetInfo> Charsets() {
  return kCharsets;
}

const CharsetInfo& CharsetDetails(Charset charset) {
  for (const CharsetInfo& info : kCharsets) {
    if (info.id == charset)
      return info;
  }
  return kCharsets[0];
}

std::optional<Charset> CharsetByName(std::string_view name) {
  for (const CharsetInfo& info : kCharsets) {
    if (EqualIgnoringCase(name, info.name))
      return info.id;
  }
  if (EqualIgnoringCase(name, "finnish"))
    return Charset::kSwedish;
  return std::nullopt;
}

Charset CharsetOrAscii(std::string_view name) {
  return CharsetByName(name).value_or(Charset::kAscii);
}

std::string CharsetNameList() {
  std::string list;
  for (const CharsetInfo& info : kCharsets) {
    if (!list.empty())
      list += ", ";
    list += info.name;
  }
  return list;
}

char32_t ReceivedCodePoint(Charset charset, char received) {
  auto code = static_cast<char32_t>(static_cast<unsigned char>(received) & 0x7F);
  int at = PositionIndex(static_cast<char>(code));
  if (at < 0)
    return code;
  return CharsetDetails(charset).letters[static_cast<std::size_t>(at)];
}

char CellForReceived(Charset charset, char received) {
  if (charset == Charset::kAscii)
    return received;
  return CellForCodePoint(ReceivedCodePoint(charset, received));
}

char32_t CellCodePoint(char cell) {
  auto c = static_cast<unsigned char>(cell);
  if (c >= kFirstExtraCell && c < kFirstExtraCell + kExtraCells.size())
    return kExtraCells[c - kFirstExtraCell];
  return c;
}

char CellForCodePoint(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
    return static_cast<char>(static_cast<unsigned char>(c));
  for (std::size_t i = 0; i < kExtraCells.size(); ++i) {
    if (kExtraCells[i] == c)
      return static_cast<char>(kFirstExtraCell + i);
  }
  return '?';
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
    c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t NextCodePoint(std::string_view s, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  char32_t c = byte(i);
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : 0;
  if (c < 0x80 || extra == 0 || c >= 0xF5 || i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;
    return c;
  }
  char32_t value = c & (0x3Fu >> extra);
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + static_cast<std::size_t>(k)) & 0xC0) != 0x80) {
      ++i;
      return c;
    }
    value = (value << 6) | (byte(i + static_cast<std::size_t>(k)) & 0x3F);
  }
  i += static_cast<std::size_t>(extra) + 1;
  return value;
}

std::string CellsFromUtf8(std::string_view utf8) {
  std::string cells;
  for (std::size_t i = 0; i < utf8.size();)
    cells += CellForCodePoint(NextCodePoint(utf8, i));
  return cells;
}

void AppendCellUtf8(std::string& out, char cell) {
  char32_t c = CellCodePoint(cell);
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
    out += '.';
    return;
  }
  AppendUtf8(out, c);
}

std::string ReceivedUtf8(Charset charset, std::string_view received) {
  if (charset == Charset::kAscii)
    return std::string(received);
  std::string out;
  out.reserve(received.size() + received.size() / 4);
  for (char ch : received)
    AppendUtf8(out, ReceivedCodePoint(charset, ch));
  return out;
}

std::string PageTextUtf8(const Page& page) {
  if (page.type == nullptr || std::string_view(page.type) != "alpha")
    return std::string(page.Text());
  return ReceivedUtf8(page.charset, page.Text());
}

std::string EncodeForAir(Charset charset, std::string_view utf8) {
  const CharsetInfo& info = CharsetDetails(charset);
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    char32_t c = NextCodePoint(utf8, i);
    char sent = '?';
    for (std::size_t k = 0; k < info.letters.size(); ++k) {
      if (info.letters[k] == c) {
        sent = kNationalPositions[k];
        break;
      }
    }
    if (sent == '?' && c < 0x80 && PositionIndex(static_cast<char>(c)) < 0)
      sent = static_cast<char>(c);
    out += sent;
  }
  return out;
}

}  // namespace pagora
