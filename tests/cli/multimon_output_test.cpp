// The line layouts other tools parse, for the cases the referee tier cannot show: unknown
// fields, control characters, empty texts and our own GSC layout.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cli/multimon_output.h"

namespace pagora::cli {
namespace {

Page MakePage(Protocol protocol, int rate, const char* capcode, int function, const char* type,
              const std::string& text) {
  Page page;
  page.protocol = protocol;
  page.rate = rate;
  std::strncpy(page.capcode.data(), capcode, page.capcode.size() - 1);
  page.function = function;
  page.type = type;
  for (char c : text)
    AppendReceived(page, c);
  page.flexSymbolRate = 1600;
  page.flexLevels = 2;
  page.flexPhase = 'A';
  return page;
}

TEST(MultimonLineTest, Layouts) {
  struct Case {
    Page page;
    const char* line;
  };
  Page flexFrame = MakePage(Protocol::kFlex, 1600, "0001234", 0, "alpha", "HI");
  flexFrame.flexCycle = 4;
  flexFrame.flexFrame = 112;
  flexFrame.fragment = 'F';
  const Case cases[] = {
      {MakePage(Protocol::kPocsag, 1200, "1234567", 4, "alpha", "A\x17\x1b[2J\x7f"),
       "POCSAG1200: Address: 1234567  Function: 3  Alpha:   A<ETB><ESC>[2J<DEL>"},
      {MakePage(Protocol::kPocsag, 512, "0000008", 1, "numeric", "0123"),
       "POCSAG512: Address:       8  Function: 0  Numeric: 0123"},
      {MakePage(Protocol::kPocsag, 2400, "0000009", 2, "tone", ""),
       "POCSAG2400: Address:       9  Function: 1 "},
      {MakePage(Protocol::kPocsag, 1200, "???????", 0, "numeric", "911"),
       "POCSAG1200: Address: ???????  Function: ?  Numeric: 911"},
      {flexFrame, "FLEX|1970-01-01 00:00:00|1600/2/F/A|04.112|000001234|ALN|HI"},
      // An alpha page without text only alerts; readers break on an empty text after ALN.
      {MakePage(Protocol::kFlex, 1600, "0001234", 0, "alpha", ""),
       "FLEX|1970-01-01 00:00:00|1600/2/K/A|??.???|000001234|TON|"},
      {MakePage(Protocol::kFlex, 1600, "?????????", 0, "binary", "C0FFEE"),
       "FLEX|1970-01-01 00:00:00|1600/2/K/A|??.???|?????????|GPN|C0FFEE"},
      {MakePage(Protocol::kGsc, 600, "123456", 2, "alpha", "GSC TEXT"),
       "GSC600: Address: 123456  Function: 2  Alpha:   GSC TEXT"},
  };
  setenv("TZ", "UTC", 1);
  tzset();
  for (const Case& c : cases)
    EXPECT_EQ(MultimonLine(c.page, 0), c.line);
}

}  // namespace
}  // namespace pagora::cli
