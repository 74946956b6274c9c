// ExtractPdfImage: one image object of a PDF file as a page.  The stream is
// copied; ASCII85 and Flate encodings are undone here, CCITT, LZW and DCT
// data are left for the conversion.
#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "imaging/readers/pdf.h"
#include "imaging/readers/pdf_syntax.h"
#include "imaging/readers/readers.h"

namespace quillon {

namespace {

enum class Space { kNone, kGray, kRgb, kIndexed, kUnsupported };

struct ImageDictionary {
  int compression = -1;  // kG4, kLzwTiff, kJpeg, kFlate; -1 none; -2 unsupported
  bool ascii85 = false;
  bool asciiHex = false;
  bool imageMask = false;
  bool decodeInverted = false;
  bool blackIs1 = false;
  bool ccittNotG4 = false;
  uint32_t width = 0, height = 0, bitsPerComponent = 0;
  uint32_t predictor = 1, colors = 1, columns = 0;
  Space space = Space::kNone;
  std::vector<uint8_t> lookup;  // Indexed: RGB (or gray) entries
  bool lookupGray = false;
};

// A filter name to its code in the dictionary.
void TakeFilter(std::string_view name, ImageDictionary& d) {
  if (name == "ASCII85Decode" || name == "A85") d.ascii85 = true;
  else if (name == "ASCIIHexDecode" || name == "AHx") d.asciiHex = true;
  else if (name == "CCITTFaxDecode" || name == "CCF") d.compression = kG4;
  else if (name == "LZWDecode" || name == "LZW") d.compression = kLzwTiff;
  else if (name == "DCTDecode" || name == "DCT") d.compression = kJpeg;
  else if (name == "FlateDecode" || name == "Fl") d.compression = kFlate;
  else d.compression = -2;
}

bool KeyIsTrue(const Bytes& f, uint64_t begin, uint64_t end, std::string_view key) {
  int64_t at = PdfFindKey(f, begin, end, key);
  if (at < 0) return false;
  uint64_t p = static_cast<uint64_t>(at);
  PdfSkipSpace(f, p);
  return f.Equals(p, "true", 4);
}

// The file and, once a reference needs it, its object index.
struct Objects {
  ImageFile* image;
  Bytes file;
  const PdfObjectIndex* Index() { return PdfObjects(image); }
};

// The bytes of a string (literal or hexadecimal) in `text`, or of a stream
// or string that a reference there names: a lookup table.
std::vector<uint8_t> LookupBytes(Objects& objects, const Bytes& text, uint64_t at, int depth) {
  const Bytes& file = objects.file;
  std::vector<uint8_t> out;
  PdfSkipSpace(text, at);
  if (at >= text.n) return out;
  const uint8_t* p = text.p;
  if (p[at] == '<') {
    int high = -1;
    for (++at; at < text.n && p[at] != '>' && out.size() < 768; ++at) {
      uint8_t c = p[at];
      int v = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
              : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (v < 0) continue;
      if (high < 0) {
        high = v;
      } else {
        out.push_back(static_cast<uint8_t>(high * 16 + v));
        high = -1;
      }
    }
    return out;
  }
  if (p[at] == '(') {
    int nesting = 0;
    for (++at; at < text.n && out.size() < 768; ++at) {
      uint8_t c = p[at];
      if (c == '\\' && at + 1 < text.n) {
        uint8_t e = p[++at];
        if (e >= '0' && e <= '7') {
          int v = 0;
          for (int k = 0; k < 3 && at < text.n && p[at] >= '0' && p[at] <= '7'; ++k, ++at)
            v = v * 8 + (p[at] - '0');
          --at;
          out.push_back(static_cast<uint8_t>(v));
        } else {
          out.push_back(e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e == 'b' ? '\b'
                        : e == 'f' ? '\f' : e);
        }
      } else if (c == '(') {
        ++nesting;
        out.push_back(c);
      } else if (c == ')') {
        if (nesting-- == 0) break;
        out.push_back(c);
      } else {
        out.push_back(c);
      }
    }
    return out;
  }
  uint32_t number = PdfReference(text, at);
  if (!number || depth > 1) return out;
  int64_t object = PdfFindObject(objects.Index(), number);
  if (object >= 0) {
    PdfObject o = PdfObjectAt(file, static_cast<uint64_t>(object), 4096);
    if (o.streamData) {
      uint64_t available = std::min<uint64_t>(file.n - o.streamData, 65536);
      if (PdfFindKey(file, o.begin, o.end, "/FlateDecode") >= 0) {
        out.resize(768);
        out.resize(InflateInto(file.p + o.streamData, available, out.data(), 768));
      } else {
        out.assign(file.p + o.streamData,
                   file.p + o.streamData + std::min<uint64_t>(available, 768));
      }
      return out;
    }
  }
  std::vector<uint8_t> inner = PdfObjectText(file, objects.Index(), number);
  return LookupBytes(objects, Bytes{inner.data(), inner.size()}, 0, depth + 1);
}

// Moves past one value: a name, an array, a reference or a number.
void SkipValue(const Bytes& text, uint64_t& at) {
  PdfSkipSpace(text, at);
  if (at >= text.n) return;
  if (text.p[at] == '/') {
    PdfName(text, at);
  } else if (text.p[at] == '[') {
    int nesting = 0;
    for (; at < text.n; ++at) {
      if (text.p[at] == '[') ++nesting;
      if (text.p[at] == ']' && --nesting == 0) {
        ++at;
        break;
      }
    }
  } else {
    uint32_t skip;
    PdfNumber(text, at, &skip);
    uint64_t q = at;
    if (PdfNumber(text, q, &skip)) {
      PdfSkipSpace(text, q);
      if (q < text.n && text.p[q] == 'R') at = q + 1;
    }
  }
}

// A colour space in `text` at `at`: a name, an array, or a reference to
// either (resolved in `file`).
void TakeColourSpace(Objects& objects, const Bytes& text, uint64_t at, ImageDictionary& d,
                     int depth) {
  const Bytes& file = objects.file;
  PdfSkipSpace(text, at);
  if (at >= text.n || depth > 3) return;
  if (text.p[at] == '/') {
    std::string_view name = PdfName(text, at);
    if (name == "DeviceGray" || name == "CalGray" || name == "G") d.space = Space::kGray;
    else if (name == "DeviceRGB" || name == "CalRGB" || name == "RGB") d.space = Space::kRgb;
    else d.space = Space::kUnsupported;
    return;
  }
  if (text.p[at] == '[') {
    ++at;
    std::string_view family = PdfName(text, at);
    if (family == "CalGray") {
      d.space = Space::kGray;
    } else if (family == "CalRGB") {
      d.space = Space::kRgb;
    } else if (family == "ICCBased") {
      // The profile stream's /N gives the number of components.
      uint32_t number = PdfReference(text, at);
      int64_t object = number ? PdfFindObject(objects.Index(), number) : -1;
      uint32_t n = 0;
      if (object >= 0) {
        PdfObject o = PdfObjectAt(file, static_cast<uint64_t>(object), 4096);
        PdfKeyNumber(file, o.begin, o.end, "/N", &n);
      }
      d.space = n == 1 ? Space::kGray : n == 3 ? Space::kRgb : Space::kUnsupported;
    } else if (family == "Indexed" || family == "I") {
      ImageDictionary base;
      TakeColourSpace(objects, text, at, base, depth + 1);
      SkipValue(text, at);
      uint32_t highest;
      if (!PdfNumber(text, at, &highest) ||
          (base.space != Space::kRgb && base.space != Space::kGray)) {
        d.space = Space::kUnsupported;
        return;
      }
      d.lookup = LookupBytes(objects, text, at, 0);
      d.lookupGray = base.space == Space::kGray;
      d.space = Space::kIndexed;
    } else {
      d.space = Space::kUnsupported;
    }
    return;
  }
  uint32_t number = PdfReference(text, at);
  if (!number) return;
  std::vector<uint8_t> inner = PdfObjectText(file, objects.Index(), number);
  TakeColourSpace(objects, Bytes{inner.data(), inner.size()}, 0, d, depth + 1);
}

ImageDictionary ReadDictionary(Objects& objects, const PdfObject& o) {
  const Bytes& f = objects.file;
  ImageDictionary d;
  int64_t filter = PdfFindKey(f, o.begin, o.end, "/Filter");
  if (filter >= 0) {
    uint64_t at = static_cast<uint64_t>(filter);
    PdfSkipSpace(f, at);
    if (at < f.n && f.p[at] == '[') {
      ++at;
      for (int k = 0; k < 8; ++k) {
        std::string_view name = PdfName(f, at);
        if (name.empty()) break;
        TakeFilter(name, d);
      }
    } else {
      TakeFilter(PdfName(f, at), d);
    }
  }
  PdfKeyNumber(f, o.begin, o.end, "/Width", &d.width);
  PdfKeyNumber(f, o.begin, o.end, "/Height", &d.height);
  PdfKeyNumber(f, o.begin, o.end, "/BitsPerComponent", &d.bitsPerComponent);
  PdfKeyNumber(f, o.begin, o.end, "/Predictor", &d.predictor);
  PdfKeyNumber(f, o.begin, o.end, "/Colors", &d.colors);
  PdfKeyNumber(f, o.begin, o.end, "/Columns", &d.columns);
  d.imageMask = KeyIsTrue(f, o.begin, o.end, "/ImageMask");
  d.blackIs1 = KeyIsTrue(f, o.begin, o.end, "/BlackIs1");
  int64_t k = PdfFindKey(f, o.begin, o.end, "/K");
  if (d.compression == kG4) {
    // /K below 0 is Group 4; 0 (the default) and above are Group 3.
    uint64_t at = k >= 0 ? static_cast<uint64_t>(k) : 0;
    if (k >= 0) PdfSkipSpace(f, at);
    d.ccittNotG4 = k < 0 || at >= f.n || f.p[at] != '-';
  }
  int64_t decode = PdfFindKey(f, o.begin, o.end, "/Decode");
  if (decode >= 0) {
    uint64_t at = static_cast<uint64_t>(decode);
    PdfSkipSpace(f, at);
    uint32_t a, b;
    if (at < f.n && f.p[at] == '[') {
      ++at;
      d.decodeInverted = PdfNumber(f, at, &a) && PdfNumber(f, at, &b) && a == 1 && b == 0;
    }
  }
  int64_t space = PdfFindKey(f, o.begin, o.end, "/ColorSpace");
  if (space >= 0) TakeColourSpace(objects, f, static_cast<uint64_t>(space), d, 0);
  if (d.imageMask) {
    d.space = Space::kGray;
    d.bitsPerComponent = 1;
  }
  if (d.space == Space::kNone) d.space = Space::kGray;
  return d;
}

// Size and depth from the dictionary (all but DCT images).
int32_t TakeGeometry(const ImageDictionary& d, PageRecord* page) {
  page->width = static_cast<int32_t>(std::min<uint32_t>(d.width ? d.width : d.columns, kMaxDimension + 1));
  page->height = static_cast<int32_t>(std::min<uint32_t>(d.height, kMaxDimension + 1));
  const uint32_t components = d.space == Space::kRgb ? 3 : 1;
  const uint32_t bpp = d.bitsPerComponent * components;
  if (int32_t r = CheckPageSize(page->width, page->height, 24); r != kOk) return r;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24) return kErrBitDepth;
  page->bitsPerPixel = static_cast<int8_t>(bpp);
  page->bytesPerLine = RowBytes(page->width, static_cast<int>(bpp));
  return kOk;
}

int32_t Fail(PageRecord* page, int32_t result) {
  FreePage(page);
  return result;
}

}  // namespace

