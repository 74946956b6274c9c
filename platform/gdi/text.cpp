// Text through FreeType with DejaVu Sans standing in for the handheld's
// sans-serif face: anti-aliased on 16- and 24-bit surfaces, thresholded on
// palette and gray surfaces; DrawText, ExtTextOut and text measurement.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>
#include <unistd.h>

#include "platform/gdi/gdi_internal.h"

namespace ce {

using namespace internal;

namespace internal {

namespace {

struct Glyph {
  int width = 0;
  int height = 0;
  int left = 0;
  int top = 0;
  int advance = 0;
  std::vector<uint8_t> coverage;
};

struct TextState {
  FT_Library library = nullptr;
  FT_Face faces[2] = {nullptr, nullptr};  // regular, bold
  bool tried = false;
  std::map<std::tuple<int, bool, char32_t>, Glyph> glyphs;
};

TextState& Text() {
  static TextState* state = new TextState;  // guarded by the GDI lock
  return *state;
}

const char* const kFontFolders[] = {
    "/usr/share/fonts/truetype/dejavu/",
    "/usr/share/fonts/dejavu/",
    "/usr/share/fonts/TTF/",
    "/usr/local/share/fonts/",
    "/usr/share/fonts/truetype/",
};

FT_Face OpenFace(const char* file) {
  TextState& s = Text();
  if (const char* dir = std::getenv("ZELMO_FONT_DIR")) {
    std::string path = std::string(dir) + "/" + file;
    FT_Face face;
    if (access(path.c_str(), R_OK) == 0 && FT_New_Face(s.library, path.c_str(), 0, &face) == 0)
      return face;
  }
  for (const char* folder : kFontFolders) {
    std::string path = std::string(folder) + file;
    FT_Face face;
    if (access(path.c_str(), R_OK) == 0 && FT_New_Face(s.library, path.c_str(), 0, &face) == 0)
      return face;
  }
  return nullptr;
}

FT_Face Face(bool bold) {
  TextState& s = Text();
  if (!s.tried) {
    s.tried = true;
    if (FT_Init_FreeType(&s.library) == 0) {
      s.faces[0] = OpenFace("DejaVuSans.ttf");
      s.faces[1] = OpenFace("DejaVuSans-Bold.ttf");
    }
    if (!s.faces[0]) {
      std::fprintf(stderr,
                   "zelmo: DejaVuSans.ttf not found (install fonts-dejavu-core); text is not "
                   "drawn\n");
    }
  }
  FT_Face f = s.faces[bold ? 1 : 0];
  return f ? f : s.faces[0];
}

const Glyph& GetGlyph(const Font& font, char32_t c) {
  TextState& s = Text();
  auto key = std::make_tuple(font.pixelHeight, font.bold, c);
  auto it = s.glyphs.find(key);
  if (it != s.glyphs.end()) return it->second;
  Glyph g;
  if (FT_Face face = Face(font.bold)) {
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(font.pixelHeight));
    if (FT_Load_Char(face, c, FT_LOAD_RENDER) == 0) {
      FT_GlyphSlot slot = face->glyph;
      const FT_Bitmap& bm = slot->bitmap;
      g.width = static_cast<int>(bm.width);
      g.height = static_cast<int>(bm.rows);
      g.left = slot->bitmap_left;
      g.top = slot->bitmap_top;
      g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
      if (bm.pixel_mode == FT_PIXEL_MODE_GRAY && g.width > 0 && g.height > 0) {
        g.coverage.resize(static_cast<size_t>(g.width) * g.height);
        for (int y = 0; y < g.height; ++y) {
          const uint8_t* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
          std::copy_n(row, g.width, g.coverage.data() + static_cast<size_t>(y) * g.width);
        }
      } else {
        g.width = g.height = 0;
      }
    }
  } else {
    g.advance = std::max(1, font.pixelHeight / 2);
  }
  if (s.glyphs.size() > 4096) s.glyphs.clear();
  return s.glyphs.emplace(key, std::move(g)).first->second;
}

char32_t NextChar(std::u16string_view text, size_t* i) {
  char32_t c = text[(*i)++];
  if (c >= 0xD800 && c < 0xDC00 && *i < text.size() && text[*i] >= 0xDC00 && text[*i] < 0xE000) {
    c = 0x10000 + ((c - 0xD800) << 10) + (text[(*i)++] - 0xDC00);
  }
  return c;
}

bool Smooth(const Surface& s) {
  switch (s.format->kind) {
    case PixelKind::kRgb555:
    case PixelKind::kRgb565:
    case PixelKind::kRgb24:
    case PixelKind::kRgb32: return true;
    default: return false;
  }
}

}  // namespace

void ResetText() { Text().glyphs.clear(); }

FontMetrics MeasureFont(const Font& font) {
  FontMetrics m{};
  if (FT_Face face = Face(font.bold)) {
    FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(font.pixelHeight));
    const FT_Size_Metrics& sm = face->size->metrics;
    m.ascent = static_cast<int>((sm.ascender + 63) >> 6);
    m.descent = static_cast<int>((-sm.descender + 63) >> 6);
    m.averageWidth = GetGlyph(font, U'x').advance;
  } else {
    m.ascent = font.pixelHeight * 4 / 5 + 1;
    m.descent = font.pixelHeight / 5 + 1;
    m.averageWidth = std::max(1, font.pixelHeight / 2);
  }
  m.height = m.ascent + m.descent;
  return m;
}

