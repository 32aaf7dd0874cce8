// Character sets of alphanumeric page text. Paging networks send 7-bit text; many send one of
// the ISO 646 national variants, which give twelve positions of ASCII (# $ @ [ \ ] ^ ` { | } ~)
// to national letters: "K|lner Stra~e" on the air is "Kölner Straße" in the German variant.
//
// Three forms of a character meet here:
//  - received: the 7-bit code off the air, which the Page record keeps unchanged;
//  - cell: the 8-bit code a pane row stores. With ASCII it is the received code itself (so
//    nothing changes for users who choose no variant); with a variant it is the Latin-1 code
//    of the national letter. Three letters of the variants are not in Latin-1 (overline,
//    Dutch ij, florin); they take cells 0x80..0x82 of the C1 range, which otherwise holds only
//    control characters that the panes never show;
//  - UTF-8: what files, JSON and every other output write when a variant is chosen.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace pagora {

struct Page;

enum class Charset : std::uint8_t {
  kAscii = 0,
  kGerman,
  kDanish,
  kNorwegian,
  kSwedish,
  kFrench,
  kSpanish,
  kItalian,
  kDutch,
  kUk,
  kPortuguese,
};

// The twelve positions a national variant may replace, in the order the tables list them.
inline constexpr std::array<char, 12> kNationalPositions = {'#', '$', '@', '[', '\\', ']',
                                                            '^', '`', '{', '|', '}',  '~'};

struct CharsetInfo {
  Charset id;
  const char* name;                  // as settings, --charset and the dialog name it: "german"
  const char* title;                 // for people: "German (DIN 66003)"
  const char* iconvName;             // the same table in the C library's iconv, or nullptr
  std::array<char32_t, 12> letters;  // what each of kNationalPositions stands for
};

// Every set, ASCII first.
std::span<const CharsetInfo> Charsets();
const CharsetInfo& CharsetDetails(Charset charset);
// A set by name, case ignored; "finnish" is the Swedish table (they are the same). Nothing for
// an unknown name.
std::optional<Charset> CharsetByName(std::string_view name);
// The setting's set: unknown or empty names are ASCII.
Charset CharsetOrAscii(std::string_view name);
// "ascii, german, ..." for help texts and messages.
std::string CharsetNameList();

// The character a received 7-bit code stands for in `charset`.
char32_t ReceivedCodePoint(Charset charset, char received);
// The pane cell for a received code: unchanged with ASCII, the national letter's cell otherwise.
char CellForReceived(Charset charset, char received);
// The character a pane cell shows (Latin-1, and the three cells above); C0 and other C1 codes
// are returned as they are: callers show control characters as they always do.
char32_t CellCodePoint(char cell);
// The cell for a character, or '?' when a pane cell cannot hold it (C1 controls included).
char CellForCodePoint(char32_t c);

void AppendUtf8(std::string& out, char32_t c);
// Decodes one character of UTF-8 at `i` and moves past it; a byte that does not start a
// well-formed sequence stands for itself (text from an 8-bit file).
char32_t NextCodePoint(std::string_view s, std::size_t& i);
// UTF-8 text (a filter's text, a label) as pane cells, '?' for what cells cannot hold.
std::string CellsFromUtf8(std::string_view utf8);
// A cell as files write it when a variant is chosen: UTF-8, with "." for control characters
// (a raw control character in a file reaches whatever terminal shows it).
void AppendCellUtf8(std::string& out, char cell);

// Received text as UTF-8 by `charset`; control characters are kept (callers escape or name
// them). With ASCII the bytes come back unchanged.
std::string ReceivedUtf8(Charset charset, std::string_view received);
// The page's text for outputs: alphanumeric pages through the page's character set, all other
// pages (digits, hexadecimal) as received. The one function every output uses.
std::string PageTextUtf8(const Page& page);

// The other way, for sending: UTF-8 text as 7-bit codes of `charset`. A character the set
// cannot send becomes '?'; ASCII characters whose positions the set gives away do too.
std::string EncodeForAir(Charset charset, std::string_view utf8);

}  // namespace pagora
