#include "viewer/dialogs/edit_dialogs.h"

#include <algorithm>

#include "imaging/core/page.h"
#include "imaging/pixels/pixels.h"
#include "platform/emulator.h"
#include "viewer/app/main_window.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kHelp = 40011;
constexpr unsigned kResizeCaption = 40018, kCropCaption = 40019, kColorsCaption = 40050;
constexpr unsigned kSizeRefused = 807, kPageRange = 40048, kPageCaption = 40049;
constexpr int32_t kMaxSide = 32767;

void SetRange(HWND dialog, int updown, int32_t low, int32_t high) {
  SendDlgItemMessage(dialog, updown, UDM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
}

void SetNumber(HWND dialog, int id, int64_t value) {
  SetDlgItemText(dialog, id, Format("%lld", static_cast<long long>(value)).c_str());
}

// A page changed in its size: its palette, the view bitmap and the view.
void ShowChangedPage() {
  RebuildPalette();
  RebuildViewBitmap();
  ReView();
}

// ---------------------------------------------------------------------------
// Crop

struct CropState {
  PageCorners corners;
  int32_t width = 0, height = 0;
};

BOOL CropProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static CropState* s = nullptr;
  constexpr int kEdits[] = {430, 431, 432, 433};
  switch (message) {
    case WM_INITDIALOG: {
      s = reinterpret_cast<CropState*>(lParam);
      const int32_t values[] = {s->corners.left, s->corners.right, s->corners.top, s->corners.bottom};
      for (int i = 0; i < 4; ++i) {
        SendDlgItemMessage(dialog, kEdits[i], EM_LIMITTEXT, 7, 0);
        SetRange(dialog, 1090 + i, 1, kMaxSide);
        SetNumber(dialog, kEdits[i], values[i]);
      }
      SetNumber(dialog, 410, s->width);
      SetNumber(dialog, 411, s->height);
      LogMilestone("dialog Crop shown");
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          int64_t v[4];
          bool read = true;
          for (int i = 0; i < 4; ++i) read = ItemNumber(dialog, kEdits[i], &v[i]) && read;
          const int64_t left = v[0], right = v[1], top = v[2], bottom = v[3];
          if (!read || left > s->width - 1 || top > s->height - 1 || right > s->width - 1 ||
              bottom > s->height - 1 || right < left || bottom < top) {
            SetFocus(GetDlgItem(dialog, 430));
            return TRUE;
          }
          s->corners = PageCorners{static_cast<int32_t>(left), static_cast<int32_t>(top), static_cast<int32_t>(right),
                                   static_cast<int32_t>(bottom)};
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        case kHelp: StartHelp(u"Edit"); return TRUE;
        default: return FALSE;
      }
    default: return FALSE;
  }
}

// ---------------------------------------------------------------------------
// Resize

struct ResizeState {
  int32_t width = 0, height = 0, xDpi = 0, yDpi = 0;
  bool dpiMode = false;
  int32_t newWidth = 0, newHeight = 0;
};

void ShowResizeValues(HWND dialog, const ResizeState& s) {
  SetNumber(dialog, 430, s.dpiMode ? s.xDpi : s.width);
  SetNumber(dialog, 431, s.dpiMode ? s.yDpi : s.height);
}

// Both values read from the edits as pixels; false when either is no number
// or lies outside 1..32767.
bool ReadNewSize(HWND dialog, ResizeState& s) {
  int64_t a = 0, b = 0;
  if (!ItemNumber(dialog, 430, &a) || !ItemNumber(dialog, 431, &b)) return false;
  if (s.dpiMode) {
    a = static_cast<int64_t>(static_cast<float>(a) / static_cast<float>(s.xDpi) * static_cast<float>(s.width));
    b = static_cast<int64_t>(static_cast<float>(b) / static_cast<float>(s.yDpi) * static_cast<float>(s.height));
  }
  if (a < 1 || a > kMaxSide || b < 1 || b > kMaxSide) return false;
  s.newWidth = static_cast<int32_t>(a);
  s.newHeight = static_cast<int32_t>(b);
  return true;
}

