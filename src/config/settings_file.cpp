#include "config/settings_file.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "config/filter_text.h"
#include "config/ini_file.h"

namespace pagora {
namespace {

constexpr std::string_view kMainSection = "Pagora";
constexpr std::string_view kFilterSection = "Filter";
constexpr std::string_view kMqttSection = "MQTT";
constexpr std::string_view kPagerMonSection = "PagerMon";
constexpr std::string_view kArchiveSection = "Archive";

// GetPrivateProfileString-style limits of the fields read as strings.
constexpr std::size_t kPortTextMax = 15;
constexpr std::size_t kColourTextMax = 12;
constexpr std::size_t kFilterTextMax = 255;

constexpr int kPortCustom = 5;

// Colour keys in slot order; the Diagnostic slot has none and is not stored.
constexpr std::array<const char*, kColourSlotCount> kColourKeys = {
    "Color.Background",   "Color.Capcode",     "Color.FLEXPhase",
    "Color.FLEXFormat",   "Color.Timestamp",   "Color.Numeric",
    "Color.Alphanumeric", "Color.FLEXBinary",  nullptr,
    "Color.BitErrors",    "Color.FilterMatch", "Color.FilterLabel",
};

constexpr std::array<std::array<const char*, 3>, 3> kKeepAliveKeys = {{
    {"KeepAliveStart1", "KeepAliveStop1", "KeepAliveTimeout1"},
    {"KeepAliveStart2", "KeepAliveStop2", "KeepAliveTimeout2"},
    {"KeepAliveStart3", "KeepAliveStop3", "KeepAliveTimeout3"},
}};

enum class Quoting { kPlain, kQuoted };

// The keys of the main section in the order they are written. One list serves both the
// reader and the writer, so that the two cannot drift apart. `S` is AppSettings or
// const AppSettings.
template <class S, class Visitor>
void VisitMainSection(S& s, Visitor& v) {
  v.Int("xPos", s.xPos);
  v.Int("yPos", s.yPos);
  v.Int("xSize", s.xSize);
  v.Int("ySize", s.ySize);
  v.Int("Timestamp", s.timestamp);
  v.Int("ConfirmExit", s.confirmExit);
  v.Int("ShowNumeric", s.showNumeric);
  v.Int("ShowMisc", s.showMisc);
  v.Int("FilterBeep", s.filterBeep);
  v.Int("DecodePocsag", s.decodePocsag);
  v.Int("DecodeFlex", s.decodeFlex);
  v.Int("DecodeGolay", s.decodeGolay);
  v.Port(s);
  v.Int("4LevelInterface", s.fourLevelInterface);
  v.Int("InvertData", s.invertData);
  v.Percent("Percent", s.percent);
  v.Int("Font.Height", s.font.height);
  v.Int("Font.Width", s.font.width);
  v.Int("Font.Escapement", s.font.escapement);
  v.Int("Font.Orientation", s.font.orientation);
  v.Int("Font.Weight", s.font.weight);
  v.Byte("Font.Italic", s.font.italic);
  v.Byte("Font.CharSet", s.font.charSet);
  v.Byte("Font.OutPrecision", s.font.outPrecision);
  v.Byte("Font.ClipPrecision", s.font.clipPrecision);
  v.Byte("Font.Quality", s.font.quality);
  v.Byte("Font.PitchAndFamily", s.font.pitchAndFamily);
  v.Text("Font.FaceName", s.font.faceName, AppSettings::kFaceNameMax, Quoting::kPlain);
  v.Int("LogFileEnabled", s.logFileEnabled);
  v.Text("LogFile", s.logFile, AppSettings::kPathMax, Quoting::kPlain);
  v.Int("LogFileUseDate", s.logFileUseDate);
  v.Int("LogFileFlush", s.logFileFlush);
  v.Int("LogFlushTime", s.logFlushTime);
  for (int slot = 0; slot < kColourSlotCount; ++slot) {
    if (kColourKeys[slot] != nullptr)
      v.Colour(kColourKeys[slot], s.colours[slot]);
  }
  v.Int("Pane1Size", s.pane1Size);
  v.Int("Pane2Size", s.pane2Size);
  v.Int("StatFileEnabled", s.statFileEnabled);
  v.Text("StatFile", s.statFile, AppSettings::kPathMax, Quoting::kPlain);
  v.Int("StatFileUseDate", s.statFileUseDate);
  v.Int("StatCSVFileEnabled", s.statCsvFileEnabled);
  v.Text("StatCSVFile", s.statCsvFile, AppSettings::kPathMax, Quoting::kPlain);
  v.Int("StatCSVFileUseDate", s.statCsvFileUseDate);
  for (std::size_t w = 0; w < kKeepAliveKeys.size(); ++w) {
    v.Int(kKeepAliveKeys[w][0], s.keepAlive[w].start);
    v.Int(kKeepAliveKeys[w][1], s.keepAlive[w].stop);
    v.Int(kKeepAliveKeys[w][2], s.keepAlive[w].timeout);
  }
  v.Int("KeepAliveCmdFileEnabled", s.keepAliveCmdFileEnabled);
  v.Text("KeepAliveCmdFile", s.keepAliveCmdFile, AppSettings::kCommandMax, Quoting::kPlain);
  v.Text("KeepAliveCmdArgs", s.keepAliveCmdArgs, AppSettings::kCommandMax, Quoting::kQuoted);
  v.Text("CustomDevice", s.customDevice, AppSettings::kPathMax, Quoting::kPlain);
  v.Int("InputSource", s.inputSource);
  v.Text("AudioDevice", s.audioDevice, AppSettings::kCommandMax, Quoting::kPlain);
  v.Text("AudioFile", s.audioFile, AppSettings::kPathMax, Quoting::kPlain);
  v.Text("SdrDevice", s.sdrDevice, AppSettings::kCommandMax, Quoting::kPlain);
  v.Text("SdrFrequency", s.sdrFrequency, AppSettings::kPathMax, Quoting::kPlain);
  v.Text("SdrGain", s.sdrGain, AppSettings::kPathMax, Quoting::kPlain);
  v.Int("SdrPpm", s.sdrPpm);
  v.Int("DedupSeconds", s.dedupSeconds);
  v.Text("Charset", s.charset, AppSettings::kCharsetNameMax, Quoting::kPlain);
  v.Text("Station", s.station, AppSettings::kCommandMax, Quoting::kPlain);
}

// The network outputs' sections.
template <class S, class Visitor>
void VisitMqttSection(S& s, Visitor& v) {
  v.Int("Enabled", s.enabled);
  v.Text("Host", s.host, AppSettings::kCommandMax, Quoting::kPlain);
  v.Int("Port", s.port);
  v.Int("TLS", s.tls);
  v.Text("CAFile", s.caFile, AppSettings::kPathMax, Quoting::kPlain);
  v.Text("User", s.user, AppSettings::kCommandMax, Quoting::kPlain);
  v.Text("PasswordFile", s.passwordFile, AppSettings::kPathMax, Quoting::kPlain);
  v.Text("ClientId", s.clientId, AppSettings::kCommandMax, Quoting::kPlain);
  v.Text("Prefix", s.prefix, AppSettings::kCommandMax, Quoting::kPlain);
  v.Int("StatsSeconds", s.statsSeconds);
}

template <class S, class Visitor>
void VisitPagerMonSection(S& s, Visitor& v) {
  v.Int("Enabled", s.enabled);
  v.Text("URL", s.url, AppSettings::kPathMax, Quoting::kPlain);
  v.Text("KeyFile", s.keyFile, AppSettings::kPathMax, Quoting::kPlain);
}

// The page archive's section.
template <class S, class Visitor>
void VisitArchiveSection(S& s, Visitor& v) {
  v.Int("Enabled", s.archiveEnabled);
  v.Text("File", s.archiveFile, AppSettings::kPathMax, Quoting::kPlain);
}

// The Filter section's own keys; FilterCount and the filters follow them.
template <class S, class Visitor>
void VisitFilterSection(S& s, Visitor& v) {
  v.Int("FilterFileEnabled", s.filterFileEnabled);
  v.Text("FilterFile", s.filterFile, AppSettings::kPathMax, Quoting::kPlain);
  v.Int("FilterFileUseDate", s.filterFileUseDate);
  v.Int("FilterFileFlush", s.filterFileFlush);
  v.Int("FilterFlushTime", s.filterFlushTime);
  v.Int("FilterCmdFileEnabled", s.filterCmdFileEnabled);
  v.Text("FilterCmdFile", s.filterCmdFile, AppSettings::kCommandMax, Quoting::kPlain);
  v.Text("FilterCmdArgs", s.filterCmdArgs, AppSettings::kCommandMax, Quoting::kQuoted);
}

// Skips blanks, then reads an optionally signed decimal number held within the int range.
// False when no digit follows.
bool ScanInt(const char*& p, long& value) {
  char* end = nullptr;
  long v = std::strtol(p, &end, 10);
  if (end == p)
    return false;
  if (v > 0x7FFFFFFFL)
    v = 0x7FFFFFFFL;
  if (v < -0x7FFFFFFFL - 1)
    v = -0x7FFFFFFFL - 1;
  value = v;
  p = end;
  return true;
}

// "%d,%d,%d": red, green, blue. Only a complete triple is taken.
bool ParseColour(const std::string& text, Colour& colour) {
  const char* p = text.c_str();
  long rgb[3] = {};
  for (int i = 0; i < 3; ++i) {
    if (i > 0 && *p++ != ',')
      return false;
    if (!ScanInt(p, rgb[i]))
      return false;
  }
  colour = MakeColour(static_cast<int>(rgb[0] & 0xFF), static_cast<int>(rgb[1] & 0xFF),
                      static_cast<int>(rgb[2] & 0xFF));
  return true;
}

class Reader {
 public:
  Reader(const IniFile& ini, std::string_view section) : ini_(ini), section_(section) {}

