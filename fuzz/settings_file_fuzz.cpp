// Loads arbitrary bytes as a settings file, then saves and reloads what was loaded: the second
// load must give the same record, and nothing may overflow on the way.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config/settings_file.h"

namespace {

std::string TempPath(const char* stem) {
  return std::string("/tmp/pagora-fuzz-") + stem + "-" + std::to_string(getpid()) + ".ini";
}

bool SameRecord(const pagora::AppSettings& a, const pagora::AppSettings& b) {
  return a.filters == b.filters && a.colours == b.colours && a.logFile == b.logFile &&
         a.keepAliveCmdArgs == b.keepAliveCmdArgs && a.filterCmdArgs == b.filterCmdArgs &&
         a.comPort == b.comPort && a.pane1Size == b.pane1Size && a.keepAlive == b.keepAlive &&
         a.font.faceName == b.font.faceName;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string input = TempPath("in");
  static const std::string output = TempPath("out");
  std::FILE* file = std::fopen(input.c_str(), "wb");
  if (!file)
    return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  pagora::AppSettings loaded;
  pagora::LoadSettings(loaded, input);
  if (!pagora::SaveSettings(loaded, output))
    return 0;
  pagora::AppSettings reloaded;
  pagora::LoadSettings(reloaded, output);
  if (!SameRecord(loaded, reloaded))
    std::abort();
  return 0;
}
