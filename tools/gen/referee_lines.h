// Lines of the referee decoder (multimon-ng) read back as fields, so tests and benchmarks can
// hold pagora-gen's pages and pagora-decode's line layouts against an independent decoder.
// Its layouts: "POCSAG1200: Address: ...  Function: ...  Alpha:   ...", "FLEX|...|...", the
// older "FLEX: ... [capcode] TYPE text" and "FLEX_NEXT|...". Our own --format multimon lines
// read the same way.
#pragma once

#include <string>
#include <vector>

namespace pagora::gen {

// The fields a line states about a page. Fields a layout does not carry stay empty and agree
// with anything. The text is as received: named fill ("<ETB>") after an alphanumeric text and
// trailing blanks after digits are left out.
struct RefereeLine {
  std::string mode;      // "POCSAG1200", "1600/4"
  std::string fragment;  // FLEX K, F, C
  std::string phase;     // FLEX A..D
  std::string frame;     // FLEX cycle.frame
  long long capcode = -1;
  std::string members;   // FLEX group call: the member capcodes after the address, as printed
  std::string function;  // POCSAG 0..3
  std::string type;      // Alpha, Numeric, ALN, NUM, TON, ...
  std::string text;

  bool Agrees(const RefereeLine& other) const;
};

std::vector<RefereeLine> ParseRefereeLines(const std::string& out);

}  // namespace pagora::gen
