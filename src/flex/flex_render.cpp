// FLEX page rendering.
//
// A page is one message line: the capcode in brackets with the time, the phase letter taken
// from the capcode, a seven-character format label, then the content. Vector word V carries the
// message type in bits 4-6, the first message word s in bits 7-13 and the length n in bits
// 14-20; a long address has a second vector word W that holds the first message word or the
// message header. Message words hold 21 bits each, read least significant bit first:
//   numeric      4-bit digits after 2 (standard, special format) or 10 (numbered) header bits
//   alphanumeric a header word (fragment number in bits 11-12), then three 7-bit characters a
//                word; code 3 is fill, and the first character of a first fragment is a
//                signature, not text
//   binary       a header word (one more when its bits 13-14 are set), then 4-bit groups
//   short        digits in the vector word itself (and W), or nothing for a tone-only page
// Words whose codeword could not be corrected are still shown, in the bit-error colour.

#include "flex/flex_render.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/settings.h"

namespace pagora {
namespace {

constexpr char kNumericSet[] = "0123456789*U -)(";
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr int kCharacter7 = 0x7F;
constexpr int kFillCharacter = 3;

enum FlexType : int {
  kSecure = 0,
  kInstruction = 1,
  kShortMessage = 2,
  kStandardNumeric = 3,
  kSpecialNumeric = 4,
  kAlphanumeric = 5,
  kBinary = 6,
  kNumberedNumeric = 7,
};

constexpr const char* kLabels[8] = {"SECURE ", "",        "SH/TONE", "ST NUM ",
                                    "SF NUM ", " ALPHA ", "BINARY ", "NU NUM "};

bool Flagged(std::int32_t word) {
  return (word & kFlexErrorFlag) != 0;
}

int RateOfRow(int row) {
  switch (row) {
    case kRowFlex6400:
      return 6400;
    case kRowFlex3200:
      return 3200;
    default:
      return 1600;
  }
}

const char* PageTypeName(int type, std::int32_t vector) {
  switch (type) {
    case kSecure:
      return "secure";
    case kShortMessage:
      return ((vector >> 7) & 3) == 0 ? "short-message" : "tone";
    case kStandardNumeric:
      return "numeric";
    case kSpecialNumeric:
      return "special-numeric";
    case kAlphanumeric:
      return "alpha";
    case kBinary:
      return "binary";
    case kNumberedNumeric:
      return "numbered-numeric";
    default:
      return "instruction";
  }
}

// The words of a page's message, resolved against the frame: `header` is the word before the
// run (alphanumeric and binary), `lead` a word in front of the run (W of a long address), and
// words[first .. last] the run itself (empty when last < first).
struct MessageWords {
  bool inFrame = true;
  std::int32_t header = 0;
  bool hasLead = false;
  std::int32_t lead = 0;
  int first = 0;
  int last = -1;
};

bool RunInFrame(int first, int last) {
  return last < first || (first >= 0 && last < kFlexFrameWords);
}

MessageWords LocateMessage(const FlexPhase& phase, int type, std::int32_t v, std::int32_t w,
                           bool isLong) {
  MessageWords r;
  int s = (v >> 7) & 127;
  int n = (v >> 14) & 127;
  switch (type) {
    case kStandardNumeric:
    case kSpecialNumeric:
    case kNumberedNumeric: {
      int count = (v >> 14) & 7;  // words after the first
      if (isLong) {
        r.hasLead = true;
        r.lead = w;
        r.first = s;
        r.last = s + count - 1;
      } else {
        r.first = s;
        r.last = s + count;
      }
      break;
    }
    case kSecure:
    case kAlphanumeric:
    case kBinary: {
      if (isLong) {
        r.header = w;
        r.first = s;
        r.last = s + n - 2;
      } else {
        if (s >= kFlexFrameWords) {
          r.inFrame = false;
          return r;
        }
        r.header = phase.words[s];
        r.first = s + 1;
        r.last = s + n - 1;
      }
      // A binary header with bits 13-14 set is followed by one more header word.
      if (type == kBinary && ((r.header >> 13) & 3) == 3)
        ++r.first;
      break;
    }
    default:
      break;
  }
  r.inFrame = RunInFrame(r.first, r.last);
  return r;
}

void WritePhaseAndLabel(const FlexRun& run, const FlexPhase& phase, int type) {
  run.ctx.pages.SetColourClass(kClassFlexPhase);
  run.ctx.pages.PutChar(phase.phaseLetter);
  run.ctx.pages.PutChar(' ');
  run.ctx.pages.SetColourClass(kClassFlexFormat);
  run.ctx.pages.PutText(kLabels[type]);
  run.ctx.pages.PutChar(' ');
  run.ctx.pages.MarkTextStart();
}

void WriteShortMessage(const FlexRun& run, std::int32_t v, std::int32_t w, bool isLong) {
  if (((v >> 7) & 3) != 0)
    return;  // tone only: the header says it all
  run.ctx.pages.SetColourClass(kClassNumeric);
  int shown = 0;
  for (int shift = 9; shift <= 17; shift += 4, ++shown) {
    run.ctx.pages.PutReceived(kNumericSet[(v >> shift) & 15]);
  }
  if (isLong) {
    for (int shift = 0; shift <= 16; shift += 4, ++shown) {
      run.ctx.pages.PutReceived(kNumericSet[(w >> shift) & 15]);
    }
  }
  run.ctx.pages.CountCharacters(run.flex.statisticsRow, kKindNumeric, shown);
}

void WriteNumeric(const FlexRun& run, const FlexPhase& phase, int type, const MessageWords& words) {
  // Standard and special format numerics skip 2 header bits; numbered numerics 10.
  const int firstDigitBits = type == kNumberedNumeric ? 14 : 6;
  int window = 0;  // every page starts afresh
  int bits = 0;
  int shown = 0;
  auto feed = [&](std::int32_t word) {
    run.ctx.pages.SetColourClass(Flagged(word) ? kClassBitErrors : kClassNumeric);
    for (int b = 0; b < 21; ++b) {
      window = (window >> 1) | (((word >> b) & 1) << 3);
      ++bits;
      if (bits >= firstDigitBits && (bits - firstDigitBits) % 4 == 0) {
        run.ctx.pages.PutReceived(kNumericSet[window]);
        ++shown;
      }
    }
  };
  if (words.hasLead)
    feed(words.lead);
  for (int i = words.first; i <= words.last; ++i)
    feed(phase.words[i]);
  run.ctx.pages.CountCharacters(run.flex.statisticsRow, kKindNumeric, shown);
}

void WriteText(const FlexRun& run, const FlexPhase& phase, const MessageWords& words) {
  const bool signatureFirst = ((words.header >> 11) & 3) == 3;
  int shown = 0;
  for (int i = words.first; i <= words.last; ++i) {
    std::int32_t word = phase.words[i];
    run.ctx.pages.SetColourClass(Flagged(word) ? kClassBitErrors : kClassAlphanumeric);
    for (int c = 0; c < 3; ++c) {
      if (i == words.first && c == 0 && signatureFirst)
        continue;
      int code = (word >> (7 * c)) & kCharacter7;
      if (code == kFillCharacter)
        continue;
      run.ctx.pages.PutReceived(static_cast<char>(code));
      ++shown;
    }
  }
  run.ctx.pages.CountCharacters(run.flex.statisticsRow, kKindAlpha, shown);
}

void WriteBinary(const FlexRun& run, const FlexPhase& phase, const MessageWords& words) {
  run.ctx.pages.SetColourClass(kClassFlexBinary);
  int group = 0;
  int bits = 0;
  for (int i = words.first; i <= words.last; ++i) {
    for (int b = 0; b < 21; ++b) {
      group |= ((phase.words[i] >> b) & 1) << bits;
      if (++bits == 4) {
        run.ctx.pages.PutReceived(kHexDigits[group]);
        group = 0;
        bits = 0;
      }
    }
  }
}

// Adds the correction scores of words first..last of the phase to the page record.
void NoteWords(const FlexRun& run, const FlexPhase& phase, int first, int last) {
  for (int i = std::max(first, 0); i <= last && i < kFlexFrameWords; ++i)
    NoteCodeword(run.ctx.pages.CurrentPage(), phase.scores[static_cast<std::size_t>(i)]);
}

// The frame's mode, the phase that carried the page, cycle and frame, and for text the
// fragment flag of its message header: bit 10 says more parts follow, bits 11-12 are 3 on the
// first part.
void NoteTravel(const FlexRun& run, const FlexPhase& phase, int type, std::int32_t header) {
  const FlexDecoder& f = run.flex;
  Page& page = run.ctx.pages.CurrentPage();
  page.flexSymbolRate = f.symbolRate;
  page.flexLevels = f.levels;
  const auto index = &phase - f.phases.data();
  page.flexPhase = index >= 0 && index < 4 ? static_cast<char>('A' + index) : '?';
  page.flexCycle = f.cycle;
  page.flexFrame = f.frame;
  page.fragment = 'K';
  if (type == kAlphanumeric || type == kSecure) {
    page.continues = ((header >> 10) & 1) != 0;
    page.laterPart = ((header >> 11) & 3) != 3;
    if (page.continues)
      page.fragment = 'F';
    else if (page.laterPart)
      page.fragment = 'C';
  }
}

struct Capcode {
  std::int32_t value = 0;
  bool unknown = false;
};

Capcode ShortCapcode(std::int32_t addressWord) {
  Capcode capcode;
  capcode.value = (addressWord & kFlexWordMask) - 32768;
  capcode.unknown = Flagged(addressWord) || capcode.value < 0;
  return capcode;
}

Capcode LongCapcode(std::int32_t firstWord, std::int32_t secondWord) {
  // 32-bit arithmetic: the high bits of the shifted second word (its error flag included) are
  // lost, as the capcode numbering allows for.
  std::uint32_t high = (static_cast<std::uint32_t>(secondWord) ^ kFlexWordMask) << 15;
  std::uint32_t sum = high + static_cast<std::uint32_t>(firstWord & kFlexWordMask) + 2068480u;
  Capcode capcode;
  capcode.value = static_cast<std::int32_t>(sum);
  capcode.unknown = Flagged(firstWord) || Flagged(secondWord) || capcode.value < 0;
  return capcode;
}

Capcode AddressCapcode(const FlexPhase& phase, int addressIndex, bool isLong) {
  return isLong ? LongCapcode(phase.words[addressIndex], phase.words[addressIndex + 1])
                : ShortCapcode(phase.words[addressIndex]);
}

// A short instruction of type 0 assigns the pager at the address to temporary address
// 2029568 + bits 17-20, for the frame in bits 10-16.
void NoteInstruction(const FlexRun& run, const FlexPhase& phase, int addressIndex, bool isLong,
                     std::int32_t v) {
  Capcode pager = AddressCapcode(phase, addressIndex, isLong);
  if (pager.unknown || ((v >> 7) & 7) != 0)
    return;
  FlexGroup& group = run.flex.groups[static_cast<std::size_t>((v >> 17) & 15)];
  const int frame = (v >> 10) & 127;
  if (group.frame != frame)
    group = FlexGroup{frame, 0, {}};
  for (int i = 0; i < group.count; ++i) {
    if (group.members[static_cast<std::size_t>(i)] == pager.value)
      return;
  }
  if (group.count < static_cast<int>(group.members.size()))
    group.members[static_cast<std::size_t>(group.count++)] = pager.value;
}

// The members of a group call to `capcode`, into the page record; the assignment is spent.
void TakeGroupMembers(const FlexRun& run, Capcode capcode) {
  std::int32_t index = capcode.value - kFlexFirstTemporaryAddress;
  if (capcode.unknown || index < 0 || index >= kFlexTemporaryAddresses)
    return;
  FlexGroup& group = run.flex.groups[static_cast<std::size_t>(index)];
  // The pagers were told to listen in one frame: a call to the same address in another frame
  // is not theirs (when this frame's number could not be read, the assignment is taken).
  if (run.flex.frame >= 0 && group.frame != run.flex.frame)
    return;
  Page& page = run.ctx.pages.CurrentPage();
  page.memberCount = 0;
  for (int i = 0; i < group.count && i < Page::kMaxMembers; ++i)
    page.members[static_cast<std::size_t>(page.memberCount++)] =
        group.members[static_cast<std::size_t>(i)];
  group = FlexGroup{};
}

// A filter on a member's capcode fires for the group call when none matches the temporary
// address itself.
void FindMemberFilter(const FlexRun& run) {
  const Page& page = run.ctx.pages.CurrentPage();
  for (int i = 0; i < page.memberCount; ++i) {
    std::int32_t member = page.members[static_cast<std::size_t>(i)];
    if (run.ctx.pages.FindCapcodeFilter(
            member > kLongCapcodeBase ? kFilterFlexLong : kFilterFlexShort,
            CapcodeText(member).c_str(), 0, 0))
      return;
  }
}

// The row after a group call: who was paged.
void WriteMembers(const FlexRun& run) {
  Page& page = run.ctx.pages.CurrentPage();
  if (page.memberCount == 0)
    return;
  std::string row = "  group call to";
  for (int i = 0; i < page.memberCount; ++i) {
    row += ' ';
    row += CapcodeText(page.members[static_cast<std::size_t>(i)]);
  }
  run.ctx.pages.SetColourClass(kClassFlexPhase);
  run.ctx.pages.PutText(row.c_str());
  run.ctx.pages.EndLine();
}

void WriteHeader(const FlexRun& run, FlexPhase& phase, Capcode capcode, bool isLong,
                 const char* pageType) {
  // The letter comes from the capcode, whatever phase carried the page.
  phase.phaseLetter = "ABCD"[(capcode.value >> 2) & 3];

  std::string time = run.ctx.pages.LocalTimeText();
  if (time.size() > 39)
    time.resize(39);
  char header[64];
  if (capcode.unknown) {
    std::snprintf(header, sizeof header, "%s %s", isLong ? "[?????????]" : "[???????]",
                  time.c_str());
  } else {
    std::snprintf(header, sizeof header, isLong ? "[%09li] %s" : "[%07li] %s",
                  static_cast<long>(capcode.value), time.c_str());
  }

  // The digits as shown, between the brackets.
  char digits[16] = {};
  const char* close = std::strchr(header, ']');
  std::size_t shownDigits = close ? static_cast<std::size_t>(close - header - 1) : 0;
  if (shownDigits >= sizeof digits)
    shownDigits = sizeof digits - 1;
  std::memcpy(digits, header + 1, shownDigits);
  // Filters compare the kind's fixed capcode length.
  char filterDigits[16] = {};
  std::memcpy(filterDigits, digits, isLong ? 9 : 7);

  run.ctx.pages.StartPage(Protocol::kFlex, RateOfRow(run.flex.statisticsRow), digits, 0, pageType);
  TakeGroupMembers(run, capcode);
  if (!run.ctx.pages.FindCapcodeFilter(isLong ? kFilterFlexLong : kFilterFlexShort, filterDigits, 0,
                                       0))
    FindMemberFilter(run);
  run.ctx.pages.WritePageHeader(header);
}

}  // namespace

void ShortCapcodeHeader(const FlexRun& run, FlexPhase& phase, std::int32_t addressWord,
                        const char* pageType) {
  WriteHeader(run, phase, ShortCapcode(addressWord), false, pageType);
}

void LongCapcodeHeader(const FlexRun& run, FlexPhase& phase, std::int32_t firstWord,
                       std::int32_t secondWord, const char* pageType) {
  WriteHeader(run, phase, LongCapcode(firstWord, secondWord), true, pageType);
}

void WriteFlexPage(const FlexRun& run, FlexPhase& phase, int addressIndex, int vectorIndex,
                   bool isLong) {
  const std::int32_t v = phase.words[vectorIndex];
  const std::int32_t w = isLong ? phase.words[vectorIndex + 1] : 0;
  const int type = (v >> 4) & 7;
  if (type == kInstruction) {
    NoteInstruction(run, phase, addressIndex, isLong, v);
    return;
  }
  if (type == kBinary && !run.ctx.settings.showMisc)
    return;

  // A vector that places its message outside the frame is as useless as a corrupt one.
  MessageWords words = LocateMessage(phase, type, v, w, isLong);
  if (!words.inFrame)
    return;

  const int row = run.flex.statisticsRow;
  const bool numeric = type == kShortMessage || type == kStandardNumeric ||
                       type == kSpecialNumeric || type == kNumberedNumeric;
  if (numeric)
    run.ctx.pages.CountMessage(row, kKindNumeric);
  if (type == kSecure || type == kAlphanumeric)
    run.ctx.pages.CountMessage(row, kKindAlpha);
  if (numeric && !run.ctx.settings.showNumeric)
    return;

  const char* name = PageTypeName(type, v);
  if (isLong) {
    LongCapcodeHeader(run, phase, phase.words[addressIndex], phase.words[addressIndex + 1], name);
  } else {
    ShortCapcodeHeader(run, phase, phase.words[addressIndex], name);
  }
  NoteTravel(run, phase, type, words.header);
  NoteWords(run, phase, addressIndex, addressIndex + (isLong ? 1 : 0));
  NoteWords(run, phase, vectorIndex, vectorIndex + (isLong ? 1 : 0));
  // An address that gives no capcode at all read clean yet cannot be right: the page it heads is
  // not to be trusted either, and goes out marked as damaged rather than as a clean page.
  if (AddressCapcode(phase, addressIndex, isLong).unknown)
    run.ctx.pages.CurrentPage().errors = true;
  if (type != kShortMessage) {
    // A short address's text pages begin with a header word in front of the run.
    const bool headerInRun =
        !isLong && (type == kSecure || type == kAlphanumeric || type == kBinary);
    NoteWords(run, phase, headerInRun ? (v >> 7) & 127 : words.first, words.last);
  }
  WritePhaseAndLabel(run, phase, type);
  switch (type) {
    case kShortMessage:
      WriteShortMessage(run, v, w, isLong);
      break;
    case kSecure:
    case kAlphanumeric:
      WriteText(run, phase, words);
      break;
    case kBinary:
      WriteBinary(run, phase, words);
      break;
    default:
      WriteNumeric(run, phase, type, words);
      break;
  }
  run.ctx.pages.EndLine();
  if (!run.ctx.pages.CurrentPage().rejected)
    WriteMembers(run);
}

void AppendHex6(const FlexRun& run, std::int32_t value) {
  if (value > 0x3FFFFF)
    run.ctx.pages.SetColourClass(kClassBitErrors);
  char hex[16];
  std::snprintf(hex, sizeof hex, "%06lX", static_cast<unsigned long>(value));
  run.ctx.pages.PutText(hex);
}

void PrintFrameTag(const FlexRun& run, FlexPhase& phase, int wordIndex) {
  if (wordIndex < 0 || wordIndex >= kFlexFrameWords)
    return;
  run.ctx.pages.SetColourClass(kClassFlexFormat);
  run.ctx.pages.PutChar('[');
  AppendHex6(run, phase.words[wordIndex]);
  run.ctx.pages.PutChar(']');
}

void PrintRawWord(const FlexRun& run, FlexPhase& phase, int wordIndex) {
  if (wordIndex < 0 || wordIndex >= kFlexFrameWords)
    return;
  std::int32_t word = phase.words[wordIndex];
  run.ctx.pages.SetColourClass(word > 0x200000 ? kClassBitErrors : kClassAlphanumeric);
  if (word == 0 || word == kFlexWordMask)
    return;
  for (int c = 0; c < 3; ++c)
    run.ctx.pages.PutChar(static_cast<char>((word >> (7 * c)) & kCharacter7));
}

}  // namespace pagora
