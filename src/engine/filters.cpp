// Filters. At each page header the capcode filters are looked up (and a reject filter drops
// the page before anything is written); when the page's last row ends, completion decides the
// match (capcode filter with optional text, or the first Text filter whose text occurs in the
// content), copies the page into the filter pane with the matched parts highlighted and the
// label inserted, writes it to the filter file, sounds FILTER.WAV and starts the filter command.
//
// The command is never given to a shell. Its argument template is split into words first and
// %c, %l, %m are substituted inside each word, so page text received off the air always stays
// one literal argument.
#include "engine/filters.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/monitor.h"
#include "engine/output_files.h"

namespace pagora {

namespace {

constexpr int kFilterFileLine = 80;     // characters per line of the filter file
constexpr int kCommandLineLimit = 120;  // program, a blank and the argument text

// Labels are UTF-8 text the user typed. Decodes one character at `i` and moves past it; a byte
// that does not start a well-formed sequence stands for itself (a label from an 8-bit file).
unsigned NextCodePoint(const std::string& s, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned c = byte(i);
  int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 ? 1 : 0;
  if (c < 0x80 || extra == 0 || c >= 0xF5 || i + static_cast<std::size_t>(extra) >= s.size()) {
    ++i;
    return c;
  }
  unsigned value = c & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return c;
    }
    value = (value << 6) | (byte(i + k) & 0x3F);
  }
  i += static_cast<std::size_t>(extra) + 1;
  return value;
}

// The label as the pane's 8-bit cells hold it: Latin-1, "?" for what Latin-1 lacks.
std::string LabelForPane(const std::string& label) {
  std::string out;
  for (std::size_t i = 0; i < label.size();) {
    unsigned c = NextCodePoint(label, i);
    out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  }
  return out;
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// First position at or after `from` where `needle` occurs in text[0..length), letters a-z
// compared as upper case; -1 when it does not occur.
int FindText(const char* text, int from, int length, const std::string& needle) {
  int n = static_cast<int>(needle.size());
  for (int at = from; at + n <= length; ++at) {
    int i = 0;
    while (i < n && Upper(text[at + i]) == Upper(needle[static_cast<std::size_t>(i)]))
      ++i;
    if (i == n)
      return at;
  }
  return -1;
}

// Page text as it goes into a command argument: like the files, 7-bit with control characters
// shown as ".", so nothing received can reach a terminal the command writes to.
std::string ArgumentText(const PageCapture& capture, int from, int to) {
  std::string s;
  for (int i = from; i < to; ++i)
    s += FileCharacter(capture.text[static_cast<std::size_t>(i)]);
  return s;
}

struct Match {
  int filter = -1;     // winning filter index, -1 = the page matched nothing
  int spanStart = -1;  // matched text span, -1 = none
  int spanLength = 0;
};

Match DecideMatch(const Monitor& m, const PageCapture& capture) {
  const auto& filters = m.settings.filters;
  int length = capture.length;
  int from = std::clamp(capture.textStart, 0, length);
  Match match;
  int capcodeFilter = capture.matchedFilter;
  if (capcodeFilter >= 0 && capcodeFilter < static_cast<int>(filters.size())) {
    const FilterRecord& f = filters[static_cast<std::size_t>(capcodeFilter)];
    if (f.text.empty()) {
      match.filter = capcodeFilter;
    } else if (int at = FindText(capture.text.data(), from, length, f.text); at >= 0) {
      match = {capcodeFilter, at, static_cast<int>(f.text.size())};
    }
    return match;
  }
  for (std::size_t i = 0; i < filters.size(); ++i) {
    const FilterRecord& f = filters[i];
    // A Text filter without text (possible only in a hand-edited settings file) matches nothing.
    if (f.type != kFilterText || f.text.empty())
      continue;
    if (int at = FindText(capture.text.data(), from, length, f.text); at >= 0) {
      return {static_cast<int>(i), at, static_cast<int>(f.text.size())};
    }
  }
  return match;
}

}  // namespace

int FilterCapcodeLength(int kind) {
  switch (kind) {
    case kFilterPocsag:
    case kFilterFlexShort:
      return 7;
    case kFilterFlexLong:
      return 9;
    case kFilterGolay:
      return 6;
    default:
      return 0;
  }
}

bool WildcardMatch(const char* candidate, const char* pattern, int n) {
  for (int i = 0; i < n; ++i) {
    char p = pattern[i];
    char c = candidate[i];
    if (p == '\0' || c == '\0')
      return p == c;  // both ended together: the rest is equal
    if (p != '?' && p != c)
      return false;
  }
  return true;
}

void FindCapcodeFilter(Monitor& m, int kind, const char* capcodeDigits, int function,
                       int baudCode) {
  PageCapture& capture = m.lines.capture;
  capture.matchedFilter = -1;
  if (capcodeDigits == nullptr)
    return;
  const auto& filters = m.settings.filters;
  for (std::size_t i = 0; i < filters.size(); ++i) {
    const FilterRecord& f = filters[i];
    if (f.type != kind || FilterCapcodeLength(kind) == 0)
      continue;
    if (!WildcardMatch(capcodeDigits, f.capcode.c_str(), FilterCapcodeLength(kind)))
      continue;
    if ((kind == kFilterPocsag || kind == kFilterGolay) && f.function != 0 &&
        f.function != function) {
      continue;
    }
    if (kind == kFilterPocsag && f.baud != 0 && f.baud != baudCode)
      continue;
    capture.matchedFilter = static_cast<int>(i);
    if (f.reject) {
      capture.reject = 1;
      capture.page.rejected = true;
    }
    return;
  }
}

