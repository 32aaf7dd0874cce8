// FLEX frame encoder.
//
// A frame as sent: 32 bits of bit sync (alternating), sync 1 (mode code, marker 0xA6C6, 0xAAAA,
// the complement of the mode code and of 0xA6C6), the frame information word as a codeword,
// 40 bits of sync 2 (a short comma of alternating bits, a 16-bit pattern, then both inverted),
// all at 1600 symbols/s and 2 levels, then 11 blocks at the mode's rate and
// levels. In a block each phase's 8 codewords are interleaved bit by bit (bit i of codeword j
// is the phase's bit 8i + j); a 4-level symbol carries phase A (or C) in its high bit and B (or
// D) in its low bit, and at 3200 symbols/s the symbols alternate between A/B and C/D.

#include "flex_encoder.h"

#include <cstring>
#include <utility>

namespace pagora::gen {
namespace {

constexpr std::uint32_t kWordMask = 0x1FFFFF;
constexpr std::uint32_t kGenerator = 0x769;  // x^10 + x^9 + x^8 + x^6 + x^5 + x^3 + 1
constexpr char kNumericSet[] = "0123456789*U -)(";
constexpr int kNumericSpace = 12;
constexpr int kFillCharacter = 3;
constexpr int kBitSyncBits = 32;
// Sync 2: comma, pattern, inverted comma, inverted pattern. No long run of alternating bits:
// after the frame information word such a run would sit where the receiver's sync window
// expects 0xAAAA, and for some frame numbers the word's last bits come within four bits of
// 0xA6C6, a second marker that would restart the header count and lose the frame.
constexpr int kSync2CommaBits = 4;
constexpr std::uint16_t kSync2Pattern = 0xED84;
constexpr int kMaxNumericWords = 8;
constexpr int kMaxLength = 127;

// Symbols for a high bit alone (2 levels: the outer levels) and for a high/low bit pair (4 levels).
std::int8_t TwoLevelSymbol(int bit) {
  return bit ? 0 : 3;
}
std::int8_t FourLevelSymbol(int high, int low) {
  static constexpr std::int8_t kTable[2][2] = {{2, 3}, {1, 0}};  // [high][low]
  return kTable[high][low];
}

int NumericCode(char c) {
  const char* p = std::strchr(kNumericSet, c);
  return (c != '\0' && p) ? static_cast<int>(p - kNumericSet) : -1;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

// Packs groups of bits, least significant first, into 21-bit words.
class WordPacker {
 public:
  void Put(std::uint32_t value, int bits) {
    for (int b = 0; b < bits; ++b) {
      if (filled_ == 0)
        words_.push_back(0);
      words_.back() |= ((value >> b) & 1u) << filled_;
      filled_ = (filled_ + 1) % 21;
    }
  }
  int FreeBits() const { return filled_ == 0 ? 0 : 21 - filled_; }
  std::vector<std::uint32_t>& Words() { return words_; }

 private:
  std::vector<std::uint32_t> words_;
  int filled_ = 0;
};

// One page as laid out: its vector word (without the message start and checksum), the second
// vector word of a long address, and its message words.
struct LaidOutPage {
  std::uint32_t address[2] = {0, 0};
  int addressCount = 0;
  std::uint32_t vector = 0;
  bool hasStart = false;  // the vector points at the message words
  std::uint32_t second = 0;
  std::vector<std::uint32_t> message;
};

bool LayOutNumeric(const FlexPage& page, bool isLong, LaidOutPage& out) {
  WordPacker packer;
  packer.Put(0, page.type == FlexPageType::kNumberedNumeric ? 10 : 2);
  for (char c : page.content) {
    int code = NumericCode(c);
    if (code < 0)
      return false;
    packer.Put(static_cast<std::uint32_t>(code), 4);
  }
  while (packer.FreeBits() >= 4)
    packer.Put(kNumericSpace, 4);
  std::vector<std::uint32_t>& words = packer.Words();
  int count = static_cast<int>(words.size());
  if (count > kMaxNumericWords)
    return false;
  out.vector |= static_cast<std::uint32_t>(count - 1) << 14;
  if (isLong) {
    out.second = words.front();
    out.message.assign(words.begin() + 1, words.end());
  } else {
    out.message = words;
  }
  out.hasStart = true;
  return true;
}

bool LayOutText(const FlexPage& page, bool isLong, LaidOutPage& out) {
  std::vector<std::uint32_t> codes;
  if (page.fragment == 3) {
    // The first fragment opens with a signature over its characters.
    std::uint32_t sum = 0;
    for (char c : page.content)
      sum += static_cast<unsigned char>(c);
    codes.push_back(~sum & 0x7F);
  }
  for (char c : page.content) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u > 0x7F)
      return false;
    codes.push_back(u);
  }
  while (codes.size() % 3 != 0)
    codes.push_back(kFillCharacter);
  std::uint32_t header =
      (static_cast<std::uint32_t>(page.fragment & 3) << 11) | (page.continues ? 1u << 10 : 0u);
  std::vector<std::uint32_t> text;
  for (std::size_t i = 0; i < codes.size(); i += 3) {
    text.push_back(codes[i] | (codes[i + 1] << 7) | (codes[i + 2] << 14));
  }
  int n = static_cast<int>(text.size()) + 1;
  if (n > kMaxLength)
    return false;
  out.vector |= static_cast<std::uint32_t>(n) << 14;
  if (isLong) {
    out.second = header;
    out.message = std::move(text);
  } else {
    out.message.push_back(header);
    out.message.insert(out.message.end(), text.begin(), text.end());
  }
  out.hasStart = true;
  return true;
}

bool LayOutBinary(const FlexPage& page, bool isLong, LaidOutPage& out) {
  WordPacker packer;
  for (char c : page.content) {
    int value = HexValue(c);
    if (value < 0)
      return false;
    packer.Put(static_cast<std::uint32_t>(value), 4);
  }
  std::vector<std::uint32_t> body;
  if (page.extraBinaryHeader)
    body.push_back(0);
  body.insert(body.end(), packer.Words().begin(), packer.Words().end());
  std::uint32_t header = page.extraBinaryHeader ? (3u << 13) : 0u;
  int n = static_cast<int>(body.size()) + 1;
  if (n > kMaxLength)
    return false;
  out.vector |= static_cast<std::uint32_t>(n) << 14;
  if (isLong) {
    out.second = header;
    out.message = std::move(body);
  } else {
    out.message.push_back(header);
    out.message.insert(out.message.end(), body.begin(), body.end());
  }
  out.hasStart = true;
  return true;
}

bool LayOutShortMessage(const FlexPage& page, bool isLong, LaidOutPage& out) {
  if (page.toneOnly) {
    out.vector |= 1u << 7;
    return true;
  }
  std::size_t capacity = isLong ? 8 : 3;
  if (page.content.size() > capacity)
    return false;
  std::uint32_t digits[8];
  for (std::size_t i = 0; i < 8; ++i) {
    int code = i < page.content.size() ? NumericCode(page.content[i]) : kNumericSpace;
    if (code < 0)
      return false;
    digits[i] = static_cast<std::uint32_t>(code);
  }
  out.vector |= (digits[0] << 9) | (digits[1] << 13) | (digits[2] << 17);
  if (isLong) {
    for (int i = 0; i < 5; ++i)
      out.second |= digits[3 + i] << (4 * i);
  }
  return true;
}

bool LayOutPage(const FlexPage& page, LaidOutPage& out) {
  if (!page.addressWords.empty()) {
    if (page.addressWords.size() > 2)
      return false;
    out.addressCount = static_cast<int>(page.addressWords.size());
    for (int i = 0; i < out.addressCount; ++i)
      out.address[i] = page.addressWords[i] & kWordMask;
  } else {
    out.addressCount = FlexAddressWords(page.capcode, out.address);
    if (out.addressCount == 0)
      return false;
  }
  bool isLong = out.addressCount == 2;
  out.vector = static_cast<std::uint32_t>(page.type) << 4;
  switch (page.type) {
    case FlexPageType::kStandardNumeric:
    case FlexPageType::kSpecialNumeric:
    case FlexPageType::kNumberedNumeric:
      return LayOutNumeric(page, isLong, out);
    case FlexPageType::kSecure:
    case FlexPageType::kAlphanumeric:
      return LayOutText(page, isLong, out);
    case FlexPageType::kBinary:
      return LayOutBinary(page, isLong, out);
    case FlexPageType::kShortMessage:
      return LayOutShortMessage(page, isLong, out);
    case FlexPageType::kInstruction:
      // Instruction type 0 (bits 7-9): a temporary address assignment, the frame of the call
      // in bits 10-16 and the temporary address in bits 17-20.
      if (page.groupIndex < 0 || page.groupIndex >= kFlexTemporaryCapcodes || page.groupFrame < 0 ||
          page.groupFrame > 127)
        return false;
      out.vector |= (static_cast<std::uint32_t>(page.groupFrame) << 10) |
                    (static_cast<std::uint32_t>(page.groupIndex) << 17);
      return true;
  }
  return false;
}

// Walks a frame's symbols: the header at 1600 symbols/s (slow = true), then the blocks.
template <typename Emit>
void EmitFrame(const FlexFrame& frame, Emit emit) {
  auto emitBit = [&](int bit) { emit(TwoLevelSymbol(bit), true); };
  for (int i = 0; i < kBitSyncBits; ++i)
    emitBit((i & 1) == 0);

  std::uint16_t code = frame.modeCode ? frame.modeCode : FlexModeCode(frame.mode);
  std::uint64_t window = (std::uint64_t{code} << 48) | (std::uint64_t{0xA6C6} << 32) |
                         (std::uint64_t{0xAAAA} << 16) | std::uint64_t{code ^ 0xFFFFu};
  window ^= frame.syncErrors;
  for (int b = 63; b >= 0; --b)
    emitBit(static_cast<int>((window >> b) & 1));
  for (int b = 15; b >= 0; --b)
    emitBit(((0xA6C6 ^ 0xFFFF) >> b) & 1);
  std::uint32_t info = FlexCodeword(FlexFrameInfoWord(frame.cycle, frame.frame));
  for (int p = 0; p < 32; ++p)
    emitBit(static_cast<int>((info >> p) & 1));
  for (int half = 0; half < 2; ++half) {
    int invert = half;
    for (int i = 0; i < kSync2CommaBits; ++i)
      emitBit(((i & 1) == 0) ^ invert);
    for (int b = 15; b >= 0; --b)
      emitBit(((kSync2Pattern >> b) & 1) ^ invert);
  }

  std::array<std::array<std::uint32_t, 88>, 4> codewords{};
  for (int p = 0; p < 4; ++p) {
    for (int w = 0; w < 88; ++w)
      codewords[p][w] = FlexCodeword(frame.phases[p][w]);
  }
  for (const FlexBitError& e : frame.errors) {
    if (e.phase >= 0 && e.phase < 4 && e.word >= 0 && e.word < 88) {
      codewords[e.phase][e.word] ^= e.mask;
    }
  }

  const bool fast = FlexSymbolRate(frame.mode) == 3200;
  const bool fourLevel = FlexLevels(frame.mode) == 4;
  auto symbolOf = [&](int high, int low) {
    return fourLevel ? FourLevelSymbol(high, low) : TwoLevelSymbol(high);
  };
  for (int block = 0; block < 11; ++block) {
    for (int x = 0; x < 256; ++x) {
      int word = 8 * block + x % 8;
      int position = x / 8;
      auto bit = [&](int phase) {
        return static_cast<int>((codewords[phase][word] >> position) & 1);
      };
      emit(symbolOf(bit(0), bit(1)), false);
      if (fast)
        emit(symbolOf(bit(2), bit(3)), false);
    }
  }
}

}  // namespace