int MeasureRun(const Font& font, std::u16string_view text) {
  int width = 0;
  for (size_t i = 0; i < text.size();) width += GetGlyph(font, NextChar(text, &i)).advance;
  return width;
}

void DrawRun(const Target& t, const Font& font, int x, int baseline, std::u16string_view text,
             COLORREF color) {
  const bool smooth = Smooth(t.surface);
  const uint32_t solid = ColorToRaw(t.surface, color);
  const int tr = GetRValue(color), tg = GetGValue(color), tb = GetBValue(color);
  int penX = x + t.origin.x;
  const int base = baseline + t.origin.y;
  for (size_t i = 0; i < text.size();) {
    const Glyph& g = GetGlyph(font, NextChar(text, &i));
    for (const RECT& c : t.clip) {
      for (int gy = 0; gy < g.height; ++gy) {
        int py = base - g.top + gy;
        if (py < c.top || py >= c.bottom) continue;
        for (int gx = 0; gx < g.width; ++gx) {
          int px = penX + g.left + gx;
          if (px < c.left || px >= c.right) continue;
          int a = g.coverage[static_cast<size_t>(gy) * g.width + gx];
          if (a == 0) continue;
          if (!smooth) {
            if (a >= 128) WriteRaw(t.surface, px, py, solid);
            continue;
          }
          if (a == 255) {
            WriteRaw(t.surface, px, py, solid);
            continue;
          }
          COLORREF under = RawToColor(t.surface, ReadRaw(t.surface, px, py));
          auto mix = [a](int fg, int bg) { return (fg * a + bg * (255 - a) + 127) / 255; };
          COLORREF out = RGB(mix(tr, GetRValue(under)), mix(tg, GetGValue(under)),
                             mix(tb, GetBValue(under)));
          WriteRaw(t.surface, px, py, ColorToRaw(t.surface, out));
        }
      }
    }
    penX += g.advance;
  }
}

const Font& DcFont(const Target& t) {
  Font* f = FindFont(t.dc->font ? t.dc->font : Gdi().stock[SYSTEM_FONT]);
  if (!f) f = FindFont(Gdi().stock[SYSTEM_FONT]);
  return *f;
}

}  // namespace internal

// ---------------------------------------------------------------------------
// DC text attributes

COLORREF SetTextColor(HDC hdc, COLORREF color) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Dc* dc = FindDc(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->textColor;
  dc->textColor = color;
  return old;
}

COLORREF GetTextColor(HDC hdc) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Dc* dc = FindDc(hdc);
  return dc ? dc->textColor : CLR_INVALID;
}

COLORREF SetBkColor(HDC hdc, COLORREF color) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Dc* dc = FindDc(hdc);
  if (!dc) return CLR_INVALID;
  COLORREF old = dc->bkColor;
  dc->bkColor = color;
  return old;
}

COLORREF GetBkColor(HDC hdc) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Dc* dc = FindDc(hdc);
  return dc ? dc->bkColor : CLR_INVALID;
}

int SetBkMode(HDC hdc, int mode) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Dc* dc = FindDc(hdc);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int old = dc->bkMode;
  dc->bkMode = mode;
  return old;
}

int GetBkMode(HDC hdc) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Dc* dc = FindDc(hdc);
  return dc ? dc->bkMode : 0;
}

// ---------------------------------------------------------------------------
// Drawing and measuring

namespace {

std::u16string_view Span(LPCWSTR text, int count) {
  if (!text) return {};
  if (count < 0) return std::u16string_view(text);
  size_t n = 0;
  while (n < static_cast<size_t>(count) && text[n]) ++n;
  return std::u16string_view(text, n);
}

// "&x" shows as "x"; "&&" as "&".
std::u16string StripPrefix(std::u16string_view s) {
  std::u16string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'&' && i + 1 < s.size()) ++i;
    out.push_back(s[i]);
  }
  return out;
}

