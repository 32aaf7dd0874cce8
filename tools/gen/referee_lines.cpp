#include "referee_lines.h"

#include <regex>
#include <sstream>

namespace pagora::gen {
namespace {

std::string WithoutNamedFill(const std::string& text) {
  static const std::regex kTrailingFill(R"((<(NUL|ETX|EOT|ETB)>)+$)");
  return std::regex_replace(text, kTrailingFill, "");
}

std::string TrimRight(std::string text) {
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  return text;
}

}  // namespace

bool RefereeLine::Agrees(const RefereeLine& other) const {
  auto same = [](const std::string& a, const std::string& b) {
    return a.empty() || b.empty() || a == b;
  };
  return mode == other.mode && capcode == other.capcode && same(fragment, other.fragment) &&
         same(members, other.members) && same(phase, other.phase) && same(frame, other.frame) &&
         function == other.function && type == other.type && text == other.text;
}

std::vector<RefereeLine> ParseRefereeLines(const std::string& out) {
  static const std::regex kPocsag(
      R"(^(POCSAG\d+): Address: *(\d+) +Function: (\d)(?: +(Alpha|Numeric): +(.*))? *$)");
  static const std::regex kFlex(
      R"(^FLEX\|[^|]*\|(\d+/\d)/([KFC])/([A-D])\|([\d.]+)\|(\d+) ?([\d ]*)\|(\w+)\|(.*)$)");
  static const std::regex kFlexOld(
      R"(^FLEX: \S+ \S+ (\d+/\d)/([A-D]) ([\d.]+) \[(\d+)\] (\w+) ?(.*)$)");
  static const std::regex kFlexNext(
      R"(^FLEX_NEXT\|(\d+/\d)\|(\d+\.\d+)\.([A-D])\|(\d+)\|\w\w\|\d\|(\w+)\|[\d.]+\.([KFC])\|(.*)$)");
  std::vector<RefereeLine> lines;
  std::istringstream in(out);
  std::string line;
  std::smatch m;
  while (std::getline(in, line)) {
    RefereeLine f;
    if (std::regex_match(line, m, kPocsag)) {
      f = {m[1], "", "", "", std::stoll(m[2]), "", m[3], m[4], m[5]};
    } else if (std::regex_match(line, m, kFlex)) {
      f = {m[1], m[2], m[3], m[4], std::stoll(m[5]), m[6], "", m[7], m[8]};
    } else if (std::regex_match(line, m, kFlexOld)) {
      f = {m[1], "", m[2], m[3], std::stoll(m[4]), "", "", m[5], m[6]};
    } else if (std::regex_match(line, m, kFlexNext)) {
      f = {m[1], m[6], m[3], m[2], std::stoll(m[4]), "", "", m[5], m[7]};
    } else {
      continue;
    }
    f.text = f.type == "Alpha" || f.type == "ALN" ? WithoutNamedFill(f.text) : TrimRight(f.text);
    lines.push_back(f);
  }
  return lines;
}

}  // namespace pagora::gen
