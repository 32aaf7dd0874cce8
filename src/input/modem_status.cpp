#include "input/modem_status.h"

#include "engine/bit_recovery.h"

namespace pagora {

std::uint8_t ModemStatusByte(bool cts, bool dsr, bool ri, bool dcd) {
  return static_cast<std::uint8_t>((cts ? kStatusCts : 0) | (dsr ? kStatusDsr : 0) |
                                   (ri ? kStatusRi : 0) | (dcd ? kStatusDcd : 0));
}

double ModemStatusConverter::Ticks(std::int64_t nanoseconds) const {
  // Relative to the first reading, so the double keeps sub-tick precision for years.
  return static_cast<double>(nanoseconds - origin_) * 1e-9 / kTickSeconds;
}

void ModemStatusConverter::Start(std::int64_t nanoseconds, std::uint8_t status) {
  origin_ = nanoseconds;
  timeline_.Start(0, status);
}

void ModemStatusConverter::Change(std::int64_t nanoseconds, std::uint8_t status, EntrySink& sink) {
  if (!timeline_.started()) {
    Start(nanoseconds, status);
    return;
  }
  if (status == timeline_.status())
    return;
  timeline_.Change(Ticks(nanoseconds), status, sink);
}

}  // namespace pagora
