// The filter text form comes from a file the user may have edited by hand: whatever it holds,
// parsing must stay within the record's limits, and what we write must read back the same.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/filter_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  pagora::FilterRecord record = pagora::ParseFilterRecord(text);
  if (record.capcode.size() > pagora::FilterRecord::kCapcodeMax ||
      record.label.size() > pagora::FilterRecord::kLabelMax ||
      record.text.size() > pagora::FilterRecord::kTextMax) {
    std::abort();
  }
  std::string written = pagora::FormatFilterRecord(record);
  pagora::FilterRecord again = pagora::ParseFilterRecord(written);
  if (pagora::FormatFilterRecord(again) != written)
    std::abort();
  return 0;
}