  void Int(std::string_view key, int& value) { value = ini_.ReadInt(section_, key, value); }
  void Byte(std::string_view key, std::uint8_t& value) {
    value = static_cast<std::uint8_t>(ini_.ReadInt(section_, key, value));
  }
  // Read as an integer: "62.5" gives 62.
  void Percent(std::string_view key, double& value) {
    int current = (value > -1e9 && value < 1e9) ? static_cast<int>(value) : 0;
    value = ini_.ReadInt(section_, key, current);
  }
  void Text(std::string_view key, std::string& value, std::size_t max, Quoting) {
    value = ini_.ReadString(section_, key, value, max);
  }
  void Colour(std::string_view key, pagora::Colour& colour) {
    if (!ini_.HasKey(section_, key))
      return;
    ParseColour(ini_.ReadString(section_, key, "", kColourTextMax), colour);
  }
  // A port needs its address and IRQ: without either key no port is configured.
  void Port(AppSettings& s) {
    std::string port = ini_.ReadString(section_, "ComPort", "", kPortTextMax);
    if (port.empty()) {
      s.comPort = 0;
      return;
    }
    if (port == "Custom") {
      s.comPort = kPortCustom;
    } else {
      int number = 0;
      if (std::sscanf(port.c_str(), "COM%d", &number) == 1) {
        // Only COM1..COM4 name a serial port; any other number is no port at all.
        s.comPort = (number >= 1 && number <= 4) ? number : 0;
      }
    }
    std::optional<std::string> address = ini_.RawValue(section_, "ComPortAddr");
    if (!address) {
      s.comPort = 0;
    } else {
      std::string text = ini_.ReadString(section_, "ComPortAddr", "", kPortTextMax);
      if (text.size() > 2 && text[0] == '0' && text[1] == 'x') {
        char* end = nullptr;
        unsigned long v = std::strtoul(text.c_str() + 2, &end, 16);
        if (end != text.c_str() + 2 && text[2] != '-' && text[2] != '+') {
          s.comPortAddr = static_cast<int>(static_cast<std::uint32_t>(v));
        }
      }
    }
    if (!ini_.HasKey(section_, "ComPortIRQ")) {
      s.comPort = 0;
    } else {
      std::string text = ini_.ReadString(section_, "ComPortIRQ", "", kPortTextMax);
      const char* p = text.c_str();
      long irq = 0;
      if (ScanInt(p, irq))
        s.comPortIrq = static_cast<int>(irq);
    }
  }

