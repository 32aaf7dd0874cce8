// The engine's part of /api/status, built on the engine's thread (the server's threads never
// touch the engine) and handed to WebServer::PublishStatus.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pagora {
class Monitor;
}

namespace pagora::web {

// What the front end knows of its input that the engine does not.
struct InputDescription {
  std::string kind;   // "audio file", "pipe", "capture", "serial slicer", "sound card"
  std::string name;   // path or device
  bool live = false;  // runs on the wall clock
};

// inputs, decoders (enabled, pages this hour and today), keep_alive, signal activity, output
// file failures, the display colours ("#rrggbb" by colour class) and the filter labels.
nlohmann::ordered_json EngineStatus(Monitor& m, const std::vector<InputDescription>& inputs);

// Adds another engine's page counts and signal activity to `status` (made by EngineStatus): the
// channels of a band are watched as one receiver. Settings and keep-alive stay the first one's.
void AddEngineCounts(nlohmann::ordered_json& status, Monitor& other);

}  // namespace pagora::web
