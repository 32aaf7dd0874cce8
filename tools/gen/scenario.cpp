#include "scenario.h"

#include <array>
#include <cstdio>

#include "flex_encoder.h"
#include "gsc/gsc_tables.h"
#include "gsc_encoder.h"
#include "pocsag_encoder.h"

namespace pagora::gen {
namespace {

using nlohmann::json;

std::string Where(std::size_t transmission, std::size_t page) {
  return "transmission " + std::to_string(transmission + 1) + ", page " + std::to_string(page + 1) +
         ": ";
}

// The transmitter's fill after a text (NUL, ETX, EOT, ETB) or after digits (spaces), which
// the decoder's page record leaves out.
std::string WithoutFill(std::string text, bool digits) {
  auto fill = [digits](char c) {
    return digits ? c == ' ' : (c == '\0' || c == '\x03' || c == '\x04' || c == '\x17');
  };
  while (!text.empty() && fill(text.back()))
    text.pop_back();
  return text;
}

std::string Digits(unsigned value, int width) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", width, value);
  return text;
}

std::string StringField(const json& page, const char* name, const std::string& fallback = "") {
  if (!page.contains(name))
    return fallback;
  if (!page[name].is_string())
    throw ScenarioError(std::string(name) + " must be a string");
  return page[name].get<std::string>();
}

long IntField(const json& page, const char* name, long fallback) {
  if (!page.contains(name))
    return fallback;
  if (!page[name].is_number_integer())
    throw ScenarioError(std::string(name) + " must be a number");
  return page[name].get<long>();
}

// --- POCSAG -------------------------------------------------------------------------------

// How a receiver shows a short page: the content read both as characters and as digits and
// scored, the higher score winning (ties go to digits); seven or more codewords are text.
void PocsagShown(const std::vector<std::uint32_t>& codewords, bool tone, ExpectedPage& page) {
  static constexpr char kDigits[] = "0123456789*U -)(";
  std::string characters, digits;
  int alphaScore = 0, digitScore = 0;
  unsigned reg = 0;
  int alphaBits = 0, digitBits = 0;
  for (std::uint32_t cw : codewords) {
    for (int i = 30; i >= 11; --i) {
      reg = (reg >> 1) | (((cw >> i) & 1) ? 0x40u : 0u);
      if (++alphaBits == 7) {
        characters += static_cast<char>(reg & 0x7F);
        alphaScore += reg > 31 ? 1 : (reg != 10 && reg != 23 ? -1 : 0);
        alphaBits = 0;
      }
      if (++digitBits == 4) {
        char d = kDigits[(reg >> 3) & 0xF];
        digits += d;
        digitScore += (d == 'U' || d == '(' || d == ')') ? -19 : 1;
        digitBits = 0;
      }
    }
  }
  if (codewords.size() >= 7 || 7 * alphaScore > 4 * digitScore) {
    page.type = "alpha";
    page.text = WithoutFill(characters, false);
  } else if (tone) {
    page.type = "tone";
  } else {
    page.type = "numeric";
    page.text = WithoutFill(digits, true);
  }
}

ScenarioItem PocsagItem(const json& t, std::size_t index) {
  int rate = static_cast<int>(IntField(t, "rate", 1200));
  if (rate != 512 && rate != 1200 && rate != 2400) {
    throw ScenarioError("transmission " + std::to_string(index + 1) +
                        ": POCSAG rate must be 512, 1200 or 2400");
  }
  std::vector<PocsagPage> pages;
  ScenarioItem item;
  const json& list = t.value("pages", json::array());
  for (std::size_t i = 0; i < list.size(); ++i) {
    try {
      const json& p = list[i];
      PocsagPage page;
      long capcode = IntField(p, "capcode", -1);
      if (capcode < 0 || capcode > static_cast<long>(kPocsagMaxCapcode)) {
        throw ScenarioError("capcode must be 0..2097151");
      }
      page.capcode = static_cast<std::uint32_t>(capcode);
      std::string type = StringField(p, "type", "alpha");
      page.text = StringField(p, "text");
      if (type == "alpha") {
        page.type = PocsagPageType::kAlphanumeric;
      } else if (type == "numeric") {
        page.type = PocsagPageType::kNumeric;
      } else if (type == "tone") {
        page.type = PocsagPageType::kToneOnly;
        page.text.clear();
      } else {
        throw ScenarioError("POCSAG type must be alpha, numeric or tone");
      }
      long function = IntField(p, "function", type == "alpha" ? 4 : 1);
      if (function < 1 || function > 4)
        throw ScenarioError("function must be 1..4");
      page.function = static_cast<int>(function - 1);

      std::vector<std::uint32_t> words;
      if (page.type == PocsagPageType::kAlphanumeric)
        words = PocsagAlphaCodewords(page.text);
      if (page.type == PocsagPageType::kNumeric)
        words = PocsagNumericCodewords(page.text);
      ExpectedPage shown;
      shown.protocol = "POCSAG";
      shown.rate = rate;
      shown.capcode = Digits(page.capcode, 7);
      shown.function = static_cast<int>(function);
      PocsagShown(words, page.type == PocsagPageType::kToneOnly, shown);
      item.pages.push_back(shown);
      pages.push_back(page);
    } catch (const std::exception& e) {
      throw ScenarioError(Where(index, i) + e.what());
    }
  }
  PocsagEncodeOptions options;
  options.preambleBits = static_cast<int>(IntField(t, "preamble", kPocsagMinPreambleBits));
  item.symbols = PocsagSymbols(EncodePocsag(pages, options).bits, rate);
  return item;
}

// --- FLEX ---------------------------------------------------------------------------------

// The speed of the statistics row a receiver counts the frame in. 3200/2 has no row of its own
// in the mode table: a receiver takes it by its complement rule and counts it as FLEX 1600.
int FlexShownRate(FlexMode mode) {
  switch (mode) {
    case FlexMode::k1600x4:
    case FlexMode::k3200x2:
      return 3200;
    case FlexMode::k3200x4:
      return 6400;
    default:
      return 1600;
  }
}

ScenarioItem FlexItem(const json& t, std::size_t index, int& frameCounter) {
  std::string modeName = StringField(t, "mode", "1600/2");
  FlexMode mode;
  if (modeName == "1600/2") {
    mode = FlexMode::k1600x2;
  } else if (modeName == "1600/4") {
    mode = FlexMode::k1600x4;
  } else if (modeName == "3200/2") {
    mode = FlexMode::k3200x2;
  } else if (modeName == "3200/4") {
    mode = FlexMode::k3200x4;
  } else {
    throw ScenarioError("transmission " + std::to_string(index + 1) +
                        ": FLEX mode must be 1600/2, 1600/4, 3200/2 or 3200/4");
  }
  std::array<std::vector<FlexPage>, 4> phases;
  ScenarioItem item;
  const json& list = t.value("pages", json::array());
  for (std::size_t i = 0; i < list.size(); ++i) {
    try {
      const json& p = list[i];
      FlexPage page;
      long capcode = IntField(p, "capcode", -1);
      std::uint32_t words[2];
      if (capcode < 1 || capcode > 2147483647L ||
          FlexAddressWords(static_cast<std::uint32_t>(capcode), words) == 0) {
        throw ScenarioError("capcode has no FLEX address");
      }
      page.capcode = static_cast<std::uint32_t>(capcode);
      bool isLong = FlexAddressWords(page.capcode, words) == 2;
      std::string type = StringField(p, "type", "alpha");
      std::string text = StringField(p, "text");
      ExpectedPage shown;
      shown.protocol = "FLEX";
      shown.rate = FlexShownRate(mode);
      shown.capcode = Digits(page.capcode, isLong ? 9 : 7);
      shown.type = type;
      if (type == "alpha") {
        page.type = FlexPageType::kAlphanumeric;
        page.content = text;
        for (char c : text)
          shown.text += static_cast<char>(c & 0x7F);
        shown.text = WithoutFill(shown.text, false);
      } else if (type == "numeric") {
        page.type = FlexPageType::kStandardNumeric;
        page.content = text;
        // Digits fill whole words after two header bits; the padding is spaces, not text.
        shown.text = WithoutFill(text, true);
      } else if (type == "tone") {
        page.type = FlexPageType::kShortMessage;
        page.toneOnly = true;
      } else {
        throw ScenarioError("FLEX type must be alpha, numeric or tone");
      }
      int phase = static_cast<int>(IntField(p, "phase", 0));
      if (phase < 0 || phase > 3 || !FlexPhaseInUse(mode, phase)) {
        throw ScenarioError("the mode does not carry that phase");
      }
      phases[static_cast<std::size_t>(phase)].push_back(page);
      item.pages.push_back(shown);
    } catch (const std::exception& e) {
      throw ScenarioError(Where(index, i) + e.what());
    }
  }
  FlexFrame frame;
  if (!MakeFlexFrame(mode, phases, frame)) {
    throw ScenarioError("transmission " + std::to_string(index + 1) +
                        ": the pages do not fit one FLEX frame (or a text cannot be sent)");
  }
  frame.cycle = static_cast<int>(IntField(t, "cycle", (frameCounter / 128) % 15));
  frame.frame = static_cast<int>(IntField(t, "frame", frameCounter % 128));
  ++frameCounter;
  if (!AppendFlexFrame(item.symbols, frame)) {
    throw ScenarioError("transmission " + std::to_string(index + 1) + ": FLEX frame failed");
  }
  return item;
}

// --- GSC ----------------------------------------------------------------------------------

ScenarioItem GscItem(const json& t, std::size_t index) {
  GscTransmission transmission;
  ScenarioItem item;
  const json& list = t.value("pages", json::array());
  std::vector<std::string> types;
  for (std::size_t i = 0; i < list.size(); ++i) {
    try {
      const json& p = list[i];
      GscPage page;
      long capcode = IntField(p, "capcode", -1);
      if (capcode < 0 || capcode > 999999)
        throw ScenarioError("capcode must be 0..999999");
      page.capcode = static_cast<std::int32_t>(capcode);
      long function = IntField(p, "function", 1);
      if (function < 1 || function > 4)
        throw ScenarioError("function must be 1..4");
      page.function = static_cast<int>(function);
      std::string type = StringField(p, "type", "alpha");
      page.text = StringField(p, "text");
      if (type == "tone") {
        page.type = GscMessageType::kTone;
        page.text.clear();
      } else if (type == "numeric") {
        page.type = GscMessageType::kNumeric;
      } else if (type == "alpha") {
        page.type = GscMessageType::kAlpha;
      } else {
        throw ScenarioError("GSC type must be alpha, numeric or tone");
      }
      transmission.pages.push_back(page);
    } catch (const std::exception& e) {
      throw ScenarioError(Where(index, i) + e.what());
    }
  }
  GscSignal signal;
  try {
    signal = EncodeGsc(transmission);
  } catch (const std::exception& e) {
    throw ScenarioError("transmission " + std::to_string(index + 1) + ": " + e.what());
  }
  // What a receiver shows: every data block read as 12 digits (the first two blocks) and as 8
  // characters (up to ten blocks); a page of more than 24 characters is text, a shorter one
  // shows both readings.
  for (std::size_t i = 0; i < transmission.pages.size(); ++i) {
    std::string digits, characters;
    int blocks = 0;
    bool ended = false;
    for (const GscBlockSpan& block : signal.blocks) {
      if (block.kind != GscBlockKind::kData || block.page != static_cast<int>(i))
        continue;
      ++blocks;
      auto bit = [&](int n) {
        return signal.samples[static_cast<std::size_t>(GscDataSample(block, n))] & 1;
      };
      if (digits.size() <= 12) {
        for (int d = 0; d < 12; ++d) {
          int v = bit(4 * d) | bit(4 * d + 1) << 1 | bit(4 * d + 2) << 2 | bit(4 * d + 3) << 3;
          digits += kGscNumericTable[v];
        }
      }
      if (characters.size() <= 72 && !ended) {
        for (int c = 0; c < 8; ++c) {
          int v = 0;
          for (int b = 0; b < 6; ++b)
            v |= bit(6 * c + b) << b;
          if (v == 63) {
            ended = true;
            break;
          }
          characters += kGscAlphaTable[v];
        }
      }
    }
    ExpectedPage shown;
    shown.protocol = "GSC";
    shown.rate = 600;
    shown.capcode = Digits(static_cast<unsigned>(transmission.pages[i].capcode), 6);
    shown.function = transmission.pages[i].function;
    if (characters.size() > 24) {
      shown.type = "alpha";
      shown.text = characters;
    } else {
      shown.type = blocks == 0 ? "tone" : "numeric";
      shown.text = digits + " " + characters;
    }
    item.pages.push_back(shown);
  }
  item.symbols = GscSymbols(signal.samples);
  return item;
}

}  // namespace