std::vector<uint8_t> DecodeAscii85(const uint8_t* text, uint32_t length) {
  std::vector<uint8_t> out;
  out.reserve(length);
  uint32_t group = 0;
  uint64_t value = 0;
  for (uint32_t i = 0; i < length; ++i) {
    uint8_t c = text[i];
    if (c < 33) continue;
    if (c == '~') break;  // the end marker
    if (c == 'z' && group == 0) {
      out.insert(out.end(), 4, 0);
      continue;
    }
    if (c > 'u') continue;
    value = value * 85 + (c - '!');
    if (++group == 5) {
      if (value > UINT32_MAX) value = UINT32_MAX;
      for (int k = 3; k >= 0; --k) out.push_back(static_cast<uint8_t>(value >> (8 * k)));
      group = 0;
      value = 0;
    }
  }
  if (group > 1) {
    // A final partial group of n characters stands for n - 1 bytes.
    for (uint32_t g = group; g < 5; ++g) value = value * 85 + 84;
    if (value > UINT32_MAX) value = UINT32_MAX;
    for (uint32_t k = 0; k + 1 < group; ++k)
      out.push_back(static_cast<uint8_t>(value >> (8 * (3 - k))));
  }
  return out;
}

int32_t InflatePage(PageRecord* page) {
  uint64_t size = SizeProduct(BytesPerLine(page->width, page->bitsPerPixel),
                              static_cast<uint32_t>(page->height));
  uint8_t* out = AllocateBytes(size);
  if (!out) return kErrMemory;
  InflateInto(page->data + page->dataOffset, page->dataSize, out, size);
  if (page->dataOwnership == kOwnedByPage) Release(page->data);
  page->data = out;
  page->dataOffset = 0;
  page->dataOwnership = kOwnedByPage;
  page->dataSize = static_cast<uint32_t>(size);
  return kOk;
}

