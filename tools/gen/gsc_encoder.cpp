#include "gsc_encoder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <stdexcept>

#include "gsc/golay.h"
#include "gsc/gsc_tables.h"

namespace pagora::gen {

namespace {

constexpr int kBatchBlocks = 16;      // blocks a receiver expects after a start code
constexpr int kTakenPageBlocks = 11;  // data blocks a receiver takes per page
constexpr int kMaxPageBlocks = 16;    // longer pages only serve to test receivers
constexpr int kDigitsPerBlock = 12;
constexpr int kCharactersPerBlock = 8;
constexpr int kAlphaTerminator = 63;
constexpr int kNumericSpace = 10;
constexpr int kContinuationBit = 48;
// BCH(15,7) generator x^8 + x^7 + x^6 + x^4 + 1, bit 0 as the highest power: the check bits
// 7..14 of every data word. The receiver does not correct data words; real pagers do.
constexpr std::uint32_t kBchGenerator = 0x117;

using DataBits = std::array<std::uint8_t, 56>;

std::uint16_t BchDataWord(int data) {
  std::uint32_t v = static_cast<std::uint32_t>(data) & 0x7Fu;
  std::uint32_t r = v;
  for (int i = 0; i < 7; ++i) {
    if (r & 1u)
      r ^= kBchGenerator;
    r >>= 1;
  }
  return static_cast<std::uint16_t>(v | (r << 7));
}

int NumericValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  switch (c) {
    case 'U':
      return 11;
    case '-':
      return 13;
    case ')':
      return 14;
    case '(':
      return 15;
    default:
      return kNumericSpace;
  }
}

int AlphaValue(char c) {
  if (c == '\0')
    return kAlphaTerminator;
  unsigned char u = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(c)));
  if (u >= 'A' && u <= 'Z')
    return u - 'A' + 33;
  if (u == '[')
    return 59;
  if (u == ']')
    return 61;
  // Spaces, and characters the code cannot carry, are sent as value 32 rather than 0, so that
  // runs of spaces are not runs of zeros without an edge for the receiver's clock.
  if (u > ' ' && u <= 63)
    return u - 32;
  return 32;
}

void PutGroup(DataBits& bits, int first, int width, int value) {
  for (int i = 0; i < width; ++i) {
    bits[static_cast<std::size_t>(first + i)] = static_cast<std::uint8_t>((value >> i) & 1);
  }
}

// An idle block: data words alternately all zeros and all ones (both are check-bit-valid), so
// the samples alternate and keep the receiver's clock in step; the continuation bit is clear.
DataBits IdleBits() {
  DataBits bits{};
  for (int w = 1; w < 8; w += 2)
    PutGroup(bits, 7 * w, 7, 0x7F);
  return bits;
}

std::vector<DataBits> PageBlocks(const GscPage& page) {
  std::vector<DataBits> blocks;
  const std::string& text = page.text;
  if (page.type == GscMessageType::kNumeric) {
    for (std::size_t at = 0; at < text.size(); at += kDigitsPerBlock) {
      DataBits bits{};
      for (int i = 0; i < kDigitsPerBlock; ++i) {
        std::size_t k = at + static_cast<std::size_t>(i);
        PutGroup(bits, 4 * i, 4, k < text.size() ? NumericValue(text[k]) : kNumericSpace);
      }
      blocks.push_back(bits);
    }
    if (blocks.empty())
      throw std::invalid_argument("GSC numeric page without digits");
  } else if (page.type == GscMessageType::kAlpha) {
    for (std::size_t at = 0; at < text.size(); at += kCharactersPerBlock) {
      DataBits bits{};
      for (int i = 0; i < kCharactersPerBlock; ++i) {
        std::size_t k = at + static_cast<std::size_t>(i);
        PutGroup(bits, 6 * i, 6, k < text.size() ? AlphaValue(text[k]) : kAlphaTerminator);
      }
      blocks.push_back(bits);
    }
    if (blocks.empty())
      throw std::invalid_argument("GSC alpha page without text");
  }
  if (static_cast<int>(blocks.size()) > kMaxPageBlocks) {
    throw std::invalid_argument("GSC page longer than 16 data blocks");
  }
  for (std::size_t i = 0; i + 1 < blocks.size(); ++i)
    blocks[i][kContinuationBit] = 1;
  return blocks;
}