std::vector<std::u16string> SplitLines(const Font& font, std::u16string_view text, UINT format,
                                       int width) {
  std::vector<std::u16string> lines;
  if (format & DT_SINGLELINE) {
    std::u16string one;
    for (char16_t c : text) {
      if (c != u'\r' && c != u'\n') one.push_back(c);
    }
    lines.push_back(one);
    return lines;
  }
  std::u16string current;
  auto flushWords = [&](std::u16string_view para) {
    if (!(format & DT_WORDBREAK)) {
      lines.emplace_back(para);
      return;
    }
    std::u16string line;
    size_t i = 0;
    while (i < para.size()) {
      size_t j = i;
      while (j < para.size() && para[j] != u' ') ++j;
      std::u16string word(para.substr(i, j - i));
      std::u16string trial = line.empty() ? word : line + u" " + word;
      if (!line.empty() && MeasureRun(font, trial) > width) {
        lines.push_back(line);
        line = word;
      } else {
        line = trial;
      }
      i = j;
      while (i < para.size() && para[i] == u' ') ++i;
    }
    lines.push_back(line);
  };
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == u'\n') {
      std::u16string_view para = text.substr(start, i - start);
      if (!para.empty() && para.back() == u'\r') para.remove_suffix(1);
      flushWords(para);
      start = i + 1;
    }
  }
  return lines;
}

std::vector<RECT> Restrict(const std::vector<RECT>& clip, RECT r) {
  std::vector<RECT> out;
  for (const RECT& c : clip) {
    RECT x;
    if (IntersectRect(&x, &c, &r)) out.push_back(x);
  }
  return out;
}

}  // namespace

int DrawText(HDC hdc, LPCWSTR text, int count, RECT* rect, UINT format) {
  if (!rect) return 0;
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return 0;
  const Font& font = DcFont(t);
  std::u16string_view raw = Span(text, count);
  std::u16string shown = (format & DT_NOPREFIX) ? std::u16string(raw) : StripPrefix(raw);
  FontMetrics m = MeasureFont(font);
  std::vector<std::u16string> lines =
      SplitLines(font, shown, format, rect->right - rect->left);
  int total = static_cast<int>(lines.size()) * m.height;
  if (format & DT_CALCRECT) {
    int widest = 0;
    for (const auto& l : lines) widest = std::max(widest, MeasureRun(font, l));
    rect->right = rect->left + widest;
    rect->bottom = rect->top + total;
    return total;
  }
  int y = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) y = rect->top + (rect->bottom - rect->top - m.height) / 2;
    else if (format & DT_BOTTOM) y = rect->bottom - m.height;
  }
  if (!(format & DT_NOCLIP)) {
    RECT r = *rect;
    OffsetRect(&r, t.origin.x, t.origin.y);
    t.clip = Restrict(t.clip, r);
  }
  for (const auto& line : lines) {
    int w = MeasureRun(font, line);
    int x = rect->left;
    if (format & DT_CENTER) x = rect->left + (rect->right - rect->left - w) / 2;
    else if (format & DT_RIGHT) x = rect->right - w;
    if (t.dc->bkMode == OPAQUE) {
      FillRaw(t, RECT{x, y, x + w, y + m.height},
              ColorToRaw(t.surface, ResolveColor(t, t.dc->bkColor)), kOpCopy);
    }
    DrawRun(t, font, x, y + m.ascent, line, ResolveColor(t, t.dc->textColor));
    y += m.height;
  }
  return total;
}

BOOL ExtTextOut(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                const int*) {
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return FALSE;
  const Font& font = DcFont(t);
  std::u16string_view s = Span(text, static_cast<int>(count));
  FontMetrics m = MeasureFont(font);
  uint32_t bk = ColorToRaw(t.surface, ResolveColor(t, t.dc->bkColor));
  if ((options & ETO_OPAQUE) && rect) FillRaw(t, *rect, bk, kOpCopy);
  if ((options & ETO_CLIPPED) && rect) {
    RECT r = *rect;
    OffsetRect(&r, t.origin.x, t.origin.y);
    t.clip = Restrict(t.clip, r);
  }
  int w = MeasureRun(font, s);
  if (t.dc->bkMode == OPAQUE && !(options & ETO_OPAQUE))
    FillRaw(t, RECT{x, y, x + w, y + m.height}, bk, kOpCopy);
  DrawRun(t, font, x, y + m.ascent, s, ResolveColor(t, t.dc->textColor));
  return TRUE;
}

BOOL GetTextExtentPoint32(HDC hdc, LPCWSTR text, int count, SIZE* size) {
  if (!size) return FALSE;
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return FALSE;
  const Font& font = DcFont(t);
  size->cx = MeasureRun(font, Span(text, count));
  size->cy = MeasureFont(font).height;
  return TRUE;
}

BOOL GetTextMetrics(HDC hdc, TEXTMETRIC* metrics) {
  if (!metrics) return FALSE;
  std::lock_guard<std::mutex> lk(Gdi().lock);
  Target t;
  if (!ResolveTarget(hdc, &t)) return FALSE;
  const Font& font = DcFont(t);
  FontMetrics m = MeasureFont(font);
  *metrics = TEXTMETRIC{m.height, m.ascent, m.descent, m.height - font.pixelHeight, 0,
                        m.averageWidth, MeasureRun(font, u"W"), font.bold ? FW_BOLD : FW_NORMAL};
  return TRUE;
}

}  // namespace ce
