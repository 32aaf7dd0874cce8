#include "cli_test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include <gtest/gtest.h>
#include <fstream>
#include <sstream>

namespace pagora::testing {

std::string DecodePath() {
  return PAGORA_DECODE_PATH;
}
std::string GenPath() {
  return PAGORA_GEN_PATH;
}

namespace {

// The folder every test program's files go into, removed when the program ends.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = ::testing::TempDir() + "/pagora_cli_XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) != nullptr)
      path_ = buffer.data();
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty())
      std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace

std::string TempPath(const std::string& name) {
  static const TempFolder folder;
  return folder.path() + "/" + name;
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

RunResult RunProgram(const std::string& command, const std::string& stdinPath) {
  std::string out = TempPath("run.out");
  std::string err = TempPath("run.err");
  // `timeout` turns a hang into a failure instead of a stuck test run.
  std::string line =
      "timeout -s KILL 120 " + command + " < '" + stdinPath + "' > '" + out + "' 2> '" + err + "'";
  int raw = std::system(line.c_str());
  RunResult result;
  if (raw != -1 && WIFEXITED(raw)) {
    result.status = WEXITSTATUS(raw);
    // timeout reports a killed child as 137; a crash in the shell's child as 128 + signal.
    result.crashed = result.status >= 128;
  } else {
    result.crashed = true;
  }
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  return result;
}

std::vector<nlohmann::json> ParsePages(const std::string& lines, bool dropTime) {
  std::vector<nlohmann::json> pages;
  std::istringstream in(lines);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty())
      continue;
    nlohmann::json page = nlohmann::json::parse(line);
    if (dropTime)
      page.erase("time");
    pages.push_back(page);
  }
  return pages;
}

std::vector<nlohmann::json> RenderScenario(const std::string& scenario, const std::string& output,
                                           const std::string& options) {
  std::string path = output + ".json";
  WriteFile(path, scenario);
  RunResult gen = RunProgram(GenPath() + " " + options + " " + path + " -o " + output);
  EXPECT_EQ(gen.status, 0) << gen.err;
  return ParsePages(gen.out);
}

}  // namespace pagora::testing
