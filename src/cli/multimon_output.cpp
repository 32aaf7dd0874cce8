#include "cli/multimon_output.h"

#include <cstdio>
#include <cstring>
#include <ctime>

#include "output/charset.h"

namespace pagora::cli {
namespace {

constexpr const char* kControlNames[32] = {"NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL",
                                           "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
                                           "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB",
                                           "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

std::string CapcodeDigits(const Page& page) {
  std::string digits;
  for (char c : page.capcode) {
    if (c == '\0')
      break;
    digits += (c >= '0' && c <= '9') ? c : '?';
  }
  return digits;
}

bool Known(const std::string& digits) {
  return !digits.empty() && digits.find('?') == std::string::npos;
}

// POCSAG and GSC share one layout; a tone-only page ends after the function and its blank.
// `functionBase` is what function 1 is written as: 0 in the POCSAG layout, 1 for GSC.
std::string AddressLine(const char* name, const Page& page, const char* addressFormat,
                        int functionBase) {
  std::string digits = CapcodeDigits(page);
  char head[96];
  char function[8] = "?";
  if (page.function >= 1 && page.function <= 4)
    std::snprintf(function, sizeof function, "%d", page.function - 1 + functionBase);
  if (Known(digits)) {
    std::snprintf(head, sizeof head, addressFormat, name, std::stol(digits), function);
  } else {
    std::snprintf(head, sizeof head, "%s: Address: %7s  Function: %s ", name, digits.c_str(),
                  function);
  }
  std::string line = head;
  if (std::strcmp(page.type, "tone") == 0)
    return line;
  line += NumericPageType(page.type) ? " Numeric: " : " Alpha:   ";
  return line + NamedControls(PageTextUtf8(page));
}

const char* FlexTypeCode(const Page& page) {
  if (std::strcmp(page.type, "tone") == 0)
    return "TON";
  if (NumericPageType(page.type))
    return "NUM";
  if (std::strcmp(page.type, "alpha") == 0)
    // An empty text after ALN breaks readers that expect one: such a page only alerts.
    return page.textLength > 0 ? "ALN" : "TON";
  return "GPN";
}

std::string FlexLine(const Page& page, std::int64_t epochSeconds) {
  auto t = static_cast<std::time_t>(epochSeconds);
  std::tm local{};
  localtime_r(&t, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);

  char frame[32] = "??.???";
  if (page.flexCycle >= 0 && page.flexFrame >= 0)
    std::snprintf(frame, sizeof frame, "%02d.%03d", page.flexCycle, page.flexFrame);
  std::string digits = CapcodeDigits(page);
  char capcode[24];
  if (Known(digits)) {
    std::snprintf(capcode, sizeof capcode, "%09lld", std::stoll(digits));
  } else {
    std::snprintf(capcode, sizeof capcode, "%s", digits.empty() ? "?" : digits.c_str());
  }
  // A group call: the members follow the temporary address, as other tools print them.
  std::string capcodes = capcode;
  for (int i = 0; i < page.memberCount && i < Page::kMaxMembers; ++i) {
    char member[24];
    std::snprintf(member, sizeof member, " %09ld",
                  static_cast<long>(page.members[static_cast<std::size_t>(i)]));
    capcodes += member;
  }
  char head[600];
  std::snprintf(head, sizeof head, "FLEX|%s|%d/%d/%c/%c|%s|%s|%s|", stamp, page.flexSymbolRate,
                page.flexLevels, page.fragment, page.flexPhase ? page.flexPhase : '?', frame,
                capcodes.c_str(), FlexTypeCode(page));
  std::string line = head;
  if (std::strcmp(FlexTypeCode(page), "TON") != 0)
    line += NamedControls(PageTextUtf8(page));
  return line;
}

}  // namespace

std::string NamedControls(std::string_view text) {
  std::string shown;
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    if (c >= 0x80) {
      shown += ch;  // UTF-8 of a national letter (received text itself is 7-bit)
    } else if (c < 0x20) {
      shown += '<';
      shown += kControlNames[c];
      shown += '>';
    } else if (c == 0x7F) {
      shown += "<DEL>";
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

std::string MultimonLine(const Page& page, std::int64_t epochSeconds) {
  switch (page.protocol) {
    case Protocol::kPocsag: {
      std::string name = "POCSAG" + std::to_string(page.rate);
      return AddressLine(name.c_str(), page, "%s: Address: %7ld  Function: %s ", 0);
    }
    case Protocol::kFlex:
      return FlexLine(page, epochSeconds);
    case Protocol::kGsc: {
      std::string name = "GSC" + std::to_string(page.rate);
      return AddressLine(name.c_str(), page, "%s: Address: %06ld  Function: %s ", 1);
    }
    default:
      return {};
  }
}

}  // namespace pagora::cli
