#include "config/filter_text.h"

#include <cstddef>

namespace pagora {
namespace {

// Largest valid value of each one-character field.
constexpr int kTypeMax = kFilterGolay;
constexpr int kFunctionMax = 4;
constexpr int kFlagMax = 1;
constexpr int kBaudMax = 3;

char DigitOf(int value, int max) {
  return static_cast<char>('0' + ((value >= 0 && value <= max) ? value : 0));
}

int ValueOf(char c, int max) {
  return (c >= '0' && c <= '0' + max) ? c - '0' : 0;
}

// A quote or a backslash inside a field is written after a backslash, so that the field's
// closing quote is always the first unescaped one.
void AppendQuoted(std::string& out, const std::string& field, std::size_t limit) {
  out += '"';
  for (std::size_t i = 0; i < field.size() && i < limit; ++i) {
    if (field[i] == '"' || field[i] == '\\')
      out += '\\';
    out += field[i];
  }
  out += '"';
}

class FieldReader {
 public:
  explicit FieldReader(std::string_view text) : text_(text) {}

  // Moves past the next comma (and any blanks after it); false when there is none, and then
  // the field and all that follow it read as 0 or empty.
  bool NextField() {
    if (ended_)
      return false;
    std::size_t comma = text_.find(',', pos_);
    if (comma == std::string_view::npos) {
      ended_ = true;
      return false;
    }
    pos_ = comma + 1;
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t'))
      ++pos_;
    return true;
  }

  // A one-character field.
  int Digit(int max) {
    if (!NextField() || pos_ >= text_.size())
      return 0;
    return ValueOf(text_[pos_], max);
  }

  // A text field, normally in double quotes with \" and \\ standing for a quote and a
  // backslash. A field without an opening quote runs to the next comma; one without a closing
  // quote runs to the end of the value. Never more than `limit` characters are kept.
  std::string Text(std::size_t limit) {
    std::string out;
    if (!NextField())
      return out;
    auto keep = [&](char c) {
      if (out.size() < limit)
        out += c;
    };
    if (pos_ < text_.size() && text_[pos_] == '"') {
      ++pos_;
      while (pos_ < text_.size()) {
        char c = text_[pos_];
        if (c == '\\' && pos_ + 1 < text_.size() &&
            (text_[pos_ + 1] == '"' || text_[pos_ + 1] == '\\')) {
          keep(text_[pos_ + 1]);
          pos_ += 2;
        } else if (c == '"') {
          ++pos_;
          return out;
        } else {
          keep(c);
          ++pos_;
        }
      }
      ended_ = true;  // unterminated: nothing follows
      return out;
    }
    while (pos_ < text_.size() && text_[pos_] != ',')
      keep(text_[pos_++]);
    while (!out.empty() && (out.back() == ' ' || out.back() == '\t'))
      out.pop_back();
    return out;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  bool ended_ = false;
};

}  // namespace

std::string FormatFilterRecord(const FilterRecord& filter) {
  std::string out;
  out += DigitOf(filter.type, kTypeMax);
  out += ',';
  AppendQuoted(out, filter.capcode, FilterRecord::kCapcodeMax);
  out += ',';
  out += DigitOf(filter.function, kFunctionMax);
  out += ',';
  AppendQuoted(out, filter.label, FilterRecord::kLabelMax);
  out += ',';
  AppendQuoted(out, filter.text, FilterRecord::kTextMax);
  out += ',';
  out += DigitOf(filter.command, kFlagMax);
  out += ',';
  out += DigitOf(filter.baud, kBaudMax);
  out += ',';
  out += DigitOf(filter.reject, kFlagMax);
  return out;
}

FilterRecord ParseFilterRecord(std::string_view text) {
  FilterRecord filter;
  // Only "1".."5" name a kind; anything else is an unused filter that no page matches.
  filter.type = (!text.empty() && text[0] >= '1' && text[0] <= '0' + kTypeMax) ? text[0] - '0'
                                                                               : kFilterUnused;
  FieldReader reader(text);
  filter.capcode = reader.Text(FilterRecord::kCapcodeMax);
  filter.function = reader.Digit(kFunctionMax);
  filter.label = reader.Text(FilterRecord::kLabelMax);
  filter.text = reader.Text(FilterRecord::kTextMax);
  filter.command = reader.Digit(kFlagMax);
  filter.baud = reader.Digit(kBaudMax);
  filter.reject = reader.Digit(kFlagMax);
  return filter;
}

}  // namespace pagora
