// The virtual printer's PCL reader: escape sequences by PCL's general
// syntax (parameter character, group character, values, terminators, lower
// case ones chaining), raster rows uncompressed or PackBits placed on the
// sheet as they arrive, so no row is ever held whole.  It needs nothing but
// the standard library (the fuzz target builds it on its own).
#include <algorithm>

#include "platform/devices/virtual_printer.h"

namespace ce {

namespace {

using State = PclReader::State;

constexpr int64_t kValueLimit = int64_t{1} << 40;
constexpr int32_t kRowLimit = 1 << 24;  // far beyond any sheet; no overflow
constexpr int32_t kColumnLimit = 1 << 24;
constexpr int32_t kLowestDpi = 10;
constexpr int32_t kHighestDpi = 1200;

void PrepareSheet(PclReader* r) {
  PrintSheet& s = r->sheet;
  if (!s.bits.empty()) return;
  const int32_t dpi = r->resolution;
  s.dpi = dpi;
  s.width = dpi * 17 / 2;
  s.height = dpi * 11;
  s.originX = dpi / 4;
  s.originY = dpi / 4;
  s.printableWidth = dpi * 8;
  s.printableHeight = dpi * 21 / 2;
  s.stride = static_cast<uint32_t>((s.width + 7) / 8);
  s.bits.assign(static_cast<size_t>(s.stride) * static_cast<size_t>(s.height), 0);
  s.rasterWidth = 0;
  s.rasterRows = 0;
  s.clipped = false;
}

void Eject(PclReader* r, const PrintSheetSink& sink) {
  if (r->pageMarked) {
    PrepareSheet(r);
    sink(r->sheet);
  }
  r->sheet = PrintSheet{};
  r->pageMarked = false;
  r->raster = false;
  r->row = 0;
}

void Reset(PclReader* r, const PrintSheetSink& sink) {
  Eject(r, sink);
  r->resolution = 300;
  r->compression = 0;
}

// One decoded byte of the current row at the row's next position.
void PlaceByte(PclReader* r, uint8_t byte) {
  PrintSheet& s = r->sheet;
  const int32_t column = r->column;
  if (r->column < kColumnLimit) ++r->column;
  s.rasterWidth = std::max(s.rasterWidth, r->column * 8);
  if (!byte) return;
  if (r->row >= s.printableHeight) {
    s.clipped = true;
    return;
  }
  uint8_t* line = s.bits.data() + static_cast<size_t>(s.originY + r->row) * s.stride;
  for (int bit = 0; bit < 8; ++bit) {
    if (!(byte & (0x80 >> bit))) continue;
    const int64_t x = static_cast<int64_t>(column) * 8 + bit;
    if (x >= s.printableWidth) {
      s.clipped = true;
      return;
    }
    const int64_t at = s.originX + x;
    line[at >> 3] |= static_cast<uint8_t>(0x80 >> (at & 7));
  }
}

void RowByte(PclReader* r, uint8_t byte) {
  switch (r->compression) {
    case 0: PlaceByte(r, byte); return;
    case 2:
      if (r->literalLeft > 0) {
        --r->literalLeft;
        PlaceByte(r, byte);
      } else if (r->repeatPending) {
        r->repeatPending = false;
        for (int32_t i = 0; i < r->repeatCount; ++i) PlaceByte(r, byte);
      } else {
        const int8_t header = static_cast<int8_t>(byte);
        if (header >= 0) {
          r->literalLeft = header + 1;
        } else if (header != -128) {
          r->repeatPending = true;
          r->repeatCount = 1 - header;
        }
      }
      return;
    default: return;  // counted as skipped when the row ends
  }
}

void StartRow(PclReader* r) {
  PrepareSheet(r);
  r->pageMarked = true;
  r->raster = true;
  r->column = 0;
  r->literalLeft = 0;
  r->repeatPending = false;
}

void EndRow(PclReader* r) {
  if (r->compression != 0 && r->compression != 2) ++r->skippedRows;
  if (r->row < r->sheet.printableHeight) r->sheet.rasterRows = std::max(r->sheet.rasterRows, r->row + 1);
  if (r->row < kRowLimit) ++r->row;
}

// After a command: more values of the same group, or back to text.
void NextValue(PclReader* r, bool chained) {
  r->state = chained ? State::kValue : State::kText;
  r->value = 0;
  r->negative = false;
  r->fraction = false;
  r->digits = false;
}

void Execute(PclReader* r, uint8_t terminator, bool chained, const PrintSheetSink& sink) {
  const int64_t value = r->negative ? -r->value : r->value;
  const uint8_t p = r->parameter, g = r->group;
  r->chained = chained;
  if (p == '*' && g == 't' && terminator == 'R') {
    // The resolution holds for the page from its first row on.
    if (!r->pageMarked && value >= kLowestDpi && value <= kHighestDpi) r->resolution = static_cast<int32_t>(value);
  } else if (p == '*' && g == 'r' && terminator == 'A') {
    r->raster = true;
  } else if (p == '*' && g == 'r' && (terminator == 'B' || terminator == 'C')) {
    r->raster = false;
    if (terminator == 'C') r->compression = 0;
  } else if (p == '*' && g == 'b' && terminator == 'M') {
    r->compression = static_cast<int32_t>(std::clamp<int64_t>(value, -1, 1000));
  } else if (p == '*' && g == 'b' && terminator == 'Y') {
    if (value > 0) r->row = static_cast<int32_t>(std::min<int64_t>(r->row + value, kRowLimit));
  } else if (p == '*' && g == 'b' && terminator == 'W') {
    StartRow(r);
    r->rowData = true;
    r->dataLeft = value > 0 ? static_cast<uint64_t>(value) : 0;
    if (!r->dataLeft) {
      EndRow(r);
    } else {
      r->state = State::kData;
      return;
    }
  } else if (terminator == 'W' || (p == '&' && g == 'p' && terminator == 'X')) {
    // Fonts, patterns, transparent data: skipped by their byte count.
    r->rowData = false;
    r->dataLeft = value > 0 ? static_cast<uint64_t>(value) : 0;
    if (r->dataLeft) {
      r->state = State::kData;
      return;
    }
  }
  (void)sink;
  NextValue(r, chained);
}

bool IsTerminator(uint8_t c) { return c >= 0x40 && c <= 0x5E; }
bool IsChainTerminator(uint8_t c) { return c >= 0x60 && c <= 0x7E; }

void ValueByte(PclReader* r, uint8_t c, const PrintSheetSink& sink) {
  if (c >= '0' && c <= '9') {
    if (!r->fraction && r->value < kValueLimit) r->value = r->value * 10 + (c - '0');
    r->digits = true;
  } else if ((c == '+' || c == '-') && !r->digits && !r->fraction) {
    r->negative = c == '-';
  } else if (c == '.') {
    r->fraction = true;
  } else if (IsChainTerminator(c)) {
    Execute(r, static_cast<uint8_t>(c - 0x20), true, sink);
  } else if (IsTerminator(c)) {
    Execute(r, c, false, sink);
  } else {
    r->state = c == 0x1B ? State::kEscape : State::kText;
  }
}

}  // namespace

void FeedPcl(PclReader* r, const uint8_t* data, size_t size, const PrintSheetSink& sink) {
  size_t i = 0;
  while (i < size) {
    if (r->state == State::kData) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(r->dataLeft, size - i));
      if (r->rowData) {
        for (size_t k = 0; k < n; ++k) RowByte(r, data[i + k]);
      }
      i += n;
      r->dataLeft -= n;
      if (!r->dataLeft) {
        if (r->rowData) EndRow(r);
        NextValue(r, r->chained);
      }
      continue;
    }
    const uint8_t c = data[i++];
    switch (r->state) {
      case State::kText:
        if (c == 0x1B) r->state = State::kEscape;
        else if (c == 0x0C) Eject(r, sink);
        break;
      case State::kEscape:
        if (c >= 0x21 && c <= 0x2F) {
          r->parameter = c;
          r->group = 0;
          r->state = State::kGroup;
        } else if (c >= 0x30 && c <= 0x7E) {
          if (c == 'E') Reset(r, sink);
          r->state = State::kText;
        } else if (c != 0x1B) {
          r->state = State::kText;
        }
        break;
      case State::kGroup:
        NextValue(r, true);
        if (c >= 0x60 && c <= 0x7E) {
          r->group = c;
        } else {
          ValueByte(r, c, sink);  // a command without a group character
        }
        break;
      case State::kValue: ValueByte(r, c, sink); break;
      case State::kData: break;
    }
  }
}

void EndPcl(PclReader* r, const PrintSheetSink& sink) {
  if (r->state == State::kData && r->rowData) EndRow(r);
  Eject(r, sink);
  *r = PclReader{};
}

}  // namespace ce
