#include "scenario.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>

#include "flex_encoder.h"
#include "gsc/gsc_tables.h"
#include "gsc_encoder.h"
#include "output/page.h"
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

// The character set of a transmission: its own "charset", or the scenario's.
Charset TransmissionCharset(const json& t, Charset fallback) {
  if (!t.contains("charset"))
    return fallback;
  std::string name = StringField(t, "charset");
  std::optional<Charset> charset = CharsetByName(name);
  if (!charset)
    throw ScenarioError("charset must be one of " + CharsetNameList());
  return *charset;
}

// Alphanumeric text as it goes on the air: UTF-8 through a national set; with ASCII as given.
std::string AirText(Charset charset, const std::string& text) {
  return charset == Charset::kAscii ? text : EncodeForAir(charset, text);
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

ScenarioItem PocsagItem(const json& t, std::size_t index, Charset charset) {
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
        page.text = AirText(charset, page.text);
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
      if (shown.type == "alpha")
        shown.text = ReceivedUtf8(charset, shown.text);
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

// What the FLEX transmissions so far leave for later ones: the frame count, the temporary
// addresses assigned by short instructions, and long messages whose last part is still to come.
struct FlexState {
  struct Group {
    int frame = -1;  // the frame the call is due in; -1: no assignment
    std::vector<std::uint32_t> members;
  };
  struct Held {
    std::uint32_t capcode = 0;
    ExpectedPage page;
    std::string received;  // the parts' text as sent, joined
    Charset charset = Charset::kAscii;
    int parts = 0;
  };
  int frameCounter = 0;
  std::array<Group, kFlexTemporaryCapcodes> groups;
  std::vector<Held> held;  // in the order the first parts came

  // The joined message as a receiver passes it on.
  static ExpectedPage Joined(const Held& h, bool incomplete) {
    ExpectedPage page = h.page;
    page.text = ReceivedUtf8(h.charset, h.received);
    page.fragments = h.parts;
    page.incomplete = incomplete;
    return page;
  }
};

constexpr int kMaxGroupMembers = 32;

ScenarioItem FlexItem(const json& t, std::size_t index, FlexState& state, Charset charset,
                      int itemIndex) {
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
  FlexFrame frame;
  frame.cycle = static_cast<int>(IntField(t, "cycle", (state.frameCounter / 128) % 15));
  frame.frame = static_cast<int>(IntField(t, "frame", state.frameCounter % 128));
  if (frame.cycle < 0 || frame.cycle > 14 || frame.frame < 0 || frame.frame > 127) {
    throw ScenarioError("transmission " + std::to_string(index + 1) +
                        ": cycle must be 0..14 and frame 0..127");
  }
  ++state.frameCounter;

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
      int phase = static_cast<int>(IntField(p, "phase", 0));
      if (phase < 0 || phase > 3 || !FlexPhaseInUse(mode, phase)) {
        throw ScenarioError("the mode does not carry that phase");
      }
      if (type == "instruction") {
        // A temporary address assignment: no page of its own, members for a later call.
        long group = IntField(p, "group", -1) - static_cast<long>(kFlexFirstTemporaryCapcode);
        long callFrame = IntField(p, "frame", frame.frame);
        if (group < 0 || group >= kFlexTemporaryCapcodes)
          throw ScenarioError("group must be a temporary address, 2029568..2029583");
        if (callFrame < 0 || callFrame > 127)
          throw ScenarioError("frame must be 0..127");
        page.type = FlexPageType::kInstruction;
        page.groupIndex = static_cast<int>(group);
        page.groupFrame = static_cast<int>(callFrame);
        FlexState::Group& g = state.groups[static_cast<std::size_t>(group)];
        if (g.frame != callFrame)
          g = FlexState::Group{static_cast<int>(callFrame), {}};
        if (std::find(g.members.begin(), g.members.end(), page.capcode) == g.members.end() &&
            static_cast<int>(g.members.size()) < kMaxGroupMembers)
          g.members.push_back(page.capcode);
        phases[static_cast<std::size_t>(phase)].push_back(page);
        continue;
      }
      ExpectedPage shown;
      shown.protocol = "FLEX";
      shown.rate = FlexShownRate(mode);
      shown.capcode = Digits(page.capcode, isLong ? 9 : 7);
      shown.type = type;
      std::string part = StringField(p, "part", "whole");
      if (part != "whole" && part != "first" && part != "more" && part != "last")
        throw ScenarioError("part must be whole, first, more or last");
      if (part != "whole" && type != "alpha")
        throw ScenarioError("only alphanumeric messages are sent in parts");
      std::string received;
      if (type == "alpha") {
        page.type = FlexPageType::kAlphanumeric;
        page.content = AirText(charset, text);
        for (char c : page.content)
          received += static_cast<char>(c & 0x7F);
        received = WithoutFill(received, false);
        shown.text = ReceivedUtf8(charset, received);
      } else if (type == "numeric") {
        page.type = FlexPageType::kStandardNumeric;
        page.content = text;
        // Digits fill whole words after two header bits; the padding is spaces, not text.
        shown.text = WithoutFill(text, true);
      } else if (type == "tone") {
        page.type = FlexPageType::kShortMessage;
        page.toneOnly = true;
      } else {
        throw ScenarioError("FLEX type must be alpha, numeric, tone or instruction");
      }

      // A call to a temporary address in the frame its members were told of.
      long temporary = capcode - static_cast<long>(kFlexFirstTemporaryCapcode);
      if (temporary >= 0 && temporary < kFlexTemporaryCapcodes) {
        FlexState::Group& g = state.groups[static_cast<std::size_t>(temporary)];
        if (g.frame == frame.frame) {
          for (std::uint32_t member : g.members)
            shown.members.push_back(CapcodeText(static_cast<std::int32_t>(member)));
        }
        g = FlexState::Group{};
      }

      // Fragments: the first part carries the signature (fragment field 3); later parts count
      // 0, 1, 2, 0, ... Receivers pass the message on whole when its last part arrives.
      auto held = std::find_if(state.held.begin(), state.held.end(),
                               [&](const FlexState::Held& h) { return h.capcode == page.capcode; });
      if (part == "first") {
        if (held != state.held.end()) {
          item.pages.push_back(FlexState::Joined(*held, true));  // its ending never came
          state.held.erase(held);
        }
        page.fragment = 3;
        page.continues = true;
        shown.timeItem = itemIndex;
        state.held.push_back({page.capcode, shown, received, charset, 1});
      } else if (part == "more" || part == "last") {
        page.continues = part == "more";
        if (held == state.held.end()) {
          // Its beginning was not sent: a receiver has nothing to join it to.
          page.fragment = 0;
          shown.timeItem = itemIndex;
          if (page.continues) {
            state.held.push_back({page.capcode, shown, received, charset, 1});
          } else {
            shown.incomplete = true;
            item.pages.push_back(shown);
          }
        } else {
          page.fragment = (held->parts - 1) % 3;
          held->received += received;
          held->parts += 1;
          if (!page.continues) {
            item.pages.push_back(FlexState::Joined(*held, false));
            state.held.erase(held);
          }
        }
      } else {
        item.pages.push_back(shown);
      }
      phases[static_cast<std::size_t>(phase)].push_back(page);
    } catch (const std::exception& e) {
      throw ScenarioError(Where(index, i) + e.what());
    }
  }
  FlexFrame laidOut;
  if (!MakeFlexFrame(mode, phases, laidOut)) {
    throw ScenarioError("transmission " + std::to_string(index + 1) +
                        ": the pages do not fit one FLEX frame (or a text cannot be sent)");
  }
  laidOut.cycle = frame.cycle;
  laidOut.frame = frame.frame;
  // The assignments for this frame are spent whether or not their call came.
  for (FlexState::Group& g : state.groups) {
    if (g.frame == frame.frame)
      g = FlexState::Group{};
  }
  if (!AppendFlexFrame(item.symbols, laidOut)) {
    throw ScenarioError("transmission " + std::to_string(index + 1) + ": FLEX frame failed");
  }
  return item;
}

