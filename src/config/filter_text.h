// The text form of a filter in the settings file:
// type,"capcode",function,"label","text",command,baud,reject
#pragma once

#include <string>
#include <string_view>

#include "config/settings.h"

namespace pagora {

std::string FormatFilterRecord(const FilterRecord& filter);
// Never stores more than a field's limit; malformed input reads as something sensible.
FilterRecord ParseFilterRecord(std::string_view text);

}  // namespace pagora