int32_t ExtractPdfImage(ImageFile* file, PageRecord* page, int32_t index, bool geometry) {
  const Bytes f{file->view, static_cast<uint64_t>(file->fileSize)};
  const uint64_t offset = file->pageOffsets[index];
  page->photometric = 0;
  page->fillOrderReversed = 0;
  page->layoutFlags = kLayoutTopDown;
  page->stripCount = 0;
  page->planes = 1;
  page->xResolution = page->yResolution = 0;
  PdfObject o = PdfObjectAt(f, offset, 65536);
  if (!o.streamData) return kErrBadHeader;
  Objects objects{file, f};
  ImageDictionary d = ReadDictionary(objects, o);
  if (d.compression < 0 && d.compression != -1) return kErrUnsupported;
  if (d.compression == kG4 && d.ccittNotG4) return kErrUnsupported;
  if (d.space == Space::kUnsupported) return kErrUnsupported;
  if (geometry && d.compression != kJpeg) {
    // The dictionary says it all; a JPEG stream is read for its frame.
    if (int32_t r = TakeGeometry(d, page); r != kOk) return r;
    page->compression = static_cast<int8_t>(d.compression < 0 || d.compression == kFlate
                                                ? kUncompressed : d.compression);
    return kOk;
  }

  // The stream's bytes: /Length when it is a number inside the file, else
  // up to the next image object (or the end of the file).
  uint64_t size;
  uint32_t length;
  if (PdfKeyNumber(f, o.begin, o.end, "/Length", &length) && length <= f.n - o.streamData) {
    size = length;
  } else {
    uint64_t next = index + 1 < file->pageCount ? file->pageOffsets[index + 1] : f.n;
    size = next > o.streamData ? next - o.streamData : f.n - o.streamData;
    size = std::min<uint64_t>(size, f.n - o.streamData);
  }
  page->data = AllocateBytes(size + 1);
  if (!page->data) return kErrMemory;
  page->dataOwnership = kOwnedByPage;
  page->dataOffset = 0;
  page->dataSize = static_cast<uint32_t>(size);
  std::memcpy(page->data, f.p + o.streamData, size);
  if (d.ascii85) {
    std::vector<uint8_t> decoded = DecodeAscii85(page->data, page->dataSize);
    uint8_t* data = AllocateBytes(decoded.size() + 1);
    if (!data) return Fail(page, kErrMemory);
    std::memcpy(data, decoded.data(), decoded.size());
    Release(page->data);
    page->data = data;
    page->dataSize = static_cast<uint32_t>(decoded.size());
  }

  if (d.compression == kJpeg) {
    page->compression = kJpeg;
    int32_t r = ReadJpegFrameHeader(Bytes{page->data, page->dataSize}, 2, page);
    if (r != kOk) return Fail(page, r);
    page->bytesPerLine = RowBytes(page->width, page->bitsPerPixel);
    return kOk;
  }

  if (int32_t r = TakeGeometry(d, page); r != kOk) return Fail(page, r);
  const uint32_t bpp = static_cast<uint32_t>(page->bitsPerPixel);

  if (bpp == 4 || bpp == 8) {
    page->palette = MakeGrayPalette(static_cast<int>(bpp));
    if (!page->palette) return Fail(page, kErrMemory);
    if (d.space == Space::kIndexed) {
      std::memset(page->palette, 0, 768);
      const uint32_t step = d.lookupGray ? 1 : 3;
      for (uint32_t i = 0; i < 256 && (i + 1) * step <= d.lookup.size(); ++i) {
        const uint8_t* e = d.lookup.data() + i * step;
        page->palette[3 * i + 2] = e[0];
        page->palette[3 * i + 1] = e[step == 3 ? 1 : 0];
        page->palette[3 * i] = e[step == 3 ? 2 : 0];
      }
    }
    if (d.decodeInverted && d.space != Space::kIndexed)
      for (int i = 0; i < 768; ++i) page->palette[i] = static_cast<uint8_t>(255 - page->palette[i]);
  }

  if (d.compression == kFlate) {
    if (d.predictor >= 10) {
      // PNG predictors: rows carry a filter byte in front.
      const uint64_t rowBytes = page->bytesPerLine;
      uint64_t room = SizeProduct(rowBytes + 1, static_cast<uint32_t>(page->height));
      uint8_t* rows = AllocateBytes(room);
      if (!rows) return Fail(page, kErrMemory);
      uint64_t got = InflateInto(page->data, page->dataSize, rows, room);
      const uint32_t pixelBytes = bpp >= 8 ? bpp / 8 : 1;
      UndoPngRows(rows, got, static_cast<uint32_t>(rowBytes), pixelBytes);
      Release(page->data);
      page->data = rows;
      page->dataSize = static_cast<uint32_t>(SizeProduct(rowBytes, static_cast<uint32_t>(page->height)));
    } else {
      int32_t r = InflatePage(page);
      if (r != kOk) return Fail(page, r);
    }
    page->compression = kUncompressed;
  } else if (d.compression == -1) {
    page->compression = kUncompressed;
  } else {
    page->compression = static_cast<int8_t>(d.compression);
  }
  if (page->compression == kUncompressed && bpp == 24) {
    uint64_t rows = page->dataSize / page->bytesPerLine;
    for (uint64_t y = 0; y < rows && y < static_cast<uint64_t>(page->height); ++y)
      for (int32_t x = 0; x < page->width; ++x)
        std::swap(page->data[y * page->bytesPerLine + 3 * x],
                  page->data[y * page->bytesPerLine + 3 * x + 2]);
  }
  if (page->compression == kUncompressed &&
      SizeProduct(page->bytesPerLine, static_cast<uint32_t>(page->height)) > page->dataSize)
    return Fail(page, kErrDecompress);

  if (bpp == 1) {
    // Samples of 0 are black unless the decode array swaps them; CCITT data
    // codes white runs as white unless /BlackIs1 says otherwise.
    bool inverted = d.decodeInverted;
    if (page->compression == kG4 && d.blackIs1) inverted = !inverted;
    if (d.space == Space::kIndexed && d.lookup.size() >= 2 * (d.lookupGray ? 1u : 3u)) {
      const uint32_t step = d.lookupGray ? 1 : 3;
      auto entry = [&](uint32_t i) {
        const uint8_t* e = d.lookup.data() + i * step;
        return EntryColour{e[0], e[step == 3 ? 1 : 0], e[step == 3 ? 2 : 0]};
      };
      inverted = TwoColourPhotometric(entry(0), entry(1)) == 1;
    }
    page->photometric = inverted ? 1 : 0;
  }
  return kOk;
}

}  // namespace quillon
