// Message completion, filters and alerts: capcode filter lookup at each page header, and at the
// end of the page the match decision, the filter pane copy with highlights and label, the
// filter file, the beep or FILTER.WAV and the filter command.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pagora {

class Monitor;

// Baud codes of POCSAG pages for filters: 1 = 2400, 2 = 1200, 3 = 512 bit/s.
// kind is a FilterType (2 POCSAG, 3 FLEX short, 4 FLEX long, 5 Golay).
// Digits in a capcode of a filter kind: 7 POCSAG and FLEX short, 9 FLEX long, 6 Golay, 0 Text.
int FilterCapcodeLength(int kind);

void FindCapcodeFilter(Monitor& m, int kind, const char* capcodeDigits, int function, int baudCode);
void CompletePage(Monitor& m);
bool WildcardMatch(const char* candidate, const char* pattern, int n);

// Splits an argument template into words at blanks. Double quotes group blanks into a word
// and are removed ("" is an empty word); nothing else is interpreted (no variables, no escapes,
// no shell).
std::vector<std::string> SplitCommandWords(std::string_view text);

// Splits a command template into words, then expands %c, %l, %m inside each word, so every
// expansion stays part of one argument whatever it contains. Words are separated by blanks or
// tabs; double quotes group blanks into a word ("a b" is one word, "" an empty one) and are
// removed. "%" before any other character, or at the end, stays as it is.
std::vector<std::string> ExpandCommandArguments(const std::string& argumentTemplate,
                                                const std::string& header, const std::string& label,
                                                const std::string& message);

// Keeps a command line within a total length: the arguments, joined by single blanks, are cut
// to `budget` characters (the last argument that fits is shortened, the rest dropped). Filter
// commands get 120 minus the program name and its blank; nothing is passed when that is not
// positive.
void LimitCommandArguments(std::vector<std::string>& args, int budget);

}  // namespace pagora
