#include "archive/archive.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "output/page_json.h"

namespace pagora::archive {

StoredPage FromPage(const Page& page) {
  StoredPage s;
  s.time = page.time;
  s.protocol = ProtocolName(page.protocol);
  s.rate = page.rate;
  for (char c : page.capcode) {
    if (c == '\0')
      break;
    s.capcode += c;
  }
  if (s.capcode.find_first_not_of("0123456789") != std::string::npos)
    s.capcode.clear();  // not known (the JSON writes null)
  s.function = page.function >= 1 && page.function <= 4 ? page.function : 0;
  s.type = page.type ? page.type : "";
  s.text = std::string(page.Text());
  s.errors = page.errors;
  s.corrected = page.corrected;
  s.repeat = page.repeat;
  if (page.filter >= 0)
    s.filter = page.filterLabel;
  s.station = page.station;
  s.frequency = page.frequency;
  s.json = PageJsonLine(page);
  return s;
}

std::optional<std::int64_t> ParseIsoTime(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, consumed = 0;
  char separator = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &year, &month, &day, &separator,
                  &hour, &minute, &second, &consumed) != 7 ||
      (separator != 'T' && separator != ' ') || month < 1 || month > 12 || day < 1 || day > 31 ||
      hour > 23 || minute > 59 || second > 60) {
    return std::nullopt;
  }
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  std::string zone = text.substr(static_cast<std::size_t>(consumed));
  if (!zone.empty() && zone[0] == '.') {  // fractions of a second are not kept
    std::size_t end = zone.find_first_not_of("0123456789", 1);
    zone = end == std::string::npos ? "" : zone.substr(end);
  }
  if (zone.empty()) {
    parts.tm_isdst = -1;
    std::time_t t = std::mktime(&parts);
    if (t == static_cast<std::time_t>(-1))
      return std::nullopt;
    return static_cast<std::int64_t>(t);
  }
  std::int64_t offset = 0;
  if (zone != "Z" && zone != "z") {
    int zh = 0, zm = 0, used = 0;
    if ((zone[0] != '+' && zone[0] != '-') ||
        std::sscanf(zone.c_str() + 1, "%2d:%2d%n", &zh, &zm, &used) != 2 ||
        static_cast<std::size_t>(used) + 1 != zone.size() || zh > 23 || zm > 59) {
      return std::nullopt;
    }
    offset = (zh * 3600 + zm * 60) * (zone[0] == '-' ? -1 : 1);
  }
  return static_cast<std::int64_t>(timegm(&parts)) - offset;
}

std::optional<std::int64_t> ParseUserTime(const std::string& text, bool endOfDay) {
  if (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos &&
      text.size() <= 12) {
    return std::stoll(text);
  }
  if (text.size() == 10)
    return ParseIsoTime(text + (endOfDay ? "T23:59:59" : "T00:00:00"));
  if (text.size() == 16)
    return ParseIsoTime(text + (endOfDay ? ":59" : ":00"));
  return ParseIsoTime(text);
}

std::optional<StoredPage> FromJson(const std::string& payload, const std::string& fallbackStation) {
  nlohmann::json j = nlohmann::json::parse(payload, nullptr, false);
  if (!j.is_object())
    return std::nullopt;
  auto text = [&j](const char* key) -> std::string {
    auto it = j.find(key);
    return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
  };
  auto integer = [&j](const char* key) -> std::int64_t {
    auto it = j.find(key);
    return it != j.end() && it->is_number_integer() ? it->get<std::int64_t>() : 0;
  };
  auto flag = [&j](const char* key) {
    auto it = j.find(key);
    return it != j.end() && it->is_boolean() && it->get<bool>();
  };
  StoredPage s;
  s.protocol = text("protocol");
  if (s.protocol != "POCSAG" && s.protocol != "FLEX" && s.protocol != "GSC")
    return std::nullopt;
  std::optional<std::int64_t> time = ParseIsoTime(text("time"));
  if (!time)
    return std::nullopt;
  s.time = *time;
  s.rate = static_cast<int>(integer("rate"));
  s.capcode = text("capcode");
  if (s.capcode.size() > 10 || s.capcode.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  s.function = static_cast<int>(integer("function"));
  if (s.function < 0 || s.function > 4)
    return std::nullopt;
  s.type = text("type");
  s.text = text("text");
  s.errors = flag("errors");
  s.corrected = static_cast<int>(integer("corrected"));
  s.repeat = flag("repeat");
  s.filter = text("filter");
  s.station = text("station");
  if (s.station.empty())
    s.station = fallbackStation;
  s.frequency = integer("frequency");
  s.sourceId = text("id");
  s.json = j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return s;
}

std::vector<std::string> QueryWords(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  auto finish = [&] {
    // Quotes are not syntax here: a word is matched as it is written, less any quoting.
    std::string clean;
    for (char c : word) {
      if (c != '"')
        clean += c;
    }
    if (!clean.empty() && clean != "*")
      words.push_back(clean);
    word.clear();
  };
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (std::isspace(u) || u < 0x20 || u == 0x7F)  // control characters separate words too
      finish();
    else
      word += c;
  }
  finish();
  return words;
}