void CompletePage(Monitor& m) {
  PageCapture& capture = m.lines.capture;
  capture.length = std::clamp(capture.length, 0, PageCapture::kSize - 1);
  int length = capture.length;
  capture.text[static_cast<std::size_t>(length)] = '\0';
  capture.classes[static_cast<std::size_t>(length)] = 0;

  Match match = DecideMatch(m, capture);
  Page& page = capture.page;
  RemoveFill(page);
  page.time = m.host.CalendarSeconds();
  if (m.channelFrequency > 0)
    page.frequency = m.channelFrequency;
  page.filter = match.filter;
  page.filterLabel.clear();
  if (match.filter >= 0 && static_cast<std::size_t>(match.filter) < m.settings.filters.size())
    page.filterLabel = m.settings.filters[static_cast<std::size_t>(match.filter)].label;
  page.repeat = m.repeats.IsRepeat(page, m.settings.dedupSeconds);
  m.host.PageCompleted(capture, match.filter);
  m.pageOutputs.Write(page);
  if (match.filter < 0) {
    capture.length = 0;
    return;
  }
  // A copy: the host's callbacks below run front-end code, which must not pull the record away.
  const FilterRecord filter = m.settings.filters[static_cast<std::size_t>(match.filter)];
  PaneBuffer& pane = m.lines.filterPane;
  BeginPage(m, pane);

  // Highlights go into the capture only: the message pane keeps its own colours.
  int capcodeStart = std::clamp(capture.capcodeStart, 0, length);
  int capcodeEnd = std::clamp(capture.capcodeEnd, capcodeStart, length);
  if (match.filter == capture.matchedFilter) {
    for (int i = capcodeStart; i < capcodeEnd; ++i) {
      capture.classes[static_cast<std::size_t>(i)] = kClassFilterMatch;
    }
  }
  for (int i = match.spanStart; match.spanStart >= 0 && i < match.spanStart + match.spanLength;
       ++i) {
    capture.classes[static_cast<std::size_t>(i)] = kClassFilterMatch;
  }

  // A repeat is shown again, but alerts once: no filter file, sound or command.
  const bool alert = !page.repeat;
  std::FILE* file = m.settings.filterFileEnabled && alert ? m.files.filter : nullptr;
  int lineCount = 0;
  auto insertLabel = [&] {
    if (filter.label.empty())
      return;
    SetColourClass(pane, kClassFilterLabel);
    PutChar(m, pane, ' ');
    const std::string shown = LabelForPane(filter.label);
    PutText(m, pane, shown.c_str());
    if (file) {
      // The file keeps the label as typed (UTF-8) and counts it in characters.
      std::fputc(' ', file);
      std::fputs(filter.label.c_str(), file);
      lineCount += static_cast<int>(shown.size()) + 1;
    }
  };
  for (int i = 0; i < length; ++i) {
    if (i == capcodeEnd)
      insertLabel();
    SetColourClass(pane, capture.classes[static_cast<std::size_t>(i)]);
    PutChar(m, pane, capture.text[static_cast<std::size_t>(i)]);
    if (file) {
      std::fputc(FileCharacter(capture.text[static_cast<std::size_t>(i)]), file);
      // At or past 80: a label that straddles the line end still gets the line ended.
      if (++lineCount >= kFilterFileLine) {
        std::fputc('\n', file);
        lineCount = 0;
      }
    }
  }
  if (capcodeEnd == length)
    insertLabel();  // a page that ends with its header
  EndLine(m, pane);

  if (file) {
    std::fputc('\n', file);
    CheckOutputFile(m, OutputFileKind::kFilter);
    ApplyFilterFlushRule(m);
  }
  if (alert && m.settings.filterBeep && !m.host.PlaySound("FILTER.WAV"))
    m.host.Beep();
  if (alert && m.settings.filterCmdFileEnabled && !m.settings.filterCmdFile.empty() &&
      filter.command == 1) {
    std::vector<std::string> args = ExpandCommandArguments(
        m.settings.filterCmdArgs, ArgumentText(capture, capcodeStart, capcodeEnd), filter.label,
        ArgumentText(capture, std::clamp(capture.textStart, 0, length), length));
    int budget = kCommandLineLimit - (static_cast<int>(m.settings.filterCmdFile.size()) + 1);
    LimitCommandArguments(args, budget);
    m.host.StartCommand(m.settings.filterCmdFile, args);
  }
  capture.length = 0;
}

namespace {}  // namespace

std::vector<std::string> SplitCommandWords(std::string_view text) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;  // "" is an empty word of its own
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
      if (inWord)
        words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord)
    words.push_back(word);  // an unclosed quote runs to the end
  return words;
}

std::vector<std::string> ExpandCommandArguments(const std::string& argumentTemplate,
                                                const std::string& header, const std::string& label,
                                                const std::string& message) {
  std::vector<std::string> args;
  for (const std::string& word : SplitCommandWords(argumentTemplate)) {
    std::string out;
    for (std::size_t i = 0; i < word.size(); ++i) {
      char next = i + 1 < word.size() ? Upper(word[i + 1]) : '\0';
      if (word[i] == '%' && (next == 'C' || next == 'L' || next == 'M')) {
        out += next == 'C' ? header : next == 'L' ? label : message;
        ++i;
      } else {
        out += word[i];
      }
    }
    args.push_back(std::move(out));
  }
  return args;
}

void LimitCommandArguments(std::vector<std::string>& args, int budget) {
  int used = 0;
  for (std::size_t i = 0; i < args.size(); ++i) {
    int blank = i > 0 ? 1 : 0;
    int room = budget - used - blank;
    if (room <= 0) {
      args.resize(i);
      return;
    }
    if (static_cast<int>(args[i].size()) > room)
      args[i].resize(static_cast<std::size_t>(room));
    used += blank + static_cast<int>(args[i].size());
  }
}

}  // namespace pagora
