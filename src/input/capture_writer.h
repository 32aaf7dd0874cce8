// Records ring entries to a capture file (see capture_format.h).
#pragma once

#include <cstdio>
#include <string>

#include "input/entry_timeline.h"

namespace pagora {

class CaptureWriter : public EntrySink {
 public:
  CaptureWriter() = default;
  CaptureWriter(const CaptureWriter&) = delete;
  CaptureWriter& operator=(const CaptureWriter&) = delete;
  ~CaptureWriter() override;

  // Creates (truncates) the file and writes the header line; false with error() set.
  bool Open(const std::string& path);
  void Put(std::uint16_t duration, std::uint8_t status) override;
  // False when anything failed to be written (disk full).
  bool Close();
  bool failed() const { return failed_; }
  const std::string& error() const { return error_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  bool failed_ = false;
  std::string error_;
};

}  // namespace pagora
