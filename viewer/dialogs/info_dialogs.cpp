#include "viewer/dialogs/info_dialogs.h"

#include <cstring>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "platform/emulator.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/video/video.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kComment = 1042;

struct InfoRequest {
  std::u16string path;
  bool fromPath = false;  // no current page: page 0 of the file, read-only
};

std::u16string Text8(const char (&text)[128]) {
  std::u16string out;
  for (size_t i = 0; i < sizeof(text) && text[i]; ++i) out.push_back(static_cast<unsigned char>(text[i]));
  return out;
}

void FileTimes(HWND dialog, const std::u16string& path) {
  FILETIME created{}, written{};
  HANDLE file = CreateFile(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  bool known = false;
  if (file != INVALID_HANDLE_VALUE) {
    known = GetFileTime(file, &created, nullptr, &written) != FALSE;
    CloseHandle(file);
  }
  SetDlgItemText(dialog, 1080, known ? DateText(created).c_str() : u"");
  SetDlgItemText(dialog, 1081, known ? DateText(written).c_str() : u"");
}

void Fill(HWND dialog, const InfoRequest& r) {
  quillon::ImageFile file{};
  quillon::PageRecord stored{};
  const bool opened = quillon::OpenImageFile(r.path.c_str(), &file) == quillon::kOk;
  const int pageNumber = r.fromPath ? 0 : gView.pageNumber;
  const bool extracted = opened && quillon::ExtractPage(&file, &stored, pageNumber) == quillon::kOk;
  const quillon::PageRecord& page = r.fromPath ? stored : gView.page;
  SetDlgItemText(dialog, 1078, FileNameOf(r.path).c_str());
  if (!r.fromPath || extracted) {
    SetDlgItemText(dialog, 1070, Format("%d x %d", page.width, page.height).c_str());
    SetDlgItemText(dialog, 1072, Format("%d", page.bitsPerPixel).c_str());
    SetDlgItemText(dialog, 1074, Format("%d x %d", page.xResolution, page.yResolution).c_str());
    SetDlgItemText(dialog, 1077, Format("%u", page.dataSize).c_str());
    SetDlgItemText(dialog, 1040, Text8(page.applicationText).c_str());
    SetDlgItemText(dialog, 1041, Text8(page.plainText).c_str());
    SetDlgItemText(dialog, kComment, Text8(page.comment).c_str());
  }
  if (opened) {
    SetDlgItemText(dialog, 1073, Widen(quillon::FileTypeName(file.fileType)).c_str());
    SetDlgItemText(dialog, 1075, Format("%d of %d", pageNumber + 1, file.pageCount).c_str());
    SetDlgItemText(dialog, 1076, Format("%d", file.fileSize).c_str());
  }
  if (extracted) SetDlgItemText(dialog, 1079, Widen(quillon::CompressionName(stored.compression)).c_str());
  quillon::FreePage(&stored);
  if (opened) quillon::CloseImageFile(&file);
  FileTimes(dialog, r.path);
}

BOOL InfoProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  static const InfoRequest* r = nullptr;
  switch (message) {
    case WM_INITDIALOG: {
      r = reinterpret_cast<const InfoRequest*>(lParam);
      SHFullScreen(dialog, SHFS_SHOWSIPBUTTON);
      InitFullScreen(dialog, true);
      SIPINFO sip{};
      sip.cbSize = sizeof(sip);
      sip.fdwFlags = SIPF_DOCKED;
      sip.rcSipRect.top = 300;
      SipSetInfo(&sip);
      SendDlgItemMessage(dialog, kComment, EM_LIMITTEXT, 127, 0);
      if (r->fromPath) SendDlgItemMessage(dialog, kComment, EM_SETREADONLY, TRUE, 0);
      Fill(dialog, *r);
      LogMilestone("dialog Image Information shown");
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
      if (LOWORD(wParam) == IDOK && !r->fromPath && ImageLoaded())
        StoreComment(ItemText(dialog, kComment, 256), gView.page.comment);
      SHFullScreen(dialog, SHFS_HIDESIPBUTTON);
      EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    default: return FALSE;
  }
}

BOOL AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  static HFONT large = nullptr;
  switch (message) {
    case WM_INITDIALOG: {
      InitFullScreen(dialog, true);
      LOGFONT font{};
      font.lfHeight = 24;
      font.lfWeight = 700;
      large = CreateFontIndirect(&font);
      if (large) SendDlgItemMessage(dialog, 1070, WM_SETFONT, reinterpret_cast<WPARAM>(large), FALSE);
      WCHAR oem[128] = {};
      const bool named = SystemParametersInfo(SPI_GETOEMINFO, 127, oem, 0) && oem[0];
      SetDlgItemText(dialog, 1073, (u"Device: " + std::u16string(named ? oem : u"unknown model")).c_str());
      HDC screen = GetDC(nullptr);
      const int depth = GetDeviceCaps(screen, BITSPIXEL);
      ReleaseDC(nullptr, screen);
      SetDlgItemText(dialog, 1074,
                     Format("Screen: %d x %d, %d bits per pixel", gApp.screenWidth, gApp.screenHeight, depth).c_str());
      LogMilestone("dialog About shown");
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL) return FALSE;
      EndDialog(dialog, LOWORD(wParam));
      if (large) DeleteObject(large);
      large = nullptr;
      return TRUE;
    default: return FALSE;
  }
}

}  // namespace

void StoreComment(const std::u16string& text, char (&comment)[128]) {
  size_t n = 0;
  for (; n < text.size() && n < sizeof(comment) - 1; ++n)
    comment[n] = text[n] < 256 ? static_cast<char>(text[n]) : '?';
  comment[n] = 0;
}

void ImageInfoCommand(HWND hwnd) {
  if (!ImageLoaded()) {
    MessageBeep(0);
    return;
  }
  if (gView.file.fileType == quillon::kFileAvi || gView.file.fileType == quillon::kFileQuickTime) {
    ShowVideoInformation(hwnd);
    return;
  }
  InfoRequest r;
  r.path = gView.currentPath;
  ShowDialog(u"105", InfoProc, reinterpret_cast<LPARAM>(&r));
}

void ShowFileInformation(const std::u16string& path) {
  InfoRequest r;
  r.path = path;
  r.fromPath = true;
  ShowDialog(u"105", InfoProc, reinterpret_cast<LPARAM>(&r));
}

void AboutCommand(HWND) { ShowDialog(u"103", AboutProc, 0); }

}  // namespace zelmo