class SampleWriter {
 public:
  explicit SampleWriter(std::vector<std::uint8_t>& samples) : samples_(samples) {}

  void Sample(int value) { samples_.push_back(static_cast<std::uint8_t>(value ? 1 : 0)); }
  // A comma sample: the opposite of the sample before it, so the clock sees an edge.
  void Comma() { Sample(samples_.empty() ? 1 : samples_.back() ^ 1); }
  void Comma(int count) {
    for (int i = 0; i < count; ++i)
      Comma();
  }
  // A 23-bit word at half rate, first bit (bit 0) first, each bit in two samples.
  void DoubledWord(std::uint32_t word) {
    for (int bit = 0; bit < 23; ++bit) {
      int value = static_cast<int>((word >> bit) & 1u);
      Sample(value);
      Sample(value);
    }
  }
  int Size() const { return static_cast<int>(samples_.size()); }

 private:
  std::vector<std::uint8_t>& samples_;
};

void WordBlock(SampleWriter& out, std::uint32_t word1, std::uint32_t word2) {
  out.Comma(kGscCommaLength);
  out.DoubledWord(word1);
  out.Comma();
  out.DoubledWord(word2);
}

void DataBlock(SampleWriter& out, const DataBits& bits) {
  std::array<std::uint16_t, 8> words{};
  for (int w = 0; w < 8; ++w) {
    int data = 0;
    for (int b = 0; b < 7; ++b)
      data |= bits[static_cast<std::size_t>(7 * w + b)] << b;
    words[static_cast<std::size_t>(w)] = BchDataWord(data);
  }
  out.Comma();
  // Interleaved: sample s carries bit s / 8 of word s % 8.
  for (int s = 0; s < 120; ++s)
    out.Sample((words[static_cast<std::size_t>(s % 8)] >> (s / 8)) & 1);
}

}  // namespace

std::uint32_t GolayEncode(std::uint32_t information) {
  information &= 0xFFFu;
  return information | GolaySyndrome(information);
}

GscAddressWords GscEncodeAddress(std::int32_t capcode, int function) {
  if (capcode < 0 || capcode > 999999)
    throw std::invalid_argument("GSC capcode out of range");
  if (function < 1 || function > 4)
    throw std::invalid_argument("GSC function out of range");
  int e = capcode / 100000;
  int a = (capcode / 1000) % 100;
  int b = (capcode / 100) % 10;
  int c = capcode % 100;
  int inv = (function - 1) & 1;
  int odd = (function - 1) >> 1;

  // The receiver computes C from the last two decimal digits of t and from whether its
  // hundreds, made even, are 2 modulo 4; B from the hundreds divided by four; and takes an odd
  // hundreds count as the upper half (50..99) of the thousands pair A.
  int hundreds = 4 * b + (c >= 50 ? 2 : 0) + (a >= 50 ? 1 : 0);
  int units = c >= 50 ? 2 * c - 100 : 2 * c;
  std::uint32_t half = static_cast<std::uint32_t>((100 * hundreds + units) / 2);  // < 0x800
  std::uint32_t information = inv ? (0x800u | (~half & 0x7FFu)) : half;

  std::uint32_t word1 = GolayDecode(kGscAddressTable[static_cast<std::size_t>(a % 50)]);
  if (odd)
    word1 = ~word1 & kGolayMask;
  return GscAddressWords{word1, GolayEncode(information), (e + a % 10) % 10};
}

int GscWordSample(const GscBlockSpan& block, int word, int bit) {
  return block.offset + (word == 1 ? kGscCommaLength : kGscCommaLength + 47) + 2 * bit;
}

int GscDataSample(const GscBlockSpan& block, int bit) {
  return block.offset + 1 + 8 * (bit % 7) + bit / 7;
}