std::uint16_t FlexModeCode(FlexMode mode) {
  switch (mode) {
    case FlexMode::k1600x2:
      return 0x870C;
    case FlexMode::k1600x4:
      return 0xB068;
    case FlexMode::k3200x2:
      return 0x7B18;
    case FlexMode::k3200x4:
      return 0xDEA0;
  }
  return 0x870C;
}

int FlexSymbolRate(FlexMode mode) {
  return (mode == FlexMode::k3200x2 || mode == FlexMode::k3200x4) ? 3200 : 1600;
}

int FlexLevels(FlexMode mode) {
  return (mode == FlexMode::k1600x4 || mode == FlexMode::k3200x4) ? 4 : 2;
}

bool FlexPhaseInUse(FlexMode mode, int phase) {
  switch (phase) {
    case 0:
      return true;
    case 1:
      return FlexLevels(mode) == 4;
    case 2:
      return FlexSymbolRate(mode) == 3200;
    case 3:
      return mode == FlexMode::k3200x4;
    default:
      return false;
  }
}

int FlexAddressWords(std::uint32_t capcode, std::uint32_t words[2]) {
  if ((capcode >= 1 && capcode <= 1933312) || (capcode >= 1998849 && capcode <= 2031614)) {
    words[0] = capcode + 32768;
    return 1;
  }
  if (capcode < 2068481 || capcode > 0x7FFFFFFF)
    return 0;
  // capcode = first + (second XOR 0x1FFFFF) * 32768 + 2068480, first in 1..32768.
  std::uint32_t r = capcode - 2068480;
  std::uint32_t first = r & 0x7FFF;
  std::uint32_t high = r >> 15;
  if (first == 0) {
    first = 0x8000;
    high -= 1;
  }
  words[0] = first;
  words[1] = high ^ kWordMask;
  return 2;
}

