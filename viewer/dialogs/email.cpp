#include "viewer/dialogs/email.h"

#include <algorithm>

#include "imaging/pixels/pixels.h"
#include "imaging/writers/writers.h"
#include "platform/emulator.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr unsigned kErrorCaption = 809;
constexpr int32_t kMaxSide = 32767, kMaxEnlargement = 8;

constexpr const char16_t* kSizeNames[] = {u"Full Size", u"1/4 Size", u"1/16 Size", u"1/64 Size", u"Fit to display"};

// Send-as types: name, extension, and the save type written (by depth).
struct SendType {
  const char16_t* name;
  const char16_t* extension;
  int saveType;  // row of quillon::kSaveTypes
};
constexpr SendType kSendTypes[] = {
    {u"JPEG", u"jpg", 13},  // JPEG JFIF
    {u"GIF", u"gif", 11},   // GIF
    {u"BMP", u"bmp", 7},    // WIN BMP Uncompressed
    {u"PCX", u"pcx", 9},    // PCX
    {u"TIFF", u"tif", 2},   // TIFF LZW; bilevel pages go as TIFF G4
};
constexpr int kTiffG4 = 5;
constexpr int kSendTypeCount = 5;

int TypeInUse() { return gSettings.emailType >= 0 && gSettings.emailType < kSendTypeCount ? gSettings.emailType : 0; }
int SizeInUse() { return gSettings.emailSize >= 0 && gSettings.emailSize <= 4 ? gSettings.emailSize : 4; }

// The depth the type's writer wants before compressing; 0 keeps it.
int PreparedDepth(int type, int depth) {
  switch (type) {
    case 0: return depth < 24 ? 24 : 0;
    case 1: return depth >= 9 ? 8 : 0;
    case 3:
    case 4: return depth == 16 ? 24 : 0;
    default: return 0;
  }
}

void EnableLists(HWND dialog) {
  const BOOL on = IsDlgButtonChecked(dialog, 1001) != BST_CHECKED;
  EnableWindow(GetDlgItem(dialog, 1010), on);
  EnableWindow(GetDlgItem(dialog, 1011), on);
}

void Send(HWND dialog) {
  const LRESULT size = SendDlgItemMessage(dialog, 1010, CB_GETCURSEL, 0, 0);
  const LRESULT type = SendDlgItemMessage(dialog, 1011, CB_GETCURSEL, 0, 0);
  if (size >= 0) gSettings.emailSize = static_cast<int32_t>(size);
  if (type >= 0) gSettings.emailType = static_cast<int32_t>(type);
  gSettings.options.emailOriginal = IsDlgButtonChecked(dialog, 1001) == BST_CHECKED;
  std::u16string path;
  HCURSOR cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  const int32_t result = PrepareAttachment(gView.page, gView.currentPath, SizeInUse(), TypeInUse(),
                                           gSettings.options.emailOriginal, &path);
  SetCursor(cursor);
  if (result != quillon::kOk) {
    const std::u16string text = ImagingErrorText(result), caption = LoadText(kErrorCaption);
    MessageBox(dialog, text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
    return;
  }
  const std::u16string commandLine = u"-attach \"" + path + u"\"";
  StartProgramNamed(gApp.platformFlag ? u"tmail.exe" : u"pmail.exe", commandLine.c_str());
}

BOOL EmailProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      SHFullScreen(dialog, SHFS_SHOWSIPBUTTON);
      InitFullScreen(dialog, true);
      for (const char16_t* name : kSizeNames) SendDlgItemMessage(dialog, 1010, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
      for (const SendType& t : kSendTypes) SendDlgItemMessage(dialog, 1011, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t.name));
      SendDlgItemMessage(dialog, 1010, CB_SETCURSEL, static_cast<WPARAM>(SizeInUse()), 0);
      SendDlgItemMessage(dialog, 1011, CB_SETCURSEL, static_cast<WPARAM>(TypeInUse()), 0);
      CheckDlgButton(dialog, 1001, gSettings.options.emailOriginal ? BST_CHECKED : BST_UNCHECKED);
      EnableLists(dialog);
      LogMilestone("dialog Email Options shown");
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case 1001: EnableLists(dialog); return TRUE;
        case 1050: StartHelp(u"email"); return TRUE;
        case IDOK:
          Send(dialog);
          EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        default: return FALSE;
      }
    default: return FALSE;
  }
}

}  // namespace

AttachmentSize AttachmentSizeFor(int32_t width, int32_t height, int reduce) {
  int64_t w = width, h = height;
  switch (reduce) {
    case 1: w /= 2, h /= 2; break;
    case 2: w /= 4, h /= 4; break;
    case 3: w /= 8, h /= 8; break;
    case 4: {
      // The smaller of the two steps in 1/256, no finer than the largest
      // enlargement the scaler makes.
      const int64_t f = std::max<int64_t>({std::min(w * 256 / 240, h * 256 / 320), 256 / kMaxEnlargement, 1});
      w = w * 256 / f;
      h = h * 256 / f;
      break;
    }
    default: break;
  }
  return {static_cast<int32_t>(std::clamp<int64_t>(w, 1, kMaxSide)),
          static_cast<int32_t>(std::clamp<int64_t>(h, 1, kMaxSide))};
}

int32_t PrepareAttachment(const quillon::PageRecord& page, const std::u16string& currentPath, int reduce, int type,
                          bool original, std::u16string* path) {
  if (original) {
    *path = currentPath;
    return quillon::kOk;
  }
  if (type < 0 || type >= kSendTypeCount) type = 0;
  const AttachmentSize size = AttachmentSizeFor(page.width, page.height, reduce);
  quillon::PageRecord copy{};
  int32_t result = quillon::ResizePage(&page, &copy, size.width, size.height);
  const int depth = result == quillon::kOk ? PreparedDepth(type, copy.bitsPerPixel) : 0;
  if (depth) result = quillon::TransformPage(&copy, quillon::kConvertDepth, depth, quillon::kDitherNearest);
  const std::u16string target = std::u16string(u"\\temp\\zelmo.") + kSendTypes[type].extension;
  if (result == quillon::kOk) {
    const int saveType = type == 4 && copy.bitsPerPixel == 1 ? kTiffG4 : kSendTypes[type].saveType;
    result = quillon::SavePage(target.c_str(), &copy, saveType, EncoderQuality());
  }
  quillon::FreePage(&copy);
  if (result == quillon::kOk) *path = target;
  return result;
}

void EmailCommand(HWND) {
  if (!ImageLoaded()) {
    MessageBeep(0);
    return;
  }
  ShowDialog(u"135", EmailProc, 0);
}

}  // namespace zelmo