Scenario ParseScenario(const json& document, double defaultGap) {
  const json* list = &document;
  if (document.is_object()) {
    if (!document.contains("transmissions"))
      throw ScenarioError("no \"transmissions\" list");
    list = &document["transmissions"];
  }
  if (!list->is_array())
    throw ScenarioError("the transmissions must be a list");

  Scenario scenario;
  int frameCounter = 0;
  bool previousWasSignal = false;
  for (std::size_t i = 0; i < list->size(); ++i) {
    const json& t = (*list)[i];
    if (!t.is_object()) {
      throw ScenarioError("transmission " + std::to_string(i + 1) + " is not an object");
    }
    if (t.contains("gap")) {
      if (!t["gap"].is_number() || t["gap"].get<double>() < 0) {
        throw ScenarioError("transmission " + std::to_string(i + 1) + ": gap must be seconds");
      }
      ScenarioItem gap;
      gap.gapSeconds = t["gap"].get<double>();
      scenario.items.push_back(gap);
      previousWasSignal = false;
      continue;
    }
    std::string protocol;
    try {
      protocol = StringField(t, "protocol");
    } catch (const std::exception& e) {
      throw ScenarioError("transmission " + std::to_string(i + 1) + ": " + e.what());
    }
    if (previousWasSignal) {
      ScenarioItem gap;
      gap.gapSeconds = defaultGap;
      scenario.items.push_back(gap);
    }
    if (protocol == "POCSAG") {
      scenario.items.push_back(PocsagItem(t, i));
    } else if (protocol == "FLEX") {
      scenario.items.push_back(FlexItem(t, i, frameCounter));
    } else if (protocol == "GSC") {
      scenario.items.push_back(GscItem(t, i));
    } else {
      throw ScenarioError("transmission " + std::to_string(i + 1) +
                          ": protocol must be POCSAG, FLEX or GSC");
    }
    previousWasSignal = true;
  }
  return scenario;
}

nlohmann::ordered_json ExpectedRecord(const ExpectedPage& page, const std::string& isoTime) {
  nlohmann::ordered_json record;
  record["time"] = isoTime;
  record["protocol"] = page.protocol;
  record["rate"] = page.rate;
  if (page.capcode.empty()) {
    record["capcode"] = nullptr;
  } else {
    record["capcode"] = page.capcode;
  }
  if (page.function == 0) {
    record["function"] = nullptr;
  } else {
    record["function"] = page.function;
  }
  record["type"] = page.type;
  record["text"] = page.text;
  record["errors"] = false;
  record["corrected"] = 0;
  record["filter"] = nullptr;
  return record;
}

}  // namespace pagora::gen