std::uint32_t FlexWithChecksum(std::uint32_t word) {
  word &= kWordMask & ~0xFu;
  std::uint32_t sum = (word >> 20) & 1;
  for (int shift = 4; shift < 20; shift += 4)
    sum += (word >> shift) & 15;
  return word | ((15 - sum) & 15);
}

std::uint32_t FlexFrameInfoWord(int cycle, int frame) {
  std::uint32_t word = (static_cast<std::uint32_t>(cycle & 15) << 4) |
                       (static_cast<std::uint32_t>(frame & 127) << 8);
  return FlexWithChecksum(word);
}

std::uint32_t FlexCodeword(std::uint32_t word) {
  // Polynomial with the first information bit as the coefficient of x^30.
  std::uint32_t poly = 0;
  for (int i = 0; i <= 20; ++i) {
    if (((word >> i) & 1) == 0)
      poly |= 1u << (30 - i);
  }
  std::uint32_t rem = poly;
  for (int k = 30; k >= 10; --k) {
    if ((rem >> k) & 1)
      rem ^= kGenerator << (k - 10);
  }
  std::uint32_t codeword = poly | (rem & 0x3FF);
  int ones = 0;
  for (int k = 0; k < 31; ++k)
    ones += (codeword >> k) & 1;
  // Reorder so that bit p is the p-th bit sent: coefficient of x^(30 - p), then the parity.
  std::uint32_t sent = 0;
  for (int p = 0; p < 31; ++p)
    sent |= ((codeword >> (30 - p)) & 1u) << p;
  sent |= static_cast<std::uint32_t>(ones & 1) << 31;
  return sent;
}

