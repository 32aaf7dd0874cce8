// A decoder on its own, without the engine object: the narrow context a decoder is given, with a
// page writer that keeps the lines and captions written to it, clocks and busy flags of its own,
// default settings and the shared correction tables.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "decoder/bch.h"
#include "decoder/decoder_context.h"

namespace pagora::testing {

class LinePageWriter : public PageWriter {
 public:
  std::vector<std::string> lines;    // ended lines, headers and content as written
  std::vector<std::string> classes;  // the colour class of each character of those lines
  std::vector<int> modeTitles;       // every caption asked for, as its flag set
  int headers = 0;                   // pages opened

  void StartPage(Protocol protocol, int rate, const char* capcode, int function,
                 const char* type) override {
    page_ = Page{};
    page_.protocol = protocol;
    page_.rate = rate;
    std::snprintf(page_.capcode.data(), page_.capcode.size(), "%s", capcode ? capcode : "");
    page_.function = function;
    page_.type = type;
  }
  Page& CurrentPage() override { return page_; }
  bool FindCapcodeFilter(int, const char*, int, int) override { return false; }
  void WritePageHeader(const char* header) override {
    ++headers;
    PutText(header);
    PutChar(' ');
  }
  void SetColourClass(std::uint8_t colourClass) override { class_ = colourClass; }
  void PutChar(char ch) override {
    line_ += ch;
    lineClasses_ += static_cast<char>(class_);
  }
  void PutReceived(char ch) override { PutChar(ch); }
  void PutText(const char* text) override {
    for (; *text != '\0'; ++text)
      PutChar(*text);
  }
  void MarkTextStart() override {}
  void MarkPageCut() override {}
  void EndLine() override {
    lines.push_back(line_);
    classes.push_back(lineClasses_);
    line_.clear();
    lineClasses_.clear();
  }
  std::string LocalTimeText() override { return "12:34:56"; }
  void SetModeTitle(int flags) override { modeTitles.push_back(flags); }
  void CountMessage(int, int) override {}
  void CountCharacters(int, int, int) override {}

 private:
  Page page_;
  std::string line_;
  std::string lineClasses_;
  std::uint8_t class_ = 0;
};

struct DecoderBench {
  DecoderBench() { InitBchTables(bch); }
  DecoderBench(const DecoderBench&) = delete;
  DecoderBench& operator=(const DecoderBench&) = delete;

  LinePageWriter pages;
  SymbolClock symbolClock;
  GscClock gscClock;
  int pocsagWindow = 0;
  int flexActive = 0;
  int gscActive = 0;
  int rateIndex = 4;
  int titleHoldCount = 0;
  AppSettings settings;
  BchTables bch;
  DecoderContext context{
      pages,
      {symbolClock, gscClock, pocsagWindow, flexActive, gscActive, rateIndex, titleHoldCount},
      settings,
      bch};
};

}  // namespace pagora::testing
