// The engine's side of the decoders' page writer: each operation goes to the message pane's
// line builder, the page capture, the filters, the caption and the counters of one engine.
#pragma once

#include "decoder/decoder_context.h"

namespace pagora {

class Monitor;

class EnginePageWriter final : public PageWriter {
 public:
  explicit EnginePageWriter(Monitor& m) : m_(m) {}

  void StartPage(Protocol protocol, int rate, const char* capcode, int function,
                 const char* type) override;
  Page& CurrentPage() override;
  bool FindCapcodeFilter(int kind, const char* capcodeDigits, int function, int baudCode) override;
  void WritePageHeader(const char* header) override;
  void SetColourClass(std::uint8_t colourClass) override;
  void PutChar(char ch) override;
  void PutReceived(char ch) override;
  void PutText(const char* text) override;
  void MarkTextStart() override;
  void MarkPageCut() override;
  void EndLine() override;
  std::string LocalTimeText() override;
  void SetModeTitle(int flags) override;
  void CountMessage(int row, int kind) override;
  void CountCharacters(int row, int kind, int characters) override;

 private:
  Monitor& m_;
};

}  // namespace pagora
