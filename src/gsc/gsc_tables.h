// The fixed words of GSC: start code, the ten preamble patterns, the fifty first-address words
// and the two character tables that read data blocks as digits and as text.
#pragma once

#include <array>
#include <cstdint>

namespace pagora {

// The start code is this word followed by its complement.
constexpr std::uint32_t kGscStartCode = 0x2032C9;

// A preamble pattern in its doubled-bit form of 46 samples: the 14 oldest samples (field 1,
// bit 13 oldest), the next 16 (field 2) and the 16 newest (field 3, bit 0 newest).
struct GscPreamblePattern {
  std::uint16_t field1;
  std::uint16_t field2;
  std::uint16_t field3;
};

constexpr std::array<GscPreamblePattern, 10> kGscPreambleTable = {{
    {0x0FCF, 0xFF3C, 0x0003},
    {0x03F3, 0x0F0F, 0xFF00},
    {0x0FFF, 0x03F0, 0xC00F},
    {0x3F00, 0xCC00, 0xFFFC},
    {0x3FFC, 0xC00C, 0xFF00},
    {0x3C3F, 0xC3F0, 0xFC00},
    {0x33F0, 0xFF00, 0x3FC0},
    {0x03CF, 0xF0FF, 0xC00C},
    {0x00F0, 0x0F30, 0xFFFC},
    {0x3FF0, 0x30F0, 0x303F},
}};

// First address words, index 0..49. All are codewords except index 11, which lies one bit
// away from one; the address search tolerates one bit, so that codeword still finds it.
constexpr std::array<std::uint32_t, 50> kGscAddressTable = {
    0x5532D1, 0x50CAAB, 0x55AB88, 0x36456B, 0x5B362A, 0x58A6AC, 0x48DA5A, 0x2D16D3, 0x576A14,
    0x56D560, 0x528A84, 0x2672B8, 0x5AE683, 0x2E2ED8, 0x2BADE0, 0x357D60, 0x38E568, 0x49AE0B,
    0x26C36C, 0x2B9C34, 0x5A08ED, 0x35BA30, 0x569383, 0x272E64, 0x564C39, 0x35E84C, 0x566507,
    0x5B8A38, 0x24166F, 0x579C90, 0x262177, 0x58F4D0, 0x4B7B08, 0x5A6730, 0x567198, 0x253C37,
    0x221D3B, 0x4E8372, 0x4B8D8C, 0x2ECCC3, 0x26E627, 0x2B1D87, 0x258C50, 0x226A0C, 0x2114E4,
    0x2E8A20, 0x51A610, 0x248343, 0x24C5A0, 0x28B0A0,
};

// Digits by 4-bit value: 10 and 12 are spaces, 11 "U", 13 "-", 14 ")", 15 "(".
constexpr char kGscNumericTable[17] = "0123456789 U -)(";

// Characters by 6-bit value: 0..31 are ASCII 32..63, 32 a space, 33..58 "A".."Z", 59 "[",
// 60 a space, 61 "]", 62 a space; 63 is the terminator (the string's own NUL).
constexpr char kGscAlphaTable[64] =
    " !\"#$%&'()*+,-./0123456789:;<=>? ABCDEFGHIJKLMNOPQRSTUVWXYZ[ ] ";

}  // namespace pagora