BOOL ResizeProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static ResizeState* s = nullptr;
  switch (message) {
    case WM_INITDIALOG:
      s = reinterpret_cast<ResizeState*>(lParam);
      for (int id : {430, 431}) SendDlgItemMessage(dialog, id, EM_LIMITTEXT, 20, 0);
      SetRange(dialog, 1090, 1, kMaxSide);
      SetRange(dialog, 1091, 1, kMaxSide);
      CheckRadioButton(dialog, 440, 441, 440);
      CheckDlgButton(dialog, 1001, gSettings.options.keepAspect ? BST_CHECKED : BST_UNCHECKED);
      EnableWindow(GetDlgItem(dialog, 441), s->xDpi >= 50 && s->yDpi >= 50);
      ShowResizeValues(dialog, *s);
      LogMilestone("dialog Resize shown");
      return TRUE;
    case WM_NOTIFY: {
      const auto* h = reinterpret_cast<const NMHDR*>(lParam);
      if (h->code != UDN_DELTAPOS || !gSettings.options.keepAspect) return FALSE;
      const auto* step = reinterpret_cast<const NMUPDOWN*>(lParam);
      const bool widthSpin = h->idFrom == 1090;
      const int64_t w = s->dpiMode ? s->xDpi : s->width, hgt = s->dpiMode ? s->yDpi : s->height;
      const int64_t next = std::clamp<int64_t>(int64_t{step->iPos} + step->iDelta, 1, kMaxSide);
      SetNumber(dialog, widthSpin ? 431 : 430, widthSpin ? KeepProportion(hgt, w, next) : KeepProportion(w, hgt, next));
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case 440:
        case 441:
          s->dpiMode = LOWORD(wParam) == 441;
          ShowResizeValues(dialog, *s);
          return TRUE;
        case 1001: gSettings.options.keepAspect = IsDlgButtonChecked(dialog, 1001) == BST_CHECKED; return TRUE;
        case IDOK:
          if (!ReadNewSize(dialog, *s)) {
            ShowText(dialog, kSizeRefused, LoadText(kResizeCaption), MB_OK | MB_ICONEXCLAMATION);
            return TRUE;
          }
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        case kHelp: StartHelp(u"Edit"); return TRUE;
        default: return FALSE;
      }
    default: return FALSE;
  }
}

// ---------------------------------------------------------------------------
// Modify Colors

constexpr int kDepths[] = {1, 4, 8, 16, 24};

BOOL ColorsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const int depth = static_cast<int>(lParam);
      SetNumber(dialog, 1070, depth);
      HWND list = GetDlgItem(dialog, 1010);
      for (int i = 0; i < 5; ++i) {
        SendMessage(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Format("%d", kDepths[i]).c_str()));
        if (kDepths[i] == depth) SendMessage(list, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
      }
      CheckRadioButton(dialog, 1020, 1021, 1021);
      LogMilestone("dialog Modify Colors shown");
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          const LRESULT row = SendDlgItemMessage(dialog, 1010, CB_GETCURSEL, 0, 0);
          if (row < 0 || row >= 5) {
            EndDialog(dialog, 0);
            return TRUE;
          }
          const bool diffusion = IsDlgButtonChecked(dialog, 1021) == BST_CHECKED;
          EndDialog(dialog, kDepths[row] + (diffusion ? 0x100 : 0));
          return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, 0); return TRUE;
        case kHelp: StartHelp(u"Colors"); return TRUE;
        default: return FALSE;
      }
    default: return FALSE;
  }
}

// ---------------------------------------------------------------------------
// Go to page

struct PageState {
  int32_t count = 0;
  int32_t page = 0;  // 0-based
  bool fixed = false;  // GIF and FLI/FLC: always from the first frame
};

std::u16string PageRangeText(int32_t count) {
  std::u16string text = LoadText(kPageRange);
  const size_t at = text.find(u"%d");
  if (at != std::u16string::npos) text.replace(at, 2, Format("%d", count));
  return text;
}

BOOL PageProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static PageState* s = nullptr;
  switch (message) {
    case WM_INITDIALOG:
      s = reinterpret_cast<PageState*>(lParam);
      SetNumber(dialog, 410, s->count);
      SetRange(dialog, 1090, 1, s->count);
      SetNumber(dialog, 400, s->fixed ? 1 : s->page + 1);
      if (s->fixed) EnableWindow(GetDlgItem(dialog, 400), FALSE);
      LogMilestone("dialog Go to page shown");
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK: {
          int64_t n = 0;
          if (!ItemNumber(dialog, 400, &n) || n < 1 || n > s->count) {
            const std::u16string text = PageRangeText(s->count), caption = LoadText(kPageCaption);
            MessageBox(dialog, text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
            return TRUE;
          }
          s->page = static_cast<int32_t>(n - 1);
          EndDialog(dialog, 0);
          return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, 0); return TRUE;
        case kHelp: StartHelp(u"multipage"); return TRUE;
        default: return FALSE;
      }
    default: return FALSE;
  }
}

bool NeedImage() {
  if (ImageLoaded()) return true;
  MessageBeep(0);
  return false;
}

}  // namespace

