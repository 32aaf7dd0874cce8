#include "config/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace pagora {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\f\v";

std::string_view Trim(std::string_view s) {
  std::size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos)
    return {};
  std::size_t last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = Lower(c);
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i]))
      return false;
  }
  return true;
}

// A line feed inside a value would start a new line of the file: written as a blank instead.
std::string OneLine(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c == '\n')
      c = ' ';
  }
  return out;
}

std::string Parent(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos)
    return ".";
  if (slash == 0)
    return "/";
  return path.substr(0, slash);
}

bool MakeDirectories(const std::string& dir) {
  struct stat st {};
  if (stat(dir.c_str(), &st) == 0)
    return S_ISDIR(st.st_mode);
  std::string parent = Parent(dir);
  if (parent != dir && !MakeDirectories(parent))
    return false;
  return mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  if (text.substr(0, 3) == "\xEF\xBB\xBF")
    text.remove_prefix(3);
  ini.sections_.push_back(Section{});  // lines before the first header
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view raw = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!raw.empty() && raw.back() == '\r')
      raw.remove_suffix(1);

    std::string_view trimmed = Trim(raw);
    if (!trimmed.empty() && trimmed.front() == '[') {
      std::string_view name = trimmed.substr(1);
      name = Trim(name.substr(0, name.find(']')));
      ini.sections_.push_back(Section{std::string(name), true, {}, {}});
      continue;
    }
    Line line{std::string(raw), {}, {}};
    std::size_t equals = trimmed.find('=');
    if (equals != std::string_view::npos && trimmed.front() != ';') {
      line.key = std::string(Trim(trimmed.substr(0, equals)));
      line.value = std::string(Trim(trimmed.substr(equals + 1)));
    }
    Section& section = ini.sections_.back();
    if (!line.key.empty())
      section.keys.try_emplace(Lowered(line.key), section.lines.size());
    section.lines.push_back(std::move(line));
  }
  return ini;
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  for (const Section& section : sections_) {
    if (section.hasHeader && SameName(section.name, name))
      return &section;
  }
  return nullptr;
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
  return const_cast<Section*>(static_cast<const IniFile*>(this)->FindSection(name));
}

std::optional<std::string> IniFile::RawValue(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  if (s == nullptr)
    return std::nullopt;
  auto found = s->keys.find(Lowered(key));
  if (found == s->keys.end())
    return std::nullopt;
  return s->lines[found->second].value;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback, std::size_t maxLength) const {
  std::optional<std::string> raw = RawValue(section, key);
  std::string value = raw ? std::move(*raw) : std::string(fallback);
  if (raw && value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  if (value.size() > maxLength)
    value.resize(maxLength);
  return value;
}

int IniFile::ReadInt(std::string_view section, std::string_view key, int fallback) const {
  std::optional<std::string> raw = RawValue(section, key);
  if (!raw)
    return fallback;
  std::string_view v = *raw;
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
    v = Trim(v.substr(1, v.size() - 2));
  bool negative = false;
  if (!v.empty() && (v.front() == '-' || v.front() == '+')) {
    negative = v.front() == '-';
    v.remove_prefix(1);
  }
  long long magnitude = 0;
  for (char c : v) {
    if (c < '0' || c > '9')
      break;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1)
      break;  // held at the range's end
  }
  long long result = negative ? -magnitude : magnitude;
  if (result > INT_MAX)
    return INT_MAX;
  if (result < INT_MIN)
    return INT_MIN;
  return static_cast<int>(result);
}

std::size_t IniFile::KeyCount(std::string_view section) const {
  std::size_t count = 0;
  for (const Section& s : sections_) {
    if (!s.hasHeader || !SameName(s.name, section))
      continue;
    for (const Line& line : s.lines)
      count += line.key.empty() ? 0 : 1;
  }
  return count;
}

void IniFile::DeleteSection(std::string_view section) {
  std::erase_if(sections_,
                [&](const Section& s) { return s.hasHeader && SameName(s.name, section); });
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section* s = FindSection(section);
  if (s == nullptr) {
    // A blank line between the last section and the new one.
    for (auto it = sections_.rbegin(); it != sections_.rend(); ++it) {
      if (it->lines.empty() && !it->hasHeader)
        continue;
      if (it->lines.empty() || !Trim(it->lines.back().raw).empty()) {
        it->lines.push_back(Line{});
      }
      break;
    }
    sections_.push_back(Section{std::string(section), true, {}, {}});
    s = &sections_.back();
  }
  std::string k = OneLine(Trim(key));
  std::string v = OneLine(value);
  auto found = s->keys.find(Lowered(k));
  if (found != s->keys.end()) {
    Line& line = s->lines[found->second];
    line.raw = line.key + "=" + v;
    line.value = std::string(Trim(v));
    return;
  }
  // After the last key, before any blank lines that separate this section from the next
  // (only blank lines move, so the other keys' indexes stay right).
  auto at = s->lines.end();
  while (at != s->lines.begin() && Trim((at - 1)->raw).empty())
    --at;
  std::size_t index = static_cast<std::size_t>(at - s->lines.begin());
  s->lines.insert(at, Line{k + "=" + v, k, std::string(Trim(v))});
  s->keys.emplace(Lowered(k), index);
}

void IniFile::WriteInt(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

std::string IniFile::Text() const {
  std::string text;
  for (const Section& s : sections_) {
    if (s.hasHeader)
      text += "[" + s.name + "]\n";
    for (const Line& line : s.lines)
      text += line.raw + "\n";
  }
  return text;
}

bool ReadsBackUnquoted(std::string_view value) {
  if (value != Trim(value))
    return false;
  return !(value.size() >= 2 && value.front() == '"' && value.back() == '"');
}

std::optional<std::string> ReadWholeFile(const std::string& path, bool* missing) {
  if (missing != nullptr)
    *missing = false;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (missing != nullptr)
      *missing = errno == ENOENT;
    return std::nullopt;
  }
  std::string contents;
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      close(fd);
      return std::nullopt;  // a directory ends here (EISDIR)
    }
    if (n == 0)
      break;
    contents.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return contents;
}

bool WriteFileAtomically(const std::string& path, std::string_view contents) {
  if (path.empty())
    return false;
  // Replace what a symbolic link points to, not the link.
  std::string target = path;
  struct stat st {};
  if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* resolved = realpath(path.c_str(), nullptr)) {
      target = resolved;
      std::free(resolved);
    }
  }
  std::string dir = Parent(target);
  if (!MakeDirectories(dir))
    return false;

  mode_t mode = 0644;
  if (stat(target.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode))
      return false;
    mode = st.st_mode & 07777;
  }

  std::string temporary = target + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0)
    return false;
  bool ok = fchmod(fd, mode) == 0 && WriteAll(fd, contents) && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    unlink(temporary.c_str());
    return false;
  }
  // Make the rename itself durable.
  int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    fsync(dirFd);
    close(dirFd);
  }
  return true;
}

}  // namespace pagora
