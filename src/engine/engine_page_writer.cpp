#include "engine/engine_page_writer.h"

#include "engine/filters.h"
#include "engine/line_builder.h"
#include "engine/mode_title.h"
#include "engine/monitor.h"
#include "engine/traffic_statistics.h"

namespace pagora {

namespace {
constexpr std::size_t kTimeTextLimit = 39;  // a formatted time, without its terminator
}  // namespace

void EnginePageWriter::StartPage(Protocol protocol, int rate, const char* capcode, int function,
                                 const char* type) {
  SetPageInfo(m_, protocol, rate, capcode, function, type);
}

Page& EnginePageWriter::CurrentPage() {
  return m_.lines.capture.page;
}

bool EnginePageWriter::FindCapcodeFilter(int kind, const char* capcodeDigits, int function,
                                         int baudCode) {
  pagora::FindCapcodeFilter(m_, kind, capcodeDigits, function, baudCode);
  return m_.lines.capture.matchedFilter >= 0;
}

void EnginePageWriter::WritePageHeader(const char* header) {
  pagora::WritePageHeader(m_, header);
}

void EnginePageWriter::SetColourClass(std::uint8_t colourClass) {
  pagora::SetColourClass(m_.lines.messagePane, colourClass);
}

void EnginePageWriter::PutChar(char ch) {
  pagora::PutChar(m_, m_.lines.messagePane, ch);
}

void EnginePageWriter::PutReceived(char ch) {
  pagora::PutReceived(m_, m_.lines.messagePane, ch);
}

void EnginePageWriter::PutText(const char* text) {
  pagora::PutText(m_, m_.lines.messagePane, text);
}

void EnginePageWriter::MarkTextStart() {
  pagora::MarkTextStart(m_);
}

void EnginePageWriter::MarkPageCut() {
  pagora::MarkPageCut(m_);
}

void EnginePageWriter::EndLine() {
  pagora::EndLine(m_, m_.lines.messagePane);
}

std::string EnginePageWriter::LocalTimeText() {
  std::string time = m_.host.FormatTime(m_.host.LocalTime());
  if (time.size() > kTimeTextLimit)
    time.resize(kTimeTextLimit);
  return time;
}

void EnginePageWriter::SetModeTitle(int flags) {
  pagora::SetModeTitle(m_, flags);
}

void EnginePageWriter::CountMessage(int row, int kind) {
  pagora::CountMessage(m_, row, kind);
}

void EnginePageWriter::CountCharacters(int row, int kind, int characters) {
  pagora::CountCharacters(m_, row, kind, characters);
}

}  // namespace pagora
