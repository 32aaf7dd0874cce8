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
#include "output/charset.h"

namespace pagora {

namespace {

constexpr int kFilterFileLine = 80;     // characters per line of the filter file
constexpr int kCommandLineLimit = 120;  // program, a blank and the argument text

// The label as the pane's 8-bit cells hold it: Latin-1 (and the few national letters the cells
// add), "?" for what cells cannot hold.
std::string LabelForPane(const std::string& label) {
  return CellsFromUtf8(label);
}

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// A pane cell for comparing without case: a-z and the Latin-1 letters with an upper case.
char CellUpper(char c) {
  auto u = static_cast<unsigned char>(c);
  if ((u >= 0xE0 && u <= 0xFE && u != 0xF7))
    return static_cast<char>(u - 0x20);
  return Upper(c);
}

// First position at or after `from` where `needle` (pane cells) occurs in text[0..length),
// letters compared as upper case; -1 when it does not occur.
int FindText(const char* text, int from, int length, const std::string& needle) {
  int n = static_cast<int>(needle.size());
  for (int at = from; at + n <= length; ++at) {
    int i = 0;
    while (i < n && CellUpper(text[at + i]) == CellUpper(needle[static_cast<std::size_t>(i)]))
      ++i;
    if (i == n)
      return at;
  }
  return -1;
}

// Page text as it goes into a command argument: like the files, control characters shown as
// ".", so nothing received can reach a terminal the command writes to; 7-bit with ASCII, UTF-8
// when a national character set is chosen.
std::string ArgumentText(const Monitor& m, const PageCapture& capture, int from, int to) {
  const bool utf8 = FilesInUtf8(m);
  std::string s;
  for (int i = from; i < to; ++i) {
    char cell = capture.text[static_cast<std::size_t>(i)];
    if (utf8) {
      AppendCellUtf8(s, cell);
    } else {
      s += FileCharacter(cell);
    }
  }
  return s;
}

struct Match {
  int filter = -1;     // winning filter index, -1 = the page matched nothing
  int spanStart = -1;  // matched text span, -1 = none
  int spanLength = 0;
};

// A filter's text is typed as UTF-8 ("Köln"); the capture holds pane cells, where a page in a
// national character set has its letters ("K|ln" in the German variant is "Köln" there). The
// filter is compared in cells, so it matches what the pane shows.
Match Found(int filter, int at, const std::string& cells) {
  return {filter, at, static_cast<int>(cells.size())};
}

Match DecideMatch(const Monitor& m, const PageCapture& capture) {
  const auto& filters = m.settings.filters;
  int length = capture.length;
  int from = std::clamp(capture.textStart, 0, length);
  Match match;
  int capcodeFilter = capture.matchedFilter;
  if (capcodeFilter >= 0 && capcodeFilter < static_cast<int>(filters.size())) {
    const FilterRecord& f = filters[static_cast<std::size_t>(capcodeFilter)];
    const std::string cells = CellsFromUtf8(f.text);
    if (f.text.empty()) {
      match.filter = capcodeFilter;
    } else if (int at = FindText(capture.text.data(), from, length, cells); at >= 0) {
      match = Found(capcodeFilter, at, cells);
    }
    return match;
  }
  for (std::size_t i = 0; i < filters.size(); ++i) {
    const FilterRecord& f = filters[i];
    // A Text filter without text (possible only in a hand-edited settings file) matches nothing.
    if (f.type != kFilterText || f.text.empty())
      continue;
    const std::string cells = CellsFromUtf8(f.text);
    if (int at = FindText(capture.text.data(), from, length, cells); at >= 0)
      return Found(static_cast<int>(i), at, cells);
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
  page.station = m.settings.station;
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
      WriteFileCharacter(m, capture.text[static_cast<std::size_t>(i)], file);
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
        m.settings.filterCmdArgs, ArgumentText(m, capture, capcodeStart, capcodeEnd), filter.label,
        ArgumentText(m, capture, std::clamp(capture.textStart, 0, length), length));
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
    if (static_cast<int>(args[i].size()) > room) {
      // Cut between characters: UTF-8 text (labels, national letters) loses whole letters.
      auto cut = static_cast<std::size_t>(room);
      while (cut > 0 && (static_cast<unsigned char>(args[i][cut]) & 0xC0) == 0x80)
        --cut;
      args[i].resize(cut);
    }
    used += blank + static_cast<int>(args[i].size());
  }
}

}  // namespace pagora
