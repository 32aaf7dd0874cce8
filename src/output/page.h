// A decoded page as a record: what the decoder knew when it rendered the page into the panes.
// Front ends that report pages as data (JSON lines, other line formats) read this record,
// never the text drawn for the screen, whose control characters, fill and colours are display
// choices.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "output/charset.h"

namespace pagora {

enum class Protocol : std::uint8_t { kNone = 0, kPocsag, kFlex, kGsc };

struct Page {
  static constexpr int kTextSize = 1031;  // received characters kept, as many as a capture holds

  Protocol protocol = Protocol::kNone;
  int rate = 0;  // POCSAG 512/1200/2400; FLEX 1600/3200/6400 (statistics row speed); GSC 600
  // The capcode digits as shown ('?' when unknown), NUL-ended; a FLEX long capcode has up to 10.
  std::array<char, 12> capcode{};
  int function = 0;       // 1..4, 0 when the protocol has none
  const char* type = "";  // static text: "alpha", "numeric", "tone", "binary", ...
  // The characters as received (7-bit, before any display mapping). The transmitter's fill
  // is removed when the page completes.
  std::array<char, kTextSize> text{};
  int textLength = 0;
  // A GSC page short enough to be digits or characters carries no type, so `text` holds both
  // readings of its blocks: the digits, a space, then the characters from this offset. -1 on
  // every other page.
  int alphaReadingAt = -1;
  // The character set the user chose for alphanumeric text when the page arrived: outputs
  // write the text through it (PageTextUtf8), the record keeps what was received.
  Charset charset = Charset::kAscii;
  bool errors = false;  // some codeword or block of the page could not be corrected
  int corrected = 0;    // codewords or blocks of the page that needed correction

  // FLEX: how the page travelled. The phase is the one that carried it (the pane's letter
  // comes from the capcode); cycle and frame come from the frame information word, -1 when it
  // could not be corrected; the fragment flag is 'K' for a complete message, 'F' for a part
  // that more parts follow, 'C' for a later part.
  int flexSymbolRate = 0;  // 1600 or 3200
  int flexLevels = 0;      // 2 or 4
  char flexPhase = 0;      // 'A'..'D'
  int flexCycle = -1;      // 0..15
  int flexFrame = -1;      // 0..127
  char fragment = 'K';
  bool continues = false;  // more parts of this message follow in later frames
  bool laterPart = false;  // this is not the first part of its message
  // Set by the joining of fragments: how many parts the text holds (1 for a page sent whole),
  // and whether a part that was announced never came.
  int parts = 1;
  bool incomplete = false;
  // A FLEX group call: the page went to a temporary address, and these capcodes had been
  // told by short instructions to take it. Capcodes as numbers; long ones above 2068480.
  static constexpr int kMaxMembers = 32;
  std::array<std::int32_t, kMaxMembers> members{};
  int memberCount = 0;

  // Set when the page completes: when (calendar seconds), and the filter outcome (index of
  // the matching filter or -1, and its label, empty when none).
  std::int64_t time = 0;
  int filter = -1;
  bool rejected = false;  // a reject filter caught the page: it is shown nowhere
  bool repeat = false;    // the same page was completed within the repeat window
  std::string filterLabel;

  // Where the page was heard: the receiving station's name (empty when none is set) and the
  // channel's frequency in hertz (0 when the input does not know it, as with a sound card).
  std::string station;
  std::int64_t frequency = 0;

  std::string_view Text() const {
    int length = textLength < 0 ? 0 : (textLength > kTextSize ? kTextSize : textLength);
    return {text.data(), static_cast<std::size_t>(length)};
  }
};

// Where completed pages go as records: JSON lines, other tools' line layouts, and every output
// to come. An output must not block decoding: one that talks to the network or a disk queues
// the page and returns.
class PageOutput {
 public:
  virtual ~PageOutput() = default;
  virtual void Write(const Page& page) = 0;
};

// The list of page outputs an engine hands each completed page to, in the order added. The
// outputs are not owned.
class PageOutputs {
 public:
  void Add(PageOutput& output) { outputs_.push_back(&output); }
  void Remove(PageOutput& output);
  void Write(const Page& page) const {
    for (PageOutput* output : outputs_)
      output->Write(page);
  }
  bool empty() const { return outputs_.empty(); }

 private:
  std::vector<PageOutput*> outputs_;
};

// The first long FLEX capcode is 2068481; long capcodes are shown in 9 digits, short ones in 7.
constexpr std::int32_t kLongCapcodeBase = 2068480;
// A capcode's digits as the panes, filters and JSON show them.
std::string CapcodeText(std::int32_t capcode);

// True for the page types whose text is digits (trailing spaces are the transmitter's fill).
bool NumericPageType(const char* type);

// Adds one received character; characters past kTextSize are not kept.
void AppendReceived(Page& page, char ch);

// Removes the transmitter's fill from the end of the text: NUL, ETX, EOT and ETB after an
// alphanumeric text, spaces after digits.
void RemoveFill(Page& page);

// Counts one codeword (or block) of the page by its correction score: 0 clean, 1..2 corrected,
// 3 or more uncorrectable.
void NoteCodeword(Page& page, int score);

}  // namespace pagora
