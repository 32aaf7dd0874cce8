#include "web/engine_status.h"

#include <array>
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

// Each decoder's rows of the statistics tables.
struct DecoderRows {
  const char* name;
  std::array<int, 3> rows;
  std::size_t count;
};
constexpr DecoderRows kDecoderRows[] = {
    {"POCSAG", {kRowPocsag2400, kRowPocsag1200, kRowPocsag512}, 3},
    {"FLEX", {kRowFlex6400, kRowFlex3200, kRowFlex1600}, 3},
    {"GSC", {kRowGsc}, 1}};

std::int64_t Sum(const CounterTable& table, const DecoderRows& decoder) {
  std::int64_t total = 0;
  for (std::size_t i = 0; i < decoder.count; ++i) {
    auto row = static_cast<std::size_t>(decoder.rows[i]);
    total += table[row][0] + table[row][1];
  }
  return total;
}

nlohmann::ordered_json Decoder(Monitor& m, bool enabled, const DecoderRows& decoder) {
  return {{"enabled", enabled},
          {"pages_this_hour", Sum(m.counters.hourlyMessages, decoder)},
          {"pages_today", Sum(m.counters.dailyMessages, decoder)}};
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

void AddEngineCounts(nlohmann::ordered_json& status, Monitor& other) {
  for (const DecoderRows& d : kDecoderRows) {
    nlohmann::ordered_json& decoder = status["decoders"][d.name];
    decoder["pages_this_hour"] =
        decoder["pages_this_hour"].get<std::int64_t>() + Sum(other.counters.hourlyMessages, d);
    decoder["pages_today"] =
        decoder["pages_today"].get<std::int64_t>() + Sum(other.counters.dailyMessages, d);
  }
  nlohmann::ordered_json& signal = status["signal"];
  signal["flex_frame"] = signal["flex_frame"].get<bool>() || other.recovery.flexActive != 0;
  signal["gsc_sync"] = signal["gsc_sync"].get<bool>() || other.recovery.gscActive != 0;
}

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
  const bool enabled[] = {s.decodePocsag != 0, s.decodeFlex != 0, s.decodeGolay != 0};
  nlohmann::ordered_json decoders = nlohmann::ordered_json::object();
  for (std::size_t d = 0; d < std::size(kDecoderRows); ++d)
    decoders[kDecoderRows[d].name] = Decoder(m, enabled[d], kDecoderRows[d]);
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
