#include "input/capture_writer.h"

#include <cerrno>
#include <cstring>

#include "input/capture_format.h"

namespace pagora {

CaptureWriter::~CaptureWriter() {
  Close();
}

bool CaptureWriter::Open(const std::string& path) {
  Close();
  path_ = path;
  failed_ = false;
  file_ = path == "-" ? stdout : std::fopen(path.c_str(), "w");
  if (!file_) {
    error_ = path + ": " + std::strerror(errno);
    failed_ = true;
    return false;
  }
  std::fputs(kCaptureHeader, file_);
  return true;
}

void CaptureWriter::Put(std::uint16_t duration, std::uint8_t status) {
  if (!file_ || failed_)
    return;
  std::string line = FormatCaptureLine(duration, status);
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size()) {
    error_ = path_ + ": " + std::strerror(errno);
    failed_ = true;
  }
}

bool CaptureWriter::Close() {
  if (!file_)
    return !failed_;
  bool ok = std::fflush(file_) == 0;
  if (file_ != stdout)
    ok = std::fclose(file_) == 0 && ok;
  file_ = nullptr;
  if (!ok && !failed_) {
    error_ = path_ + ": " + std::strerror(errno);
    failed_ = true;
  }
  return !failed_;
}

}  // namespace pagora
