#include "input/input_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

namespace pagora {
namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;  // the reader has gone (EPIPE): nothing more to hand on
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies `head` and then everything `from` still has into `to`; closes both at the end.
void Relay(int from, int to, std::string head) {
  char block[16384];
  bool open = WriteAll(to, head.data(), head.size());
  while (open) {
    ssize_t n = read(from, block, sizeof block);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    open = WriteAll(to, block, static_cast<std::size_t>(n));
  }
  close(from);
  close(to);
}

std::string ReadHead(int fd, std::size_t bytes, const std::function<bool()>& interrupted) {
  std::string head(bytes, '\0');
  std::size_t got = 0;
  while (got < bytes) {
    ssize_t n = read(fd, head.data() + got, bytes - got);
    if (n < 0 && errno == EINTR && !interrupted())
      continue;
    if (n <= 0)
      break;
    got += static_cast<std::size_t>(n);
  }
  head.resize(got);
  return head;
}

}  // namespace

InputStream OpenInputStream(const std::string& path, std::size_t headBytes,
                            const std::function<bool()>& interrupted) {
  InputStream in;
  for (;;) {
    in.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in.fd >= 0)
      break;
    in.error = errno;
    if (in.error != EINTR || interrupted())
      return in;
  }
  in.error = 0;
  in.head = ReadHead(in.fd, headBytes, interrupted);
  struct stat info {};
  if (fstat(in.fd, &info) == 0 && S_ISREG(info.st_mode) && lseek(in.fd, 0, SEEK_SET) == 0)
    return in;

  int relay[2];
  if (pipe2(relay, O_CLOEXEC) != 0) {
    in.error = errno;
    close(in.fd);
    in.fd = -1;
    return in;
  }
  std::thread(Relay, in.fd, relay[1], in.head).detach();
  in.fd = relay[0];
  return in;
}

}  // namespace pagora
