// POCSAG codeword stream: batch synchronisation, idle detection, address and message codewords.
//
// The drain hands over one bit per call at the locked rate (512, 1200 or 2400 bit/s). While
// hunting, every bit is tested against the synchronisation codeword with up to four bit errors;
// after it, sixteen codewords are counted off and the decoder hunts again, so each batch must
// bring its own sync codeword. A page keeps its fields across the gap, which is how a message
// runs on from one batch into the next.
//
// Codeword layout (first transmitted bit = position 0):
//   address: 0, 18 capcode bits (MSB first), 2 function bits, 10 BCH check bits, parity
//   message: 1, 20 message bits, 10 BCH check bits, parity
// Message bits form 7-bit characters and 4-bit digits, each sent least significant bit first;
// either may straddle two codewords.
#include "pocsag/pocsag_decoder.h"

#include "flex/bch.h"
#include "input/monitor.h"
#include "monitor/traffic_statistics.h"
#include "output/line_builder.h"
#include "pocsag/pocsag_rendering.h"

namespace pagora {

namespace {

// Digit values 0..15 as shown; 11 is the urgency "U", 12 the fill space.
constexpr char kNumericTable[17] = "0123456789*U -)(";

// Bits in which the last 32 bits received differ from `pattern`, counted half by half.
int Distance(std::uint32_t received, std::uint32_t pattern) {
  std::uint32_t diff = received ^ pattern;
  return CountBits16(static_cast<std::int32_t>(diff & 0xFFFF)) +
         CountBits16(static_cast<std::int32_t>(diff >> 16));
}

// A page that has an address or buffered message codewords but has not been shown yet.
bool ShortPagePending(const PocsagDecoder& p) {
  return p.addressPending != 0 || (p.messageCodewords > 0 && p.messageCodewords < 7);
}

void ShiftCharacterBit(PocsagDecoder& p, bool bit) {
  p.characterRegister = (p.characterRegister >> 1) + (bit ? 0x40 : 0);
}

// Buffers the 20 message bits of a page's first six codewords (and the seventh) as characters
// and digits side by side.
void GatherShortPageBits(PocsagDecoder& p, const std::array<char, 32>& cw, int score) {
  for (int i = 1; i <= 20; ++i) {
    ShiftCharacterBit(p, cw[static_cast<std::size_t>(i)] == '1');
    ++p.alphaBitCount;
    ++p.digitBitCount;
    if (p.alphaBitCount >= 7) {
      std::int32_t value = p.characterRegister;
      if (score > 2)
        value += kPocsagErrorMark;
      if (p.alphaCount >= 0 && p.alphaCount < kPocsagCharacterBufferSize) {
        p.characters[static_cast<std::size_t>(p.alphaCount)] = value;
      }
      p.alphaBitCount = 0;
      ++p.alphaCount;
    }
    if (p.digitBitCount >= 4) {
      int nibble = (p.characterRegister >> 3) & 0xF;
      if (p.digitCount >= 0 && p.digitCount < kPocsagDigitBufferSize) {
        p.digits[static_cast<std::size_t>(p.digitCount)] = kNumericTable[nibble];
      }
      p.digitBitCount = 0;
      ++p.digitCount;
    }
  }
}

// From the eighth message codeword on, characters go to the pane as soon as they complete.
// They are counted like the buffered ones, so the statistics hold every character shown.
void StreamLongPageBits(Monitor& m, PocsagDecoder& p, const std::array<char, 32>& cw) {
  int row = PocsagStatisticsRow(m.recovery.rateIndex);
  for (int i = 1; i <= 20; ++i) {
    ShiftCharacterBit(p, cw[static_cast<std::size_t>(i)] == '1');
    ++p.alphaBitCount;
    if (p.alphaBitCount >= 7) {
      PutChar(m, m.lines.messagePane, static_cast<char>(p.characterRegister & 0xFF));
      CountCharacters(m, row, kKindAlpha, 1);
      p.alphaBitCount = 0;
    }
  }
}

}  // namespace

void PocsagEndPage(Monitor& m) {
  PocsagDecoder& p = m.pocsag;
  if (p.openPages > 0) {
    EndLine(m, m.lines.messagePane);
    p.openPages = 0;
  }
  p.digitBitCount = 0;
  p.alphaBitCount = 0;
  p.alphaCount = 0;
  p.digitCount = 0;
  p.messageCodewords = 0;
  p.addressPending = 0;
  // Message codewords that arrive before the next address belong to a page whose address was
  // lost; they must not be shown under the capcode of the page that just ended.
  p.capcode |= kPocsagCapcodeError;
}

void PocsagCodeword(Monitor& m, int index) {
  PocsagDecoder& p = m.pocsag;
  std::array<char, 32>& cw = m.bch.codeword;
  for (int i = 0; i < 32; ++i) {
    cw[static_cast<std::size_t>(i)] = ((p.bitRegister >> (31 - i)) & 1u) != 0 ? '1' : '0';
  }
  int score = CorrectCodeword(m.bch);
  if (score < 2)
    m.recovery.pocsagWindow = kPocsagWindowRefresh;

  if (cw[0] == '1') {
    p.addressPending = 0;
    // Only the characters of a long page take this colour; short pages choose theirs when shown.
    SetColourClass(m.lines.messagePane, score > 2 ? kClassBitErrors : kClassAlphanumeric);
    if (p.messageCodewords < kPocsagLongPageCodewords) {
      GatherShortPageBits(p, cw, score);
      ++p.messageCodewords;
      if (p.messageCodewords == kPocsagLongPageCodewords)
        PocsagStartLongPage(m);
      return;
    }
    StreamLongPageBits(m, p, cw);
    return;
  }

  if (ShortPagePending(p))
    PocsagFlushPage(m);
  PocsagEndPage(m);
  std::int32_t high = 0;
  for (int i = 1; i <= 18; ++i) {
    high = high * 2 + (cw[static_cast<std::size_t>(i)] == '1' ? 1 : 0);
  }
  // The three low capcode bits are not sent: they are the frame (slot pair) of the address.
  p.capcode = high * 8 + ((index >> 1) & 7);
  if (score > 2)
    p.capcode |= kPocsagCapcodeError;
  p.function = 2 * (cw[19] == '1' ? 1 : 0) + (cw[20] == '1' ? 1 : 0);
  p.addressPending = 1;
}

void PocsagSignalLost(Monitor& m) {
  PocsagDecoder& p = m.pocsag;
  p.signalLost = 1;
  p.inBatch = 0;
  // The drain ends the burst after this bit, with the caption and the clock.
  m.recovery.pocsagWindow = 1;
}

void PocsagReceiveBit(Monitor& m, char bit) {
  PocsagDecoder& p = m.pocsag;
  p.bitRegister = (p.bitRegister << 1) | (bit == '1' ? 1u : 0u);

  if (bit == 'X') {
    // End of the burst: an open long page is closed, a short page still buffered is dropped
    // (its end was never seen, so it may be incomplete) unless the signal itself ended: then
    // a page whose address was received is shown as far as it came, with the cut mark.
    if (p.signalLost != 0) {
      p.signalLost = 0;
      if (ShortPagePending(p) && (p.capcode & kPocsagCapcodeError) == 0)
        PocsagFlushPage(m);
      if (p.openPages > 0)
        MarkPageCut(m);
    }
    p.inBatch = 0;
    p.messageCodewords = 0;
    p.alphaCount = 0;
    p.digitCount = 0;
    p.alphaBitCount = 0;
    p.digitBitCount = 0;
    p.addressPending = 0;
    if (p.openPages > 0)
      EndLine(m, m.lines.messagePane);
    p.openPages = 0;
    p.capcode |= kPocsagCapcodeError;  // the next burst's pages need their own address
  }

  if (p.inBatch == 0) {
    if (Distance(p.bitRegister, kPocsagSyncCodeword) <= kPocsagSyncMaxErrors) {
      p.inBatch = 1;
      p.bitPosition = 0;
      p.codewordsLeft = 16;
    }
    return;
  }

  // The bit register holds the codeword bits as they arrive; the codeword is copied out and
  // corrected once all 32 are in.
  ++p.bitPosition;
  if (p.bitPosition >= 32 && (p.bitRegister == 0 || p.bitRegister == 0xFFFFFFFFu)) {
    // 32 equal bits: a squelched receiver or an ended input holding its last level, not a
    // codeword (the all-zero and all-one words are valid BCH codewords that no pager uses).
    PocsagSignalLost(m);
    return;
  }
  if (p.bitPosition >= 32) {
    if (Distance(p.bitRegister, kPocsagIdleCodeword) <= kPocsagIdleMaxErrors) {
      m.recovery.pocsagWindow = kPocsagWindowRefresh;
      if (ShortPagePending(p))
        PocsagFlushPage(m);
      PocsagEndPage(m);
    } else {
      PocsagCodeword(m, 16 - p.codewordsLeft);
    }
    p.bitPosition = 0;
    --p.codewordsLeft;
  }
  if (p.codewordsLeft <= 0)
    p.inBatch = 0;
}

}  // namespace pagora
