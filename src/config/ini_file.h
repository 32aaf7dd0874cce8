// An INI file with the reading and writing rules of a private profile: sections in brackets,
// "key=value" lines, section and key names compared without regard to case, values trimmed of
// surrounding blanks. The first occurrence of a section or key is the one read. Lines of
// sections that are not touched (comments included) are kept as they were.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pagora {

class IniFile {
 public:
  IniFile() = default;
  // Builds the file from its text (a leading UTF-8 byte order mark is skipped).
  static IniFile Parse(std::string_view text);

  // The trimmed value of a key exactly as written, or nothing when the key is absent.
  std::optional<std::string> RawValue(std::string_view section, std::string_view key) const;
  bool HasKey(std::string_view section, std::string_view key) const {
    return RawValue(section, key).has_value();
  }
  // The value with one surrounding pair of double quotes removed, cut to maxLength
  // characters; `fallback` when the key is absent.
  std::string ReadString(std::string_view section, std::string_view key, std::string_view fallback,
                         std::size_t maxLength) const;
  // The leading signed decimal digits of the value ("62.5" gives 62, "abc" gives 0, values
  // beyond the 32-bit range are held at its ends); `fallback` when the key is absent.
  int ReadInt(std::string_view section, std::string_view key, int fallback) const;
  // Number of keys in a section (all of its occurrences).
  std::size_t KeyCount(std::string_view section) const;

  // Removes every occurrence of a section with all of its lines.
  void DeleteSection(std::string_view section);
  // Sets a key, adding the section at the end of the file and the key at the end of the
  // section when they are missing. Line breaks in the value are written as blanks so that a
  // value can never start a line of its own.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInt(std::string_view section, std::string_view key, int value);

  // The file's text, one "\n" after every line.
  std::string Text() const;

 private:
  struct Line {
    std::string raw;    // the line as read or written, without its line end
    std::string key;    // empty for lines that are not "key=value"
    std::string value;  // trimmed
  };
  struct Section {
    std::string name;  // empty for the lines before the first section header
    bool hasHeader = false;
    std::vector<Line> lines;
    // Lower-case key -> index of its first line, so that a section of many keys (a long
    // filter list) is read and written in linear time.
    std::unordered_map<std::string, std::size_t> keys;
  };

  const Section* FindSection(std::string_view name) const;
  Section* FindSection(std::string_view name);

  std::vector<Section> sections_;
};

// True when a string value written as it is reads back unchanged: it neither starts nor ends
// with a blank and is not itself wrapped in double quotes. Other values need a pair of quotes.
bool ReadsBackUnquoted(std::string_view value);

// Reads a whole file. Nothing when it cannot be opened or read (missing, a directory, no
// permission); `missing` is set when it simply does not exist.
std::optional<std::string> ReadWholeFile(const std::string& path, bool* missing = nullptr);
// Replaces a file's contents atomically: a temporary file in the same directory is written,
// flushed to disk and renamed over the old one, so a crash or a full disk leaves either the
// old file or the new one, never a part of either. Creates missing parent directories.
// False (with the old file untouched) when anything fails.
bool WriteFileAtomically(const std::string& path, std::string_view contents);

}  // namespace pagora