PageCorners CornersOnPage(const PageRegion& r, int rotation, int32_t width, int32_t height) {
  const int32_t x0 = r.x, y0 = r.y, x1 = r.x + r.width - 1, y1 = r.y + r.height - 1;
  PageCorners c;
  switch (rotation) {
    case 90: c = {y0, height - 1 - x1, y1, height - 1 - x0}; break;
    case 180: c = {width - 1 - x1, height - 1 - y1, width - 1 - x0, height - 1 - y0}; break;
    case 270: c = {width - 1 - y1, x0, width - 1 - y0, x1}; break;
    default: c = {x0, y0, x1, y1}; break;
  }
  c.left = std::clamp(c.left, 0, std::max(width - 1, 0));
  c.right = std::clamp(c.right, c.left, std::max(width - 1, 0));
  c.top = std::clamp(c.top, 0, std::max(height - 1, 0));
  c.bottom = std::clamp(c.bottom, c.top, std::max(height - 1, 0));
  return c;
}

int32_t KeepProportion(int64_t other, int64_t side, int64_t newSide) {
  if (side <= 0) return 1;
  return static_cast<int32_t>(std::clamp<int64_t>(other * newSide / side, 1, kMaxSide));
}

void CropCommand(HWND hwnd) {
  if (!NeedImage()) return;
  MessageBeep(0);
  const RECT rect = SelectRectangle(hwnd);
  if (!ImageLoaded()) return;
  CropState s;
  s.width = gView.page.width;
  s.height = gView.page.height;
  s.corners = PageCorners{0, 0, s.width - 1, s.height - 1};
  PageRegion region;
  const WindowRect w{rect.left, rect.top - gView.areaTop, rect.right, rect.bottom - gView.areaTop};
  if (RegionUnder(w, CurrentFrame(), CurrentPosition(), &region))
    s.corners = CornersOnPage(region, DisplayedRotation(), s.width, s.height);
  if (ShowDialog(u"CROPDLG", CropProc, reinterpret_cast<LPARAM>(&s)) != IDOK) return;
  const quillon::CropRectangle keep{s.corners.left, s.corners.top, s.corners.right - s.corners.left + 1,
                                    s.corners.bottom - s.corners.top + 1};
  const int32_t result = quillon::CropPage(&gView.page, keep);
  if (result != quillon::kOk) {
    ShowImagingError(result, LoadText(kCropCaption));
    return;
  }
  ShowChangedPage();
  LogMilestone("cropped to %dx%d", gView.page.width, gView.page.height);
}

void ResizeCommand(HWND) {
  if (!NeedImage()) return;
  const quillon::PageRecord& page = gView.page;
  ResizeState s;
  s.width = page.width;
  s.height = page.height;
  s.xDpi = page.xResolution;
  s.yDpi = page.yResolution;
  if (ShowDialog(u"RESIZE", ResizeProc, reinterpret_cast<LPARAM>(&s)) != IDOK) return;
  quillon::PageRecord resized{};
  const int32_t result = quillon::ResizePage(&gView.page, &resized, s.newWidth, s.newHeight);
  if (result != quillon::kOk) {
    ShowImagingError(result, LoadText(kResizeCaption));
    return;
  }
  FreeCurrentPage();
  gView.page = resized;
  gView.pageLoaded = true;
  ShowChangedPage();
  LogMilestone("resized to %dx%d", gView.page.width, gView.page.height);
}

void ModifyColorsCommand(HWND) {
  if (!NeedImage()) return;
  const intptr_t r = ShowDialog(u"ColorMod", ColorsProc, gView.page.bitsPerPixel);
  if (r == 0) return;
  const int32_t method = r <= 256 ? quillon::kDitherNearest : quillon::kDitherDiffusion;
  const int32_t result = quillon::TransformPage(&gView.page, quillon::kConvertDepth, static_cast<int32_t>(r & 255), method);
  if (result != quillon::kOk) {
    ShowImagingError(result, LoadText(kColorsCaption));
    return;
  }
  // The bilevel renderer does not turn the view.
  if (gView.page.bitsPerPixel == 1 && gView.rotation != 0) {
    gView.rotation = 0;
    ShowChangedPage();
  } else {
    RebuildPalette();
    RebuildViewBitmap();
    RenderView(false);
    UpdateZoomWindow(true, true);
  }
  LogMilestone("colours at %d bpp", gView.page.bitsPerPixel);
}

void GoToPageCommand(HWND) {
  const int32_t count = gView.fileOpen ? gView.file.pageCount : 0;
  if (count < 2) {
    MessageBeep(0);
    return;
  }
  PageState s;
  s.count = count;
  s.page = gView.pageNumber;
  s.fixed = gView.file.fileType == quillon::kFileGif || gView.file.fileType == quillon::kFileFli;
  const int32_t before = gView.pageNumber;
  ShowDialog(u"PageBox", PageProc, reinterpret_cast<LPARAM>(&s));
  if (s.page != before) ShowPage(s.page, false, 0);
}

}  // namespace zelmo
