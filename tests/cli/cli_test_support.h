// Running pagora-gen and pagora-decode from the tests: files in a fresh folder, the programs'
// output, standard error and exit status, and pages read back as parsed JSON.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace pagora::testing {

struct RunResult {
  int status = -1;  // exit status; -1 when the program did not exit normally
  bool crashed = false;
  std::string out;
  std::string err;
};

// Runs `command` (a shell command line built by the test from fixed words and temp paths) with a
// time limit, standard input from `stdinPath` (or /dev/null).
RunResult RunProgram(const std::string& command, const std::string& stdinPath = "/dev/null");

std::string TempPath(const std::string& name);
void WriteFile(const std::string& path, const std::string& content);
std::string ReadFile(const std::string& path);

// JSON lines as objects, with the time field dropped when `dropTime` is set.
std::vector<nlohmann::json> ParsePages(const std::string& lines, bool dropTime = true);

// pagora-gen renders `scenario` (JSON text) to `output` with `options`; the pages it expects.
// A failing run is a test failure.
std::vector<nlohmann::json> RenderScenario(const std::string& scenario, const std::string& output,
                                           const std::string& options = "");

std::string DecodePath();
std::string GenPath();

}  // namespace pagora::testing
