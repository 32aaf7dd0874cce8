#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <optional>
#include <string>

#include "config/filter_text.h"
#include "config/settings_file.h"
#include "temp_dir.h"

namespace pagora {
namespace {

using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

AppSettings LoadText(const std::string& text) {
  TempDir dir;
  WriteText(dir.File("Pagora.INI"), text);
  AppSettings s;
  EXPECT_TRUE(LoadSettings(s, dir.File("Pagora.INI")));
  return s;
}

std::string SaveText(const AppSettings& s, const std::string& before = "") {
  TempDir dir;
  if (!before.empty())
    WriteText(dir.File("Pagora.INI"), before);
  EXPECT_TRUE(SaveSettings(s, dir.File("Pagora.INI")));
  return ReadText(dir.File("Pagora.INI"));
}

// The defaults as they are written: every key, in file order, in its own format.
constexpr const char* kDefaultFile = R"([Pagora]
xPos=0
yPos=0
xSize=592
ySize=350
Timestamp=1
ConfirmExit=1
ShowNumeric=1
ShowMisc=1
FilterBeep=0
DecodePocsag=1
DecodeFlex=1
DecodeGolay=1
4LevelInterface=0
InvertData=0
Percent=75
Font.Height=-11
Font.Width=0
Font.Escapement=0
Font.Orientation=0
Font.Weight=400
Font.Italic=0
Font.CharSet=255
Font.OutPrecision=3
Font.ClipPrecision=0
Font.Quality=0
Font.PitchAndFamily=49
Font.FaceName=Courier New
LogFileEnabled=0
LogFile=
LogFileUseDate=0
LogFileFlush=0
LogFlushTime=0
Color.Background=0,0,0
Color.Capcode=0,128,0
Color.FLEXPhase=0,255,255
Color.FLEXFormat=255,0,255
Color.Timestamp=0,0,255
Color.Numeric=255,0,0
Color.Alphanumeric=255,255,0
Color.FLEXBinary=128,128,64
Color.BitErrors=192,192,192
Color.FilterMatch=255,255,255
Color.FilterLabel=0,255,0
Pane1Size=1000
Pane2Size=200
StatFileEnabled=0
StatFile=
StatFileUseDate=0
StatCSVFileEnabled=0
StatCSVFile=
StatCSVFileUseDate=0
KeepAliveStart1=0
KeepAliveStop1=0
KeepAliveTimeout1=0
KeepAliveStart2=0
KeepAliveStop2=0
KeepAliveTimeout2=0
KeepAliveStart3=0
KeepAliveStop3=0
KeepAliveTimeout3=0
KeepAliveCmdFileEnabled=0
KeepAliveCmdFile=
KeepAliveCmdArgs=""
CustomDevice=
InputSource=0
AudioDevice=
AudioFile=
SdrDevice=
SdrFrequency=
SdrGain=auto
SdrPpm=0
DedupSeconds=0
Charset=ascii
Station=

[Filter]
FilterFileEnabled=0
FilterFile=
FilterFileUseDate=0
FilterFileFlush=0
FilterFlushTime=0
FilterCmdFileEnabled=0
FilterCmdFile=
FilterCmdArgs=""
FilterCount=0

[MQTT]
Enabled=0
Host=
Port=0
TLS=0
CAFile=
User=
PasswordFile=
ClientId=
Prefix=pagora
StatsSeconds=60

[PagerMon]
Enabled=0
URL=
KeyFile=
)";

TEST(SettingsFile, WithoutAFileTheDefaultsStand) {
  TempDir dir;
  AppSettings s;
  EXPECT_FALSE(LoadSettings(s, dir.File("none/Pagora.INI")));
  EXPECT_EQ(s, AppSettings());  // the defaults' values are checked as written, below
  // The diagnostic colour is not written: it follows the numeric one.
  EXPECT_EQ(s.colours[kSlotDiagnostic], s.colours[kSlotNumeric]);
}

TEST(SettingsFile, DefaultsAreWrittenKeyByKeyInOrder) {
  EXPECT_EQ(SaveText(AppSettings()), kDefaultFile);
  // And an empty or missing file reads back as exactly the defaults.
  EXPECT_EQ(LoadText(kDefaultFile), AppSettings());
  EXPECT_EQ(LoadText(""), AppSettings());
}

struct LoadCase {
  const char* name;
  const char* file;
  std::function<void(AppSettings&)> expect;  // applied to the defaults: the wanted result
};

TEST(SettingsFile, LoadOverlaysTheDefaults) {
  const LoadCase kCases[] = {
      {"PortWithoutAddress", "[Pagora]\nComPort=COM3\nComPortIRQ=4\n",
       [](AppSettings& s) { s.comPortIrq = 4; }},
      {"PortWithoutIrq", "[Pagora]\nComPort=COM2\nComPortAddr=0x2F8\n",
       [](AppSettings& s) { s.comPortAddr = 0x2F8; }},
      {"FullPort", "[Pagora]\nComPort=COM3\nComPortAddr=0x3e8\nComPortIRQ=4\n",
       [](AppSettings& s) {
         s.comPort = 3;
         s.comPortAddr = 0x3E8;
         s.comPortIrq = 4;
       }},
      {"CustomPort", "[Pagora]\nComPort=Custom\nComPortAddr=0x2E8\nComPortIRQ=11\n",
       [](AppSettings& s) {
         s.comPort = 5;
         s.comPortAddr = 0x2E8;
         s.comPortIrq = 11;
       }},
      {"PortBeyondCom4", "[Pagora]\nComPort=COM9\nComPortAddr=0x3F8\nComPortIRQ=4\n",
       [](AppSettings& s) {
         s.comPortAddr = 0x3F8;
         s.comPortIrq = 4;
       }},
      {"EmptyPortReadsNothingElse", "[Pagora]\nComPort=\nComPortAddr=0x3F8\n", [](AppSettings&) {}},
      {"TwoNumberColour", "[Pagora]\nColor.Numeric=12,34\n", [](AppSettings&) {}},
      {"ColourLowBytes", "[Pagora]\nColor.Numeric=300,-1, 7\nColor.Capcode=1,2,3\n",
       [](AppSettings& s) {
         s.colours[kSlotNumeric] = MakeColour(44, 255, 7);
         s.colours[kSlotCapcode] = MakeColour(1, 2, 3);
       }},
      {"PercentIsAnInteger", "[Pagora]\nPercent=62.5\n", [](AppSettings& s) { s.percent = 62; }},
      {"PaneSizesMustBePositive", "[Pagora]\nPane1Size=-5\nPane2Size=0\n", [](AppSettings&) {}},
      {"FontBytesAreTruncated",
       "[Pagora]\nFont.Height=-13\nFont.CharSet=511\nFont.FaceName=DejaVu Sans Mono "
       "Extra Long Face Name\n",
       [](AppSettings& s) {
         s.font.height = -13;
         s.font.charSet = 255;
         s.font.faceName = "DejaVu Sans Mono Extra Long Fac";
       }},
      {"NamesIgnoreCase",
       "[PAGORA]\nXPOS=5\ndecodeflex=0\n[filter]\nfiltercount=1\n"
       "FILTER1=1,\"\",0,\"\",\"SMOKE\",0,0,0\n",
       [](AppSettings& s) {
         s.xPos = 5;
         s.decodeFlex = 0;
         s.filters = {ParseFilterRecord(R"(1,"",0,"","SMOKE",0,0,0)")};
       }},
      {"FilterCountZeroIgnoresStaleFilters",
       "[Filter]\nFilterCount=0\nFilter1=1,\"\",0,\"\",\"X\",0,0,0\n", [](AppSettings&) {}},
      {"MissingFilterKeyReadsAsUnused",
       "[Filter]\nFilterCount=2\nFilter2=1,\"\",0,\"\",\"X\",0,0,0\n",
       [](AppSettings& s) {
         s.filters = {FilterRecord{}, ParseFilterRecord(R"(1,"",0,"","X",0,0,0)")};
       }},
      {"HugeFilterCountIsBounded",
       "[Filter]\nFilterCount=2000000000\nFilter1=1,\"\",0,\"\",\"X\",0,0,0\n",
       [](AppSettings& s) {
         // Two keys in the section: at most two filters.
         s.filters = {ParseFilterRecord(R"(1,"",0,"","X",0,0,0)"), FilterRecord{}};
       }},
      {"QuotedArguments",
       "[Pagora]\nKeepAliveCmdArgs=\"\"quoted words\" -v \"\n"
       "[Filter]\nFilterCmdArgs=%c %m\n",
       [](AppSettings& s) {
         s.keepAliveCmdArgs = "\"quoted words\" -v ";
         s.filterCmdArgs = "%c %m";
       }}};
  for (const LoadCase& c : kCases) {
    AppSettings expected;
    c.expect(expected);
    EXPECT_EQ(LoadText(c.file), expected) << c.name;
  }
}

TEST(SettingsFile, PercentIsSavedAsAnInteger) {
  AppSettings s = LoadText("[Pagora]\nPercent=62.5\n");
  EXPECT_NE(SaveText(s).find("\nPercent=62\n"), std::string::npos);
}

TEST(SettingsFile, PortKeysAreWrittenOnlyForAChosenPort) {
  AppSettings s;
  s.comPort = 5;
  s.comPortAddr = 0x2e8;
  s.comPortIrq = 3;
  std::string text = SaveText(s);
  EXPECT_NE(text.find("DecodeGolay=1\nComPort=Custom\nComPortAddr=0x2E8\nComPortIRQ=3\n"
                      "4LevelInterface=0\n"),
            std::string::npos);
  s.comPort = 2;
  EXPECT_NE(SaveText(s).find("\nComPort=COM2\n"), std::string::npos);
  s.comPort = 0;
  EXPECT_EQ(SaveText(s).find("ComPort"), std::string::npos);
}

TEST(SettingsFile, SaveDropsStaleKeysAndKeepsOtherSections) {
  const std::string before =
      "[Pagora]\nxPos=10\nObsoleteKey=1\n\n"
      "[Filter]\nFilterCount=0\nFilter1=1,\"\",0,\"\",\"OLD\",0,0,0\nFilter2=junk\n\n"
      "[Someone Else]\n; their comment\nTheirKey=kept\n";
  AppSettings s = LoadText(before);
  EXPECT_TRUE(s.filters.empty());
  std::string after = SaveText(s, before);
  EXPECT_EQ(after.find("ObsoleteKey"), std::string::npos);
  EXPECT_EQ(after.find("Filter1"), std::string::npos);
  EXPECT_EQ(after.find("Filter2"), std::string::npos);
  EXPECT_NE(after.find("[Someone Else]\n; their comment\nTheirKey=kept\n"), std::string::npos);
  EXPECT_NE(after.find("\nxPos=10\n"), std::string::npos);
}

AppSettings EveryFieldChanged() {
  AppSettings s;
  s.xPos = -20;
  s.yPos = 31;
  s.xSize = 1024;
  s.ySize = 768;
  s.timestamp = 0;
  s.confirmExit = 0;
  s.showNumeric = 0;
  s.showMisc = 0;
  s.filterBeep = 1;
  s.decodePocsag = 0;
  s.decodeFlex = 0;
  s.decodeGolay = 0;
  s.comPort = 5;
  s.comPortAddr = 0xABCD;
  s.comPortIrq = 7;
  s.fourLevelInterface = 1;
  s.invertData = 1;
  s.percent = 40;
  s.font = FontDescription{-14, 7, 1, 2, 700, 1, 0, 4, 2, 5, 0x32, "DejaVu Sans Mono"};
  s.logFileEnabled = 1;
  s.logFile = "/var/log/pagora/pages with blanks.log";
  s.logFileUseDate = 1;
  s.logFileFlush = 1;
  s.logFlushTime = 3;
  s.filterFileEnabled = 1;
  s.filterFile = " leading and trailing blanks ";
  s.filterFileUseDate = 1;
  s.filterFileFlush = 1;
  s.filterFlushTime = 4;
  s.filterCmdFileEnabled = 1;
  s.filterCmdFile = "/usr/bin/notify-send";
  s.filterCmdArgs = "\"Page %l\" %m";
  FilterRecord quoted;
  quoted.type = kFilterText;
  quoted.label = "the \"boss\"";
  quoted.text = "C:\\TEMP\\";
  quoted.command = 1;
  s.filters = {ParseFilterRecord(R"(2,"0001234",2,"FIRE","ALARM",1,2,0)"), quoted,
               ParseFilterRecord(R"(4,"12345678?",0,"","",0,0,1)")};
  for (int slot = 0; slot < kColourSlotCount; ++slot) {
    if (slot != kSlotDiagnostic)
      s.colours[slot] = MakeColour(slot * 20, 255 - slot, slot * 3);
  }
  s.pane1Size = 5000;
  s.pane2Size = 50;
  s.statFileEnabled = 1;
  s.statFile = "stats.st";
  s.statFileUseDate = 1;
  s.statCsvFileEnabled = 1;
  s.statCsvFile = "\"quoted.csv\"";
  s.statCsvFileUseDate = 1;
  s.keepAlive = {KeepAliveWindow{23, 2, 5}, KeepAliveWindow{6, 6, 13}, KeepAliveWindow{8, 12, 1}};
  s.keepAliveCmdFileEnabled = 1;
  s.keepAliveCmdFile = "/usr/local/bin/page-me";
  s.keepAliveCmdArgs = "\"off the air\" --now";
  s.customDevice = "/dev/ttyUSB0";
  s.inputSource = 2;
  s.audioDevice = "hw:1,0";
  s.audioFile = "/home/user/scanner.flac";
  s.station = "north hill";
  s.mqtt = MqttSettings{1,         "broker.lan", 8883,          1, "/etc/ssl/ca.pem", "pager",
                        "/run/pw", "rx-1",       "radio/pages", 30};
  s.pagerMon = PagerMonSettings{1, "http://pagermon:3000", "/etc/pagora/pagermon.key"};
  return s;
}

TEST(SettingsFile, EveryFieldSurvivesSaveAndLoad) {
  const AppSettings original = EveryFieldChanged();
  // Make sure the record really differs from the defaults field by field.
  ASSERT_NE(original.font, AppSettings().font);

  TempDir dir;
  std::string path = dir.File("Pagora.INI");
  ASSERT_TRUE(SaveSettings(original, path));
  AppSettings loaded;
  ASSERT_TRUE(LoadSettings(loaded, path));
  EXPECT_EQ(loaded, original) << ReadText(path);

  // Saving what was loaded writes the same file again.
  std::string first = ReadText(path);
  ASSERT_TRUE(SaveSettings(loaded, path));
  EXPECT_EQ(ReadText(path), first);
}

TEST(SettingsFile, FailedSaveReturnsFalseAndKeepsTheOldFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("Pagora.INI"));
  EXPECT_FALSE(SaveSettings(AppSettings(), dir.File("Pagora.INI")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("Pagora.INI")));