std::string FtsExpression(const std::string& text) {
  std::string expression;
  for (std::string word : QueryWords(text)) {
    bool prefix = word.size() > 1 && word.back() == '*';
    if (prefix)
      word.pop_back();
    // A word without a letter or digit has no token to find (both stores split text there).
    bool hasToken = false;
    std::string quoted = "\"";
    for (char c : word) {
      auto u = static_cast<unsigned char>(c);
      hasToken = hasToken || std::isalnum(u) || u >= 0x80;
      if (c != '*')  // a star inside a word is not a wildcard
        quoted += c;
    }
    quoted += '"';
    if (!hasToken)
      continue;
    if (!expression.empty())
      expression += ' ';
    expression += quoted;
    if (prefix)
      expression += '*';
  }
  return expression;
}

std::optional<std::string> InvalidQuery(const Query& query) {
  if (query.capcode.size() > 10 ||
      query.capcode.find_first_not_of("0123456789?") != std::string::npos) {
    return "capcode: digits and ? (any one digit) only, at most 10";
  }
  if (!query.protocol.empty() && query.protocol != "POCSAG" && query.protocol != "FLEX" &&
      query.protocol != "GSC") {
    return "protocol: POCSAG, FLEX or GSC";
  }
  if (query.limit < 1)
    return "limit: at least 1";
  return std::nullopt;
}

nlohmann::ordered_json RowJson(const Row& row) {
  nlohmann::ordered_json object =
      row.page.is_object() ? row.page : nlohmann::ordered_json::object();
  object["archive_id"] = row.id;
  nlohmann::ordered_json stations = nlohmann::ordered_json::array();
  for (const std::string& station : row.stations) {
    if (!station.empty())
      stations.push_back(station);
  }
  object["stations"] = stations;
  return object;
}

namespace {

// Printable UTF-8 only: C0 controls, DEL and C1 controls (U+0080..U+009F, C2 80..C2 9F) become
// '.'.
std::string Printable(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      out += '.';
    } else if (c == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      out += '.';
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string Field(const nlohmann::ordered_json& page, const char* key) {
  auto it = page.find(key);
  if (it == page.end() || it->is_null())
    return "-";
  if (it->is_string())
    return it->get<std::string>();
  return it->dump();
}

}  // namespace

std::string RowText(const Row& row) {
  const nlohmann::ordered_json& page = row.page;
  std::string stations;
  for (const std::string& station : row.stations) {
    if (station.empty())
      continue;
    stations += stations.empty() ? "" : ",";
    stations += station;
  }
  std::string line = Field(page, "time") + "  " + Field(page, "protocol") + "  " +
                     Field(page, "capcode") + "  " + Field(page, "function") + "  " +
                     Field(page, "type");
  if (!stations.empty())
    line += "  [" + stations + "]";
  line += "  " + Field(page, "text");
  return Printable(line);
}

std::string DefaultArchivePath() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
    base = std::string(home) + "/.local/share";
  } else {
    return "";
  }
  std::string folder = base + "/pagora";
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  return folder + "/archive.db";
}

}  // namespace pagora::archive
