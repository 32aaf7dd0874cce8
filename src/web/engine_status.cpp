#include "web/engine_status.h"

#include <cstdio>
#include <set>

#include "engine/monitor.h"
#include "output/page_json.h"

namespace pagora::web {
namespace {

std::string HexColour(Colour c) {
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", ColourRed(c), ColourGreen(c), ColourBlue(c));
  return text;
}

std::int64_t Sum(const CounterTable& table, std::initializer_list<int> rows) {
  std::int64_t total = 0;
  for (int row : rows)
    total += table[static_cast<std::size_t>(row)][0] + table[static_cast<std::size_t>(row)][1];
  return total;
}

nlohmann::ordered_json Decoder(Monitor& m, bool enabled, std::initializer_list<int> rows) {
  return {{"enabled", enabled},
          {"pages_this_hour", Sum(m.counters.hourlyMessages, rows)},
          {"pages_today", Sum(m.counters.dailyMessages, rows)}};
}

nlohmann::ordered_json KeepAliveStatus(Monitor& m) {
  const KeepAlive& k = m.keepAlive;
  int hour = k.currentHour >= 0 && k.currentHour < 24 ? k.currentHour : 0;
  int minutes = k.hourTimeout[static_cast<std::size_t>(hour)];
  nlohmann::ordered_json status{
      {"supervised", minutes > 0}, {"timeout_minutes", minutes}, {"alarm", k.alarmOn != 0}};
  if (minutes > 0 && k.deadline > 0)
    status["deadline"] = IsoLocalTime(k.deadline);
  else
    status["deadline"] = nullptr;
  return status;
}

nlohmann::ordered_json Colours(const AppSettings& s) {
  // By colour class, as the desktop's panes paint them.
  static constexpr const char* kNames[kColourSlotCount] = {
      "background", "capcode",     "flex_phase", "flex_format", "timestamp",    "numeric",
      "alpha",      "flex_binary", "diagnostic", "bit_errors",  "filter_match", "filter_label"};
  nlohmann::ordered_json colours = nlohmann::ordered_json::object();
  for (int slot = 0; slot < kColourSlotCount; ++slot)
    colours[kNames[slot]] = HexColour(s.colours[static_cast<std::size_t>(slot)]);
  return colours;
}

}  // namespace

nlohmann::ordered_json EngineStatus(Monitor& m, const std::vector<InputDescription>& inputs) {
  nlohmann::ordered_json inputList = nlohmann::ordered_json::array();
  for (const InputDescription& input : inputs) {
    inputList.push_back({{"kind", input.kind},
                         {"name", input.name},
                         {"live", input.live},
                         {"open", m.SourceOpen()},
                         {"levels", m.settings.fourLevelInterface ? 4 : 2},
                         {"inverted", m.settings.invertData != 0}});
  }
  const AppSettings& s = m.settings;
  nlohmann::ordered_json decoders{
      {"POCSAG", Decoder(m, s.decodePocsag != 0, {kRowPocsag2400, kRowPocsag1200, kRowPocsag512})},
      {"FLEX", Decoder(m, s.decodeFlex != 0, {kRowFlex6400, kRowFlex3200, kRowFlex1600})},
      {"GSC", Decoder(m, s.decodeGolay != 0, {kRowGsc})}};
  std::set<std::string> labels;
  for (const FilterRecord& f : s.filters) {
    if (f.type != kFilterUnused && !f.reject && !f.label.empty())
      labels.insert(f.label);
  }
  return {{"clock", IsoLocalTime(m.host.CalendarSeconds())},
          {"inputs", std::move(inputList)},
          {"decoders", std::move(decoders)},
          {"signal",
           {{"flex_frame", m.recovery.flexActive != 0}, {"gsc_sync", m.recovery.gscActive != 0}}},
          {"keep_alive", KeepAliveStatus(m)},
          {"output_file_failures", m.files.failures},
          {"colours", Colours(s)},
          {"filter_labels", labels}};
}

}  // namespace pagora::web