bool BuildFlexPhase(const std::vector<FlexPage>& pages, FlexWords& words) {
  // Idle words alternate between all-zero and all-one codewords, which interleave into a
  // steady 1010 pattern.
  for (std::size_t i = 0; i < words.size(); ++i)
    words[i] = (i % 2 == 0) ? kWordMask : 0;

  std::vector<LaidOutPage> laidOut(pages.size());
  int addressWords = 0;
  for (std::size_t i = 0; i < pages.size(); ++i) {
    if (!LayOutPage(pages[i], laidOut[i]))
      return false;
    addressWords += laidOut[i].addressCount;
  }
  int vectorStart = 1 + addressWords;
  if (vectorStart > 63)
    return false;
  int next = vectorStart + addressWords;  // first message word
  for (const LaidOutPage& page : laidOut)
    next += static_cast<int>(page.message.size());
  if (next > 88)
    return false;

  words[0] = FlexWithChecksum(static_cast<std::uint32_t>(vectorStart) << 10);
  int a = 1;
  int v = vectorStart;
  int s = vectorStart + addressWords;
  for (LaidOutPage& page : laidOut) {
    for (int i = 0; i < page.addressCount; ++i)
      words[a++] = page.address[i];
    std::uint32_t vector = page.vector;
    if (page.hasStart)
      vector |= static_cast<std::uint32_t>(s) << 7;
    words[v] = FlexWithChecksum(vector);
    if (page.addressCount == 2)
      words[v + 1] = page.second & kWordMask;
    v += page.addressCount;
    for (std::uint32_t w : page.message)
      words[s++] = w & kWordMask;
  }
  return true;
}

bool MakeFlexFrame(FlexMode mode, const std::array<std::vector<FlexPage>, 4>& pages,
                   FlexFrame& frame) {
  frame.mode = mode;
  for (int p = 0; p < 4; ++p) {
    if (!FlexPhaseInUse(mode, p) && !pages[p].empty())
      return false;
    if (!BuildFlexPhase(pages[p], frame.phases[p]))
      return false;
  }
  return true;
}

std::vector<std::int8_t> FlexDecoderSymbols(const FlexFrame& frame) {
  std::vector<std::int8_t> symbols;
  EmitFrame(frame, [&](std::int8_t symbol, bool) { symbols.push_back(symbol); });
  return symbols;
}

bool AppendFlexFrame(SymbolStream& stream, const FlexFrame& frame) {
  const int rate = FlexSymbolRate(frame.mode);
  if (stream.symbolRate <= 0)
    stream.symbolRate = rate;
  const double headerRepeat = stream.symbolRate / 1600.0;
  const double blockRepeat = stream.symbolRate / rate;
  const int header = static_cast<int>(headerRepeat);
  const int block = static_cast<int>(blockRepeat);
  if (block < 1 || header != headerRepeat || block != blockRepeat)
    return false;
  EmitFrame(frame, [&](std::int8_t symbol, bool slow) {
    AppendLevel(stream, FlexLevelForSymbol(symbol), slow ? header : block);
  });
  return true;
}

}  // namespace pagora::gen