GscSignal EncodeGsc(const GscTransmission& transmission) {
  const std::vector<GscPage>& pages = transmission.pages;
  GscSignal signal;

  struct Planned {
    GscAddressWords address;
    std::vector<DataBits> data;
  };
  std::vector<Planned> planned;
  int preambleIndex = transmission.preambleIndex;
  for (const GscPage& page : pages) {
    Planned p{GscEncodeAddress(page.capcode, page.function), PageBlocks(page)};
    if (preambleIndex < 0)
      preambleIndex = p.address.preambleIndex;
    if (p.address.preambleIndex != preambleIndex) {
      throw std::invalid_argument("GSC pages need different preamble patterns");
    }
    // A receiver stays in data after the eleventh block, so the next address would be lost.
    if (!planned.empty() && static_cast<int>(planned.back().data.size()) > kTakenPageBlocks)
      throw std::invalid_argument("GSC page longer than 11 data blocks must be the last");
    p.address.word1 ^= page.address1Errors & kGolayMask;
    p.address.word2 ^= page.address2Errors & kGolayMask;
    planned.push_back(std::move(p));
  }
  if (preambleIndex < 0)
    preambleIndex = 0;
  if (preambleIndex > 9)
    throw std::invalid_argument("GSC preamble pattern out of range");
  signal.preambleIndex = preambleIndex;

  // Block budget as the receiver keeps it. Address blocks cost one after an inverted preamble
  // and nothing after a normal one; the final data block of a page costs one, and so does
  // every block after the last one a receiver takes, which it reads with the page shown.
  bool inverted = transmission.invertedPreamble;
  int cost = 0;
  for (const Planned& p : planned) {
    int blocks = static_cast<int>(p.data.size());
    cost += inverted ? 1 : 0;
    if (blocks > 0)
      cost += 1 + std::max(0, blocks - kTakenPageBlocks - 1);
  }
  // After a normal preamble only a data block ends the transmission. A final address-only page
  // is followed by an idle block, as transmitters do; receivers show it as that page's data.
  bool trailingIdle = !inverted && !planned.empty() && planned.back().data.empty();
  if (trailingIdle)
    cost += 1;
  int budget = inverted ? kBatchBlocks : 1;
  bool repeatStart = cost > budget;
  if (repeatStart)
    budget = kBatchBlocks;
  if (cost > budget)
    throw std::invalid_argument("GSC pages do not fit into one transmission");
  // Idle blocks ahead of the first address use up the rest of the budget, so that the final
  // block ends the transmission (a data block with no page open is read and dropped).
  int idleBlocks = planned.empty() ? 0 : budget - cost;

  SampleWriter out(signal.samples);
  // Preamble: the pattern's 23-bit word, doubled, repeated; complemented when inverted.
  const GscPreamblePattern& pattern = kGscPreambleTable[static_cast<std::size_t>(preambleIndex)];
  std::uint64_t doubled = (static_cast<std::uint64_t>(pattern.field1) << 32) |
                          (static_cast<std::uint64_t>(pattern.field2) << 16) | pattern.field3;
  for (int w = 0; w < transmission.preambleWords; ++w) {
    for (int age = 45; age >= 0; --age) {
      out.Sample(static_cast<int>(((doubled >> age) & 1u) ^ (inverted ? 1u : 0u)));
    }
  }

  auto startCode = [&](std::uint32_t errors1, std::uint32_t errors2) {
    signal.blocks.push_back({GscBlockKind::kStartCode, out.Size(), -1});
    WordBlock(out, kGscStartCode ^ (errors1 & kGolayMask), (~kGscStartCode ^ errors2) & kGolayMask);
  };
  startCode(transmission.startCode1Errors, transmission.startCode2Errors);
  if (repeatStart)
    startCode(0, 0);
  for (int i = 0; i < idleBlocks; ++i) {
    signal.blocks.push_back({GscBlockKind::kIdle, out.Size(), -1});
    DataBlock(out, IdleBits());
  }
  for (std::size_t i = 0; i < planned.size(); ++i) {
    const Planned& p = planned[i];
    signal.blocks.push_back({GscBlockKind::kAddress, out.Size(), static_cast<int>(i)});
    WordBlock(out, p.address.word1, p.address.word2);
    for (const DataBits& bits : p.data) {
      signal.blocks.push_back({GscBlockKind::kData, out.Size(), static_cast<int>(i)});
      DataBlock(out, bits);
    }
  }
  if (trailingIdle) {
    // Listed as the page's data: that is how a receiver reads it.
    signal.blocks.push_back(
        {GscBlockKind::kData, out.Size(), static_cast<int>(planned.size()) - 1});
    DataBlock(out, IdleBits());
  }
  return signal;
}

SymbolStream GscSymbols(const std::vector<std::uint8_t>& samples) {
  SymbolStream stream;
  stream.symbolRate = kGscSampleRate;
  stream.levels.reserve(samples.size());
  for (std::uint8_t s : samples)
    stream.levels.push_back(s ? 3 : 0);
  return stream;
}

}  // namespace pagora::gen
