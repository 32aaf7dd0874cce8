// An entry sink that keeps every (duration, status) entry it is given, for tests of the parts
// that produce slicer entries.
#pragma once

#include <cstdint>
#include <vector>

#include "input/entry_timeline.h"

namespace pagora::testing {

struct Entry {
  std::uint16_t duration;
  std::uint8_t status;
  bool operator==(const Entry&) const = default;
};

class VectorSink : public EntrySink {
 public:
  void Put(std::uint16_t duration, std::uint8_t status) override {
    entries.push_back({duration, status});
  }
  std::vector<Entry> entries;
};

}  // namespace pagora::testing