 private:
  const IniFile& ini_;
  std::string_view section_;
};

class Writer {
 public:
  Writer(IniFile& ini, std::string_view section) : ini_(ini), section_(section) {}

  void Int(std::string_view key, int value) { ini_.WriteInt(section_, key, value); }
  void Byte(std::string_view key, std::uint8_t value) { ini_.WriteInt(section_, key, value); }
  void Percent(std::string_view key, double value) {
    ini_.WriteInt(section_, key, (value > -1e9 && value < 1e9) ? static_cast<int>(value) : 0);
  }
  // Plain text unless the reader would change it: such a value is quoted so that it comes
  // back as it was.
  void Text(std::string_view key, const std::string& value, std::size_t, Quoting quoting) {
    bool quote = quoting == Quoting::kQuoted || !ReadsBackUnquoted(value);
    ini_.WriteString(section_, key, quote ? "\"" + value + "\"" : value);
  }
  void Colour(std::string_view key, pagora::Colour colour) {
    char text[40];
    std::snprintf(text, sizeof text, "%d,%d,%d", ColourRed(colour), ColourGreen(colour),
                  ColourBlue(colour));
    ini_.WriteString(section_, key, text);
  }
  void Port(const AppSettings& s) {
    if (s.comPort == 0)
      return;
    char text[40];
    if (s.comPort == kPortCustom) {
      ini_.WriteString(section_, "ComPort", "Custom");
    } else {
      std::snprintf(text, sizeof text, "COM%d", s.comPort);
      ini_.WriteString(section_, "ComPort", text);
    }
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(s.comPortAddr));
    ini_.WriteString(section_, "ComPortAddr", text);
    std::snprintf(text, sizeof text, "%d", s.comPortIrq);
    ini_.WriteString(section_, "ComPortIRQ", text);
  }

