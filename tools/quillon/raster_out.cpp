// Writing decoded pages as PNG (libpng) and as binary PNM, one row at a
// time from the page's own buffer, through a file that replaces the target
// only once it is complete.
#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cctype>
#include <cstring>
#include <vector>

#include "imaging/core/files.h"
#include "imaging/core/runlist.h"
#include "imaging/pixels/pixels.h"
#include "tools/quillon/pages.h"
#include "tools/quillon/tool.h"

namespace quillon_tool {

namespace {

// How the rows of a page come out: bilevel pages as bits, gray palettes as
// one sample a pixel, everything else as Red, Green, Blue.
struct Rows {
  const quillon::PageRecord* page;
  int channels;  // 1 or 3 (bilevel: 1)
  bool bilevel;
  uint8_t* bits;  // a packed row of the page's width, plus one spare byte
};

bool EqualsIgnoringCase(const std::string& a, const char* b) {
  if (a.size() != std::strlen(b)) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  return true;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  if (s.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i) {
    char a = s[s.size() - tail.size() + i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != tail[i]) return false;
  }
  return true;
}

// Whether every row the writers will read lies in the page's data.
bool Readable(const quillon::PageRecord& p) {
  if (p.width < 1 || p.height < 1 || !p.data) return false;
  if (p.bitsPerPixel == 1 && p.compression == quillon::kRunLists) return true;
  const uint32_t rowBytes = quillon::RowBytes(p.width, p.bitsPerPixel);
  if (p.compression != quillon::kUncompressed || rowBytes == 0 || p.bytesPerLine < rowBytes)
    return false;
  return quillon::SizeSum(quillon::SizeProduct(p.bytesPerLine, static_cast<uint32_t>(p.height - 1)),
                          rowBytes) <= p.dataSize;
}

// Row y of a bilevel page into rows.bits: packed, 1 = white, MSB first.
void BilevelRow(const Rows& rows, int32_t y) {
  const quillon::PageRecord& p = *rows.page;
  if (p.compression == quillon::kRunLists)
    quillon::RunsToRow(quillon::LinePointers(p)[y], p.width, rows.bits);
  else
    std::memcpy(rows.bits, p.data + p.dataOffset + static_cast<uint64_t>(y) * p.bytesPerLine,
                quillon::RowBytes(p.width, 1));
}

// Row y (counted from the top of the picture) as 8-bit samples.
void SampleRow(const Rows& rows, int32_t y, uint8_t* out) {
  const quillon::PageRecord& p = *rows.page;
  if (!rows.bilevel) return quillon::PictureRow(p, y, rows.channels == 1, out);
  BilevelRow(rows, y);
  for (int32_t x = 0; x < p.width; ++x) out[x] = (rows.bits[x / 8] >> (7 - x % 8)) & 1 ? 255 : 0;
}

// libpng's errors end the write quietly: the caller reports the reason.
void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void PngWarning(png_structp, png_const_charp) {}

// Kept free of objects with destructors: libpng reports errors (a full
// disk among them) by longjmp, which would skip them.
bool WritePng(const Rows& rows, FILE* out, uint8_t* row) {
  const quillon::PageRecord& p = *rows.page;
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, out);
  png_set_IHDR(png, info, static_cast<png_uint_32>(p.width), static_cast<png_uint_32>(p.height),
               rows.bilevel ? 1 : 8, rows.channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < p.height; ++y) {
    // One-bit gray rows are the packed rows themselves: 1 = white.
    if (rows.bilevel) BilevelRow(rows, y);
    else SampleRow(rows, y, row);
    png_write_row(png, rows.bilevel ? rows.bits : row);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool WritePnm(const Rows& rows, FILE* out, char kind, uint8_t* row) {
  const quillon::PageRecord& p = *rows.page;
  const uint32_t w = static_cast<uint32_t>(p.width);
  std::fprintf(out, "P%c\n%d %d\n", kind, p.width, p.height);
  if (kind != '4') std::fprintf(out, "255\n");
  std::vector<uint8_t> line(kind == '6' ? 3 * w : kind == '5' ? w : (w + 7) / 8);
  for (int32_t y = 0; y < p.height; ++y) {
    SampleRow(rows, y, row);
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* s = row + (rows.channels == 3 ? 3 * x : x);
      // Gray by luminance from colour rows.
      const uint8_t gray = rows.channels == 1
                               ? s[0]
                               : static_cast<uint8_t>((s[0] * 299 + s[1] * 587 + s[2] * 114 + 500) / 1000);
      switch (kind) {
        case '6':
          for (int c = 0; c < 3; ++c) line[3 * x + c] = rows.channels == 3 ? s[c] : gray;
          break;
        case '5': line[x] = gray; break;
        default:  // '4': 1 = black in a bitmap
          if (x % 8 == 0) line[x / 8] = 0;
          if (gray < 128) line[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
          break;
      }
    }
    if (std::fwrite(line.data(), 1, line.size(), out) != line.size()) return false;
  }
  return true;
}

}  // namespace

char PictureFormat(const std::string& name) {
  static constexpr struct {
    const char* word;
    char format;
  } kFormats[] = {{"png", 'p'}, {"ppm", '6'}, {"pgm", '5'}, {"pbm", '4'}};
  for (const auto& f : kFormats)
    if (EqualsIgnoringCase(name, f.word) || EndsWith(name, std::string(".") + f.word)) return f.format;
  return 0;
}

bool WritePage(const quillon::PageRecord& page, const std::string& path, char format) {
  const std::string shown = IsStandardStream(path) ? "standard output" : path;
  const int bpp = page.bitsPerPixel;
  if ((bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24) || !Readable(page)) {
    ReportText(shown, "the page cannot be written (damaged page data)");
    return false;
  }
  const size_t w = static_cast<size_t>(page.width);
  std::vector<uint8_t> row(3 * w + 8), bits(w / 8 + 8);
  Rows rows{&page, bpp == 1 || quillon::HasGrayPalette(page) ? 1 : 3, bpp == 1, bits.data()};

  quillon::ReplacingSave save;
  const bool toFile = !IsStandardStream(path);
  if (toFile && !quillon::BeginReplacingSave(quillon::Utf8ToUtf16(path).c_str(), &save)) {
    ReportSaveError(path, false, errno);
    return false;
  }
  // The stream has a descriptor of its own, so that closing it leaves the
  // save's to be flushed and renamed.
  const int copy = ::dup(toFile ? save.handle : 1);
  FILE* out = copy >= 0 ? ::fdopen(copy, "wb") : nullptr;
  bool ok = out != nullptr;
  if (!out && copy >= 0) ::close(copy);
  if (ok) {
    ok = format == 'p' ? WritePng(rows, out, row.data()) : WritePnm(rows, out, format, row.data());
    ok = std::fclose(out) == 0 && ok;
  }
  if (ok && toFile) ok = quillon::CommitReplacingSave(&save);
  const int error = errno;
  if (!ok) {
    if (toFile) quillon::AbandonReplacingSave(&save);
    ReportSaveError(shown, true, error ? error : EIO);
  }
  return ok;
}

}  // namespace quillon_tool
