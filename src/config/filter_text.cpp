#include "config/filter_text.h"

namespace pagora {

// Placeholders until the text form is written.
std::string FormatFilterRecord(const FilterRecord&) { return {}; }
FilterRecord ParseFilterRecord(std::string_view) { return {}; }

}  // namespace pagora
