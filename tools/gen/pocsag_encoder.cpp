#include "pocsag_encoder.h"

#include <algorithm>

namespace pagora::gen {

namespace {

constexpr std::uint32_t kGenerator = 0x769;  // x^10+x^9+x^8+x^6+x^5+x^3+1

// 4-bit code of a numeric page character; the fill space is 0xC.
int DigitCode(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  switch (c) {
    case '*':
      return 0xA;
    case 'U':
      return 0xB;
    case '-':
      return 0xD;
    case ')':
    case ']':
      return 0xE;
    case '(':
    case '[':
      return 0xF;
    default:
      return 0xC;
  }
}

// Packs message bits (in transmission order) into message codewords, 20 bits each; `fill`
// supplies the bits that complete the last codeword.
template <typename FillBit>
std::vector<std::uint32_t> PackMessageBits(const std::vector<std::uint8_t>& bits, FillBit fill) {
  std::vector<std::uint32_t> codewords;
  std::size_t total = (bits.size() + 19) / 20 * 20;
  std::uint32_t information = 0;
  for (std::size_t i = 0; i < total; ++i) {
    std::uint32_t bit = i < bits.size() ? bits[i] : fill(i - bits.size());
    information = (information << 1) | (bit & 1u);
    if (i % 20 == 19) {
      codewords.push_back(PocsagEncodeCodeword((1u << 20) | information));
      information = 0;
    }
  }
  return codewords;
}

}  // namespace

std::uint32_t PocsagEncodeCodeword(std::uint32_t information) {
  information &= 0x1FFFFF;
  // Remainder of information * x^10 modulo the generator.
  std::uint32_t remainder = information << 10;
  for (int bit = 30; bit >= 10; --bit) {
    if (remainder & (1u << bit))
      remainder ^= kGenerator << (bit - 10);
  }
  std::uint32_t word31 = (information << 10) | (remainder & 0x3FF);
  std::uint32_t parity = 0;
  for (std::uint32_t v = word31; v != 0; v >>= 1)
    parity ^= v & 1u;
  return (word31 << 1) | parity;
}

std::uint32_t PocsagAddressCodeword(std::uint32_t capcode, int function) {
  std::uint32_t information = ((capcode & kPocsagMaxCapcode) >> 3) << 2;
  information |= static_cast<std::uint32_t>(function) & 3u;
  return PocsagEncodeCodeword(information);
}

std::vector<std::uint32_t> PocsagNumericCodewords(std::string_view digits) {
  std::vector<std::uint8_t> bits;
  for (char c : digits) {
    int code = DigitCode(c);
    for (int b = 0; b < 4; ++b)
      bits.push_back(static_cast<std::uint8_t>((code >> b) & 1));
  }
  // Space (0xC) sent LSB first: 0, 0, 1, 1.
  return PackMessageBits(bits, [](std::size_t i) { return (0xCu >> (i % 4)) & 1u; });
}

std::vector<std::uint32_t> PocsagAlphaCodewords(std::string_view text, std::uint8_t fill) {
  std::vector<std::uint8_t> bits;
  for (char c : text) {
    auto code = static_cast<std::uint8_t>(c);
    for (int b = 0; b < 7; ++b)
      bits.push_back(static_cast<std::uint8_t>((code >> b) & 1));
  }
  return PackMessageBits(bits,
                         [fill](std::size_t i) { return (std::uint32_t{fill} >> (i % 7)) & 1u; });
}

const PocsagWord* PocsagTransmission::Find(PocsagWordKind kind, int page, int n) const {
  for (const PocsagWord& word : words) {
    if (word.kind != kind || (page >= 0 && word.page != page))
      continue;
    if (n-- == 0)
      return &word;
  }
  return nullptr;
}

PocsagBatchWriter::PocsagBatchWriter(int preambleBits) {
  preambleBits = std::max(preambleBits, 0);
  for (int i = 0; i < preambleBits; ++i) {
    transmission_.bits.push_back(static_cast<std::uint8_t>((i & 1) == 0 ? 1 : 0));
  }
}

void PocsagBatchWriter::PutBits(std::uint32_t codeword) {
  for (int b = 31; b >= 0; --b) {
    transmission_.bits.push_back(static_cast<std::uint8_t>((codeword >> b) & 1u));
  }
}

void PocsagBatchWriter::Put(std::uint32_t codeword, PocsagWordKind kind, int page) {
  if (slot_ >= 16) {
    ++batch_;
    slot_ = 0;
    transmission_.words.push_back(
        PocsagWord{transmission_.bits.size(), kPocsagSync, PocsagWordKind::kSync, batch_, -1, -1});
    PutBits(kPocsagSync);
  }
  transmission_.words.push_back(
      PocsagWord{transmission_.bits.size(), codeword, kind, batch_, slot_, page});
  PutBits(codeword);
  ++slot_;
}

void PocsagBatchWriter::IdleUntilSlot(int slot) {
  slot = std::clamp(slot, 0, 15);
  while (NextSlot() != slot)
    Put(kPocsagIdle, PocsagWordKind::kIdle);
}

void PocsagBatchWriter::FinishBatch() {
  while (slot_ < 16)
    Put(kPocsagIdle, PocsagWordKind::kIdle);
}

PocsagTransmission PocsagBatchWriter::Take() {
  return std::move(transmission_);
}

PocsagTransmission EncodePocsag(const std::vector<PocsagPage>& pages,
                                const PocsagEncodeOptions& options) {
  PocsagBatchWriter writer(std::max(options.preambleBits, kPocsagMinPreambleBits));
  for (std::size_t index = 0; index < pages.size(); ++index) {
    const PocsagPage& page = pages[index];
    std::uint32_t capcode = page.capcode & kPocsagMaxCapcode;
    int frame = static_cast<int>(capcode & 7);
    int function = page.function;
    if (function < 0 || function > 3) {
      function = page.type == PocsagPageType::kAlphanumeric ? 3 : 0;
    }
    // The address may take either slot of its frame; otherwise wait for the frame to come round.
    if (writer.NextSlot() / 2 != frame)
      writer.IdleUntilSlot(2 * frame);
    int pageIndex = static_cast<int>(index);
    writer.Put(PocsagAddressCodeword(capcode, function), PocsagWordKind::kAddress, pageIndex);
    std::vector<std::uint32_t> message;
    if (page.type == PocsagPageType::kNumeric)
      message = PocsagNumericCodewords(page.text);
    if (page.type == PocsagPageType::kAlphanumeric) {
      message = PocsagAlphaCodewords(page.text, options.alphaFill);
    }
    for (std::uint32_t codeword : message) {
      writer.Put(codeword, PocsagWordKind::kMessage, pageIndex);
    }
  }
  // A page ends at the next address or idle codeword: the last one is followed by an idle
  // codeword, in a batch of its own when it fills its batch to the end.
  writer.Put(kPocsagIdle, PocsagWordKind::kIdle);
  writer.FinishBatch();
  return writer.Take();
}

void FlipBits(std::vector<std::uint8_t>& bits, const std::vector<std::size_t>& positions) {
  for (std::size_t position : positions) {
    if (position < bits.size())
      bits[position] ^= 1u;
  }
}

void FlipCodewordBits(PocsagTransmission& transmission, const PocsagWord& word,
                      const std::vector<int>& positions) {
  std::vector<std::size_t> absolute;
  for (int position : positions) {
    if (position >= 0 && position < 32) {
      absolute.push_back(word.bitOffset + static_cast<std::size_t>(position));
    }
  }
  FlipBits(transmission.bits, absolute);
}

SymbolStream PocsagSymbols(const std::vector<std::uint8_t>& bits, int bitRate) {
  SymbolStream stream;
  stream.symbolRate = bitRate;
  stream.levels.reserve(bits.size());
  for (std::uint8_t bit : bits)
    stream.levels.push_back(bit != 0 ? 0 : 3);
  return stream;
}

}  // namespace pagora::gen
