// A fresh engine on the recording host with a stand-in slicer source, a record of every symbol
// the drain hands to the decoders, and a scratch working directory for output files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "engine/monitor.h"
#include "fake_host.h"
#include "slicer_entries.h"

namespace pagora::testing {

// Opens without a device; the test fills the ring itself.
class StandInSource : public SlicerSource {
 public:
  bool openSucceeds = true;
  int opens = 0;
  int closes = 0;

  bool Open(const AppSettings&, SlicerRing&, Host& host) override {
    ++opens;
    if (!openSucceeds) {
      host.ShowMessage("Error attaching to COM port!", "Pagora Error");
      return false;
    }
    open_ = true;
    return true;
  }
  bool Close() override {
    ++closes;
    bool was = open_;
    open_ = false;
    return was;
  }
  bool IsOpen() const override { return open_; }

 private:
  bool open_ = false;
};

class SymbolLog : public SymbolObserver {
 public:
  std::vector<int> flex;
  std::string pocsag;  // '1', '0' and 'X'
  std::vector<int> gsc;
  std::string order;  // 'F', 'P' or 'G' per symbol, in the order the decoders got them

  void FlexSymbol(int symbol) override {
    flex.push_back(symbol);
    order += 'F';
  }
  void PocsagBit(char bit) override {
    pocsag += bit;
    order += 'P';
  }
  void GscBit(int bit) override {
    gsc.push_back(bit);
    order += 'G';
  }
  long Count(char bit) const {
    return static_cast<long>(std::count(pocsag.begin(), pocsag.end(), bit));
  }
};

// The current directory for one test: a new empty folder, removed afterwards.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "pagora-input-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr)
      path_ = pattern;
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

inline std::uintmax_t SizeOnDisk(const std::filesystem::path& path) {
  std::error_code error;
  std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? 0 : size;
}

inline std::uint8_t StatusFor(int level) {
  return gen::kLevelStatus[static_cast<std::size_t>(level)];
}

struct Entry {
  int duration;
  int level;
};

// An engine that has been created and whose source is open, so ticks run.
class Engine {
 public:
  explicit Engine(void (*configure)(AppSettings&) = nullptr) : m(host) {
    if (configure)
      configure(m.settings);
    m.symbolObserver = &symbols;
  }
  void Start() {
    m.Create();
    m.OpenSource(source);
  }
  void Feed(std::initializer_list<Entry> entries) {
    for (const Entry& e : entries)
      Push(e.duration, e.level);
    m.Drain();
  }
  void Push(int duration, int level) {
    m.ring.Push(static_cast<std::uint16_t>(duration), StatusFor(level));
  }
  void Ticks(int count) {
    for (int i = 0; i < count; ++i)
      m.Tick();
  }

  FakeHost host;
  StandInSource source;
  SymbolLog symbols;
  Monitor m;
};

}  // namespace pagora::testing