// --- GSC ----------------------------------------------------------------------------------

ScenarioItem GscItem(const json& t, std::size_t index, Charset charset) {
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
        page.text = AirText(charset, page.text);
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
      shown.text = ReceivedUtf8(charset, characters);
    } else {
      shown.type = blocks == 0 ? "tone" : "numeric";
      shown.text = digits + " " + characters;
      if (blocks > 0)
        shown.readings = std::make_pair(digits, ReceivedUtf8(charset, characters));
    }
    item.pages.push_back(shown);
  }
  item.symbols = GscSymbols(signal.samples);
  return item;
}

}  // namespace

Scenario ParseScenario(const json& document, double defaultGap, Charset charset) {
  const json* list = &document;
  if (document.is_object()) {
    if (!document.contains("transmissions"))
      throw ScenarioError("no \"transmissions\" list");
    list = &document["transmissions"];
  }
  if (!list->is_array())
    throw ScenarioError("the transmissions must be a list");

  if (document.is_object()) {
    try {
      charset = TransmissionCharset(document, charset);
    } catch (const std::exception& e) {
      throw ScenarioError(std::string("scenario: ") + e.what());
    }
  }
  Scenario scenario;
  FlexState flex;
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
    Charset textCharset = charset;
    try {
      protocol = StringField(t, "protocol");
      textCharset = TransmissionCharset(t, charset);
    } catch (const std::exception& e) {
      throw ScenarioError("transmission " + std::to_string(i + 1) + ": " + e.what());
    }
    if (previousWasSignal) {
      ScenarioItem gap;
      gap.gapSeconds = defaultGap;
      scenario.items.push_back(gap);
    }
    if (protocol == "POCSAG") {
      scenario.items.push_back(PocsagItem(t, i, textCharset));
    } else if (protocol == "FLEX") {
      int itemIndex = static_cast<int>(scenario.items.size());
      scenario.items.push_back(FlexItem(t, i, flex, textCharset, itemIndex));
    } else if (protocol == "GSC") {
      scenario.items.push_back(GscItem(t, i, textCharset));
    } else {
      throw ScenarioError("transmission " + std::to_string(i + 1) +
                          ": protocol must be POCSAG, FLEX or GSC");
    }
    previousWasSignal = true;
  }
  // Messages still waiting for their last part when the signal ends: passed on as they are.
  for (ScenarioItem* last = nullptr; !flex.held.empty();) {
    for (ScenarioItem& item : scenario.items) {
      if (!item.symbols.levels.empty())
        last = &item;
    }
    if (last == nullptr)
      break;
    last->pages.push_back(FlexState::Joined(flex.held.front(), true));
    flex.held.erase(flex.held.begin());
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
  if (!page.members.empty())
    record["members"] = page.members;
  record["type"] = page.type;
  record["text"] = page.text;
  if (page.readings)
    record["readings"] = {{"numeric", page.readings->first}, {"alpha", page.readings->second}};
  record["errors"] = false;
  record["corrected"] = 0;
  if (page.fragments > 1 || page.incomplete) {
    record["fragments"] = page.fragments;
    record["incomplete"] = page.incomplete;
  }
  record["filter"] = nullptr;
  return record;
}

}  // namespace pagora::gen
