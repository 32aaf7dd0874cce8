#include "output/page_json.h"

#include <cstdio>
#include <ctime>

#include "output/charset.h"

namespace pagora {

const char* ProtocolName(Protocol protocol) {
  switch (protocol) {
    case Protocol::kPocsag:
      return "POCSAG";
    case Protocol::kFlex:
      return "FLEX";
    case Protocol::kGsc:
      return "GSC";
    default:
      return "unknown";
  }
}

nlohmann::ordered_json PageJson(const Page& info, const std::string& isoTime) {
  std::string capcode;
  for (char c : info.capcode) {
    if (c == '\0')
      break;
    capcode +=
        (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '.' : static_cast<char>(c & 0x7F);
  }

  nlohmann::ordered_json record;
  record["time"] = isoTime;
  record["protocol"] = ProtocolName(info.protocol);
  record["rate"] = info.rate;
  if (capcode.empty() || capcode.find('?') != std::string::npos) {
    record["capcode"] = nullptr;
  } else {
    record["capcode"] = capcode;
  }
  if (info.function >= 1 && info.function <= 4) {
    record["function"] = info.function;
  } else {
    record["function"] = nullptr;
  }
  if (info.memberCount > 0) {
    // A group call: the pagers that were told to take the page to the temporary address.
    nlohmann::ordered_json members = nlohmann::ordered_json::array();
    for (int i = 0; i < info.memberCount && i < Page::kMaxMembers; ++i)
      members.push_back(CapcodeText(info.members[static_cast<std::size_t>(i)]));
    record["members"] = members;
  }
  record["type"] = info.type ? info.type : "";
  // Alphanumeric text in the chosen character set (UTF-8); with ASCII exactly as received.
  record["text"] = PageTextUtf8(info);
  if (info.alphaReadingAt > 0 &&
      static_cast<std::size_t>(info.alphaReadingAt) <= info.Text().size()) {
    // Both readings apart, so that a consumer can take the one it knows the pager to use.
    std::string_view text = info.Text();
    auto at = static_cast<std::size_t>(info.alphaReadingAt);
    record["readings"] = {{"numeric", std::string(text.substr(0, at - 1))},
                          {"alpha", ReceivedUtf8(info.charset, text.substr(at))}};
  }
  record["errors"] = info.errors;
  record["corrected"] = info.corrected;
  if (info.repeat)
    record["repeat"] = true;  // the same page was seen within the repeat window
  if (info.parts > 1 || info.incomplete) {
    // A FLEX message joined from fragments: how many, and whether one never came.
    record["fragments"] = info.parts;
    record["incomplete"] = info.incomplete;
  }
  if (!info.station.empty())
    record["station"] = info.station;
  if (info.frequency > 0)
    record["frequency"] = info.frequency;
  if (info.filter >= 0) {
    // Labels are the user's own UTF-8 text; control characters never reach the line.
    std::string label;
    for (char c : info.filterLabel)
      label += (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) ? '.' : c;
    record["filter"] = label;
  } else {
    record["filter"] = nullptr;
  }
  return record;
}

std::string PageJsonLine(const Page& page) {
  return PageJson(page, IsoLocalTime(page.time))
      .dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

std::string IsoLocalTime(std::int64_t epochSeconds) {
  auto t = static_cast<std::time_t>(epochSeconds);
  std::tm local{};
  localtime_r(&t, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
  long offset = local.tm_gmtoff;
  char sign = offset < 0 ? '-' : '+';
  offset = offset < 0 ? -offset : offset;
  char zone[48];
  std::snprintf(zone, sizeof zone, "%c%02ld:%02ld", sign, offset / 3600, (offset / 60) % 60);
  return std::string(stamp) + zone;
}

}  // namespace pagora
