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

#include "decoder/bch.h"
#include "pocsag/pocsag_render.h"

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
void StreamLongPageBits(const PocsagRun& run, PocsagDecoder& p, const std::array<char, 32>& cw) {
  int row = PocsagStatisticsRow(run.ctx.clocks.rateIndex);
  for (int i = 1; i <= 20; ++i) {
    ShiftCharacterBit(p, cw[static_cast<std::size_t>(i)] == '1');
    ++p.alphaBitCount;
    if (p.alphaBitCount >= 7) {
      run.ctx.pages.PutReceived(static_cast<char>(p.characterRegister & 0xFF));
      run.ctx.pages.CountCharacters(row, kKindAlpha, 1);
      p.alphaBitCount = 0;
    }
  }
}

// A codeword of the page being gathered: into the decoder's tally until the header is written,
// into the page record after it (a long page's later codewords).
void NotePageCodeword(const PocsagRun& run, PocsagDecoder& p, int score) {
  if (p.openPages > 0) {
    NoteCodeword(run.ctx.pages.CurrentPage(), score);
    return;
  }
  if (score >= 3) {
    p.pageErrors = true;
  } else if (score > 0) {
    ++p.pageCorrected;
  }
}

}  // namespace

void PocsagEndPage(const PocsagRun& run) {
  PocsagDecoder& p = run.pocsag;
  if (p.openPages > 0) {
    run.ctx.pages.EndLine();
    p.openPages = 0;
  }
  p.digitBitCount = 0;
  p.alphaBitCount = 0;
  p.alphaCount = 0;
  p.digitCount = 0;
  p.messageCodewords = 0;
  p.addressPending = 0;
  p.pageCorrected = 0;
  p.pageErrors = false;
  // Message codewords that arrive before the next address belong to a page whose address was
  // lost; they must not be shown under the capcode of the page that just ended.
  p.capcode |= kPocsagCapcodeError;
}

void PocsagCodeword(const PocsagRun& run, int index) {
  PocsagDecoder& p = run.pocsag;
  std::array<char, 32>& cw = run.ctx.bch.codeword;
  for (int i = 0; i < 32; ++i) {
    cw[static_cast<std::size_t>(i)] = ((p.bitRegister >> (31 - i)) & 1u) != 0 ? '1' : '0';
  }
  int score = CorrectCodeword(run.ctx.bch);
  if (score < 2)
    run.ctx.clocks.pocsagWindow = kPocsagWindowRefresh;

  if (cw[0] == '1') {
    p.addressPending = 0;
    NotePageCodeword(run, p, score);
    // Only the characters of a long page take this colour; short pages choose theirs when shown.
    run.ctx.pages.SetColourClass(score > 2 ? kClassBitErrors : kClassAlphanumeric);
    if (p.messageCodewords < kPocsagLongPageCodewords) {
      GatherShortPageBits(p, cw, score);
      ++p.messageCodewords;
      if (p.messageCodewords == kPocsagLongPageCodewords)
        PocsagStartLongPage(run);
      return;
    }
    StreamLongPageBits(run, p, cw);
    return;
  }

  if (ShortPagePending(p))
    PocsagFlushPage(run);
  PocsagEndPage(run);
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
  NotePageCodeword(run, p, score);
}

void PocsagSignalLost(const PocsagRun& run) {
  PocsagDecoder& p = run.pocsag;
  p.signalLost = 1;
  p.inBatch = 0;
  // The drain ends the burst after this bit, with the caption and the clock.
  run.ctx.clocks.pocsagWindow = 1;
}

void PocsagReceiveBit(const PocsagRun& run, char bit) {
  PocsagDecoder& p = run.pocsag;
  p.bitRegister = (p.bitRegister << 1) | (bit == '1' ? 1u : 0u);

  if (bit == 'X') {
    // End of the burst: an open long page is closed, a short page still buffered is dropped
    // (its end was never seen, so it may be incomplete) unless the signal itself ended: then
    // a page whose address was received is shown as far as it came, with the cut mark.
    if (p.signalLost != 0) {
      p.signalLost = 0;
      if (ShortPagePending(p) && (p.capcode & kPocsagCapcodeError) == 0)
        PocsagFlushPage(run);
      if (p.openPages > 0)
        run.ctx.pages.MarkPageCut();
    }
    p.inBatch = 0;
    p.messageCodewords = 0;
    p.alphaCount = 0;
    p.digitCount = 0;
    p.alphaBitCount = 0;
    p.digitBitCount = 0;
    p.addressPending = 0;
    p.pageCorrected = 0;
    p.pageErrors = false;
    if (p.openPages > 0)
      run.ctx.pages.EndLine();
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
    PocsagSignalLost(run);
    return;
  }
  if (p.bitPosition >= 32) {
    if (Distance(p.bitRegister, kPocsagIdleCodeword) <= kPocsagIdleMaxErrors) {
      run.ctx.clocks.pocsagWindow = kPocsagWindowRefresh;
      if (ShortPagePending(p))
        PocsagFlushPage(run);
      PocsagEndPage(run);
    } else {
      PocsagCodeword(run, 16 - p.codewordsLeft);
    }
    p.bitPosition = 0;
    --p.codewordsLeft;
  }
  if (p.codewordsLeft <= 0)
    p.inBatch = 0;
}

}  // namespace pagora