  WriteText(dir.File("file"), "[Pagora]\nxPos=3\n");
  EXPECT_FALSE(SaveSettings(AppSettings(), dir.File("file/Pagora.INI")));
  EXPECT_EQ(ReadText(dir.File("file")), "[Pagora]\nxPos=3\n");
}

TEST(SettingsFile, FirstSaveCreatesTheDirectory) {
  TempDir dir;
  std::string path = dir.File("config/pagora/Pagora.INI");
  ASSERT_TRUE(SaveSettings(AppSettings(), path));
  EXPECT_EQ(ReadText(path), kDefaultFile);
}

class DefaultPath : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* v = std::getenv("XDG_CONFIG_HOME"))
      xdg_ = v;
    if (const char* v = std::getenv("HOME"))
      home_ = v;
  }
  void TearDown() override {
    Restore("XDG_CONFIG_HOME", xdg_);
    Restore("HOME", home_);
  }
  static void Restore(const char* name, const std::optional<std::string>& value) {
    if (value) {
      setenv(name, value->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }
  std::optional<std::string> xdg_, home_;
};

TEST_F(DefaultPath, FollowsTheConfigurationDirectory) {
  setenv("HOME", "/home/tester", 1);
  setenv("XDG_CONFIG_HOME", "/tmp/xdg", 1);
  EXPECT_EQ(DefaultSettingsPath(), "/tmp/xdg/pagora/Pagora.INI");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(DefaultSettingsPath(), "/home/tester/.config/pagora/Pagora.INI");
  setenv("XDG_CONFIG_HOME", "relative/dir", 1);
  EXPECT_EQ(DefaultSettingsPath(), "/home/tester/.config/pagora/Pagora.INI");
}

// A long filter list (a flood of capcodes to watch) survives a save and a load in order; the
// reader looks keys up by index, so this takes moments, not the minutes a scan per key took.
TEST(SettingsFile, HundredThousandFiltersRoundTrip) {
  AppSettings original;
  for (int n = 0; n < 100000; ++n) {
    FilterRecord f;
    f.type = kFilterPocsag;
    f.capcode = std::to_string(1000000 + n);
    f.label = "L" + std::to_string(n);
    original.filters.push_back(f);
  }
  TempDir dir;
  std::string path = dir.File("Pagora.INI");
  ASSERT_TRUE(SaveSettings(original, path));
  // A key written twice (case apart): the first one is read, as before.
  WriteText(path, ReadText(path) + "filter1=5,\"999999\",0,\"LATE\",\"\",0,0,0\n");
  AppSettings loaded;
  ASSERT_TRUE(LoadSettings(loaded, path));
  EXPECT_EQ(loaded.filters, original.filters);
}

}  // namespace
}  // namespace pagora