 private:
  IniFile& ini_;
  std::string_view section_;
};

std::string FilterKey(std::size_t n) {
  return "Filter" + std::to_string(n);
}

std::string HomeDirectory() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
    return home;
  struct passwd pw {};
  struct passwd* result = nullptr;
  char buffer[4096];
  if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &result) == 0 && result != nullptr &&
      result->pw_dir != nullptr) {
    return result->pw_dir;
  }
  return {};
}

}  // namespace

std::string DefaultSettingsPath() {
  std::string base;
  // Only an absolute XDG_CONFIG_HOME counts; a relative one is ignored.
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (std::string home = HomeDirectory(); !home.empty()) {
    base = home + "/.config";
  }
  if (base.empty())
    return "Pagora.INI";
  return base + "/pagora/Pagora.INI";
}

bool LoadSettings(AppSettings& settings, const std::string& path) {
  std::optional<std::string> text = ReadWholeFile(path);
  if (!text)
    return false;
  IniFile ini = IniFile::Parse(*text);

  Reader main(ini, kMainSection);
  VisitMainSection(settings, main);
  Reader filter(ini, kFilterSection);
  VisitFilterSection(settings, filter);
  Reader mqtt(ini, kMqttSection);
  VisitMqttSection(settings.mqtt, mqtt);
  Reader pagerMon(ini, kPagerMonSection);
  VisitPagerMonSection(settings.pagerMon, pagerMon);
  Reader archive(ini, kArchiveSection);
  VisitArchiveSection(settings, archive);

  // The file's list replaces the one held; without a FilterCount key the list is kept. A
  // count larger than the section's keys cannot be honest and is cut to that number, so a
  // damaged count cannot make the list huge.
  if (ini.HasKey(kFilterSection, "FilterCount")) {
    int count = ini.ReadInt(kFilterSection, "FilterCount", 0);
    std::size_t wanted = count > 0 ? static_cast<std::size_t>(count) : 0;
    wanted = std::min(wanted, ini.KeyCount(kFilterSection));
    settings.filters.clear();
    for (std::size_t n = 1; n <= wanted; ++n) {
      settings.filters.push_back(
          ParseFilterRecord(ini.ReadString(kFilterSection, FilterKey(n), "", kFilterTextMax)));
    }
  }

  // A pane needs at least one row of scroll-back.
  const AppSettings defaults;
  if (settings.pane1Size <= 0)
    settings.pane1Size = defaults.pane1Size;
  if (settings.pane2Size <= 0)
    settings.pane2Size = defaults.pane2Size;
  return true;
}

bool SaveSettings(const AppSettings& settings, const std::string& path) {
  bool missing = false;
  std::optional<std::string> existing = ReadWholeFile(path, &missing);
  // A file that is there but cannot be read would lose its other sections: leave it alone.
  if (!existing && !missing)
    return false;
  IniFile ini = existing ? IniFile::Parse(*existing) : IniFile();

  ini.DeleteSection(kMainSection);
  Writer main(ini, kMainSection);
  VisitMainSection(settings, main);

  ini.DeleteSection(kFilterSection);
  Writer filter(ini, kFilterSection);
  VisitFilterSection(settings, filter);
  ini.WriteInt(kFilterSection, "FilterCount", static_cast<int>(settings.filters.size()));
  for (std::size_t n = 1; n <= settings.filters.size(); ++n) {
    ini.WriteString(kFilterSection, FilterKey(n), FormatFilterRecord(settings.filters[n - 1]));
  }
  ini.DeleteSection(kMqttSection);
  Writer mqtt(ini, kMqttSection);
  VisitMqttSection(settings.mqtt, mqtt);
  ini.DeleteSection(kPagerMonSection);
  Writer pagerMon(ini, kPagerMonSection);
  VisitPagerMonSection(settings.pagerMon, pagerMon);
  // The section is written once the archive has been set up, so files of users who never
  // did stay as they were.
  ini.DeleteSection(kArchiveSection);
  if (settings.archiveEnabled != 0 || !settings.archiveFile.empty()) {
    Writer archive(ini, kArchiveSection);
    VisitArchiveSection(settings, archive);
  }
  return WriteFileAtomically(path, ini.Text());
}

}  // namespace pagora
