// The one settings record: every option, file path, colour, the display font, the filter list
// and the keep-alive windows. Defaults live in InitialiseDefaults() and nowhere else; the INI
// reader overlays them and the writer writes them back (settings_file.h).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace pagora {

// A colour value as the settings file stores it: red in the low byte, then green, then blue.
using Colour = std::uint32_t;

constexpr Colour MakeColour(int red, int green, int blue) {
  return static_cast<Colour>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int ColourRed(Colour c) {
  return static_cast<int>(c & 0xFF);
}
constexpr int ColourGreen(Colour c) {
  return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int ColourBlue(Colour c) {
  return static_cast<int>((c >> 16) & 0xFF);
}

// Colour slots, in the order of the colour classes (slot = class - 1). The Diagnostic slot is
// not stored in the settings file and not offered by the colours dialog.
enum ColourSlot : int {
  kSlotBackground = 0,
  kSlotCapcode,
  kSlotFlexPhase,
  kSlotFlexFormat,
  kSlotTimestamp,
  kSlotNumeric,
  kSlotAlphanumeric,
  kSlotFlexBinary,
  kSlotDiagnostic,
  kSlotBitErrors,
  kSlotFilterMatch,
  kSlotFilterLabel,
  kColourSlotCount
};

// The fixed 16-entry palette the colour defaults are taken from.
extern const std::array<Colour, 16> kDefaultPalette;

// Display font, stored one key each (Font.Height .. Font.FaceName).
struct FontDescription {
  int height = -11;
  int width = 0;
  int escapement = 0;
  int orientation = 0;
  int weight = 400;
  std::uint8_t italic = 0;
  std::uint8_t charSet = 255;
  std::uint8_t outPrecision = 3;
  std::uint8_t clipPrecision = 0;
  std::uint8_t quality = 0;
  std::uint8_t pitchAndFamily = 49;      // 0x31: fixed pitch, modern family
  std::string faceName = "Courier New";  // at most kFaceNameMax characters

  bool operator==(const FontDescription&) const = default;
};

// Filter kinds.
// Where the slicer levels come from (INI InputSource). The stored numbers are the file's.
enum InputSource : int {
  kInputSerial = 0,
  kInputSoundCard = 1,
  kInputAudioFile = 2,
  kInputSdr = 3,
};

enum FilterType : int {
  kFilterUnused = 0,
  kFilterText = 1,
  kFilterPocsag = 2,
  kFilterFlexShort = 3,
  kFilterFlexLong = 4,
  kFilterGolay = 5,
};

// One filter. Field widths are limits: the text-form reader and the editor never store more.
struct FilterRecord {
  static constexpr std::size_t kCapcodeMax = 9;
  static constexpr std::size_t kLabelMax = 20;
  static constexpr std::size_t kTextMax = 40;

  int type = kFilterUnused;  // FilterType
  std::string capcode;       // digits and '?', as long as the kind's capcode; empty for Text
  int function = 0;          // 0 any, 1..4 (POCSAG and GSC only)
  std::string label;         // up to 20 characters
  std::string text;          // up to 40 characters; required for Text filters
  int command = 0;           // 1: a match starts the filter command
  int baud = 0;              // 0 any, 1 = 2400, 2 = 1200, 3 = 512 bit/s (POCSAG only)
  int reject = 0;            // 1: matching pages are suppressed (capcode filters only)

  bool operator==(const FilterRecord&) const = default;
};

// One keep-alive supervision window: hours start..stop with a timeout in minutes.
struct KeepAliveWindow {
  int start = 0;
  int stop = 0;
  int timeout = 0;

  bool operator==(const KeepAliveWindow&) const = default;
};

// The MQTT output (INI section [MQTT]). The password itself is never stored here: it is read
// from PasswordFile, or from the environment variable PAGORA_MQTT_PASSWORD.
struct MqttSettings {
  int enabled = 0;
  std::string host;  // broker host name or address; empty = not configured
  int port = 0;      // 0: 1883, or 8883 with TLS
  int tls = 0;
  std::string caFile;  // CA certificates for TLS; empty = the system's
  std::string user;
  std::string passwordFile;
  std::string clientId;           // empty: "pagora-<station>"
  std::string prefix = "pagora";  // topics are <prefix>/<station>/pages, /status, /stats
  int statsSeconds = 60;          // period of the retained statistics object, 5..86400

  bool operator==(const MqttSettings&) const = default;
};

// The PagerMon output (INI section [PagerMon]): the server's base URL and the file holding its
// API key (the key is not stored in the settings file).
struct PagerMonSettings {
  int enabled = 0;
  std::string url;  // e.g. http://pagermon.local:3000
  std::string keyFile;

  bool operator==(const PagerMonSettings&) const = default;
};

struct AppSettings {
  static constexpr std::size_t kPathMax = 259;     // LogFile, FilterFile, StatFile, StatCSVFile
  static constexpr std::size_t kCommandMax = 255;  // command files and argument templates
  static constexpr std::size_t kFaceNameMax = 31;

  int xPos = 0;
  int yPos = 0;
  int xSize = 592;
  int ySize = 350;
  int timestamp = 1;
  int confirmExit = 1;
  int showNumeric = 1;
  int showMisc = 1;
  int filterBeep = 0;
  int decodePocsag = 1;
  int decodeFlex = 1;
  int decodeGolay = 1;
  int comPort = 0;  // 0 none, 1..4 COM1..COM4 (/dev/ttyS0..3), 5 custom
  int comPortAddr = 0;
  int comPortIrq = 0;
  int fourLevelInterface = 0;  // INI key 4LevelInterface
  int invertData = 0;
  double percent = 75.0;  // share of the client height given to the message pane
  FontDescription font;
  int logFileEnabled = 0;
  std::string logFile;
  int logFileUseDate = 0;
  int logFileFlush = 0;
  int logFlushTime = 0;
  int filterFileEnabled = 0;
  std::string filterFile;
  int filterFileUseDate = 0;
  int filterFileFlush = 0;
  int filterFlushTime = 0;
  int filterCmdFileEnabled = 0;
  std::string filterCmdFile;
  std::string filterCmdArgs;
  std::vector<FilterRecord> filters;
  std::array<Colour, kColourSlotCount> colours{};
  int pane1Size = 1000;
  int pane2Size = 200;
  int statFileEnabled = 0;
  std::string statFile;
  int statFileUseDate = 0;
  int statCsvFileEnabled = 0;
  std::string statCsvFile;
  int statCsvFileUseDate = 0;
  std::array<KeepAliveWindow, 3> keepAlive{};
  int keepAliveCmdFileEnabled = 0;
  std::string keepAliveCmdFile;
  std::string keepAliveCmdArgs;

  // Linux additions: where the slicer levels come from besides a serial slicer.
  std::string customDevice;  // device path for ComPort 5, e.g. /dev/ttyUSB0 (INI CustomDevice)
  int inputSource = kInputSerial;  // an InputSource value (INI InputSource)
  std::string audioDevice;  // sound card name for PortAudio, empty = default (INI AudioDevice)
  std::string audioFile;    // audio file decoded by the file source (INI AudioFile)
  // kInputSdr: one channel from an SDR receiver through SoapySDR.
  std::string sdrDevice;         // device string, empty = the first found (INI SdrDevice)
  std::string sdrFrequency;      // the channel, "929.6125M" (INI SdrFrequency)
  std::string sdrGain = "auto";  // dB or auto (INI SdrGain)
  int sdrPpm = 0;                // frequency correction (INI SdrPpm)
  // A page equal in protocol, capcode, function and text to one completed this many seconds
  // ago or less is a repeat: shown and logged, but no filter file, sound or command (INI
  // DedupSeconds; 0 = off, at most one day).
  int dedupSeconds = 0;
  // The character set of alphanumeric page text, by name: "ascii" (the default, text as
  // received) or an ISO 646 national variant such as "german" (INI Charset; the names are those
  // of CharsetByName in output/charset.h, an unknown name reads as ASCII).
  std::string charset = "ascii";
  static constexpr std::size_t kCharsetNameMax = 32;
  // The receiving station's name, stamped on every page the network outputs and the archive
  // carry (INI Station; empty: the network outputs use the host name).
  std::string station;
  MqttSettings mqtt;
  PagerMonSettings pagerMon;

  // The page archive (INI section [Archive]): Enabled, and File (empty = the default file
  // under $XDG_DATA_HOME/pagora/).
  int archiveEnabled = 0;
  std::string archiveFile;

  AppSettings();
  bool operator==(const AppSettings&) const = default;
};

// Every field to its default.
void InitialiseDefaults(AppSettings& settings);
// The eleven stored colour slots (and the Diagnostic slot) back to their defaults.
void ResetColoursToDefaults(AppSettings& settings);

}  // namespace pagora
