// Opening a named input (a file, a FIFO, a process substitution such as <(cat demo.wav)) and
// looking at its first bytes to tell a capture from audio without losing them: a pipe cannot
// be rewound, so the bytes looked at are handed on in front of the rest.
#pragma once

#include <functional>
#include <string>

namespace pagora {

struct InputStream {
  int fd = -1;       // read from here; the caller owns it. -1 when the open failed
  int error = 0;     // errno of a failed open
  std::string head;  // the first bytes of the input (up to the size asked for)
};

// Opens `path` for reading. A FIFO's open waits for a writer; each time a signal interrupts
// the wait, `interrupted()` decides whether to give up (error EINTR). Then reads up to
// `headBytes` from the start. For a regular file the position goes back to the start; for
// anything else the returned descriptor is a new pipe that delivers the head first and then
// the rest of the input, copied by a thread of its own that ends with the input or when the
// reader closes its end.
InputStream OpenInputStream(const std::string& path, std::size_t headBytes,
                            const std::function<bool()>& interrupted);

}  // namespace pagora
