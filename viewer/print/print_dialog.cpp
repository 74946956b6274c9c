// The Print command: the "PRINT" dialog that picks pages, resolution, port,
// scaling and orientation, and the modeless "PRINTDLGBOX" that shows the
// job's progress and offers Cancel.
#include <algorithm>
#include <cstdio>

#include "imaging/core/files.h"
#include "platform/emulator.h"
#include "viewer/app/state.h"
#include "viewer/app/worker.h"
#include "viewer/dialogs/dialog_table.h"
#include "viewer/print/print.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kAll = 1020, kCurrent = 1021, kFrom = 1022;
constexpr int kFromEdit = 1040, kToEdit = 1041, kFromSpin = 1090, kToSpin = 1091;
constexpr int kResolutionList = 1010, kPortList = 1011;
constexpr int kFitToPageButton = 1023, kActualSizeButton = 1024, kOneToOneButton = 1025;
constexpr int kPortrait = 1026, kLandscape = 1027;
constexpr int kHelpButton = 1050, kPicture = 1051;
constexpr const char16_t* kPorts[] = {u"IRDA", u"COM1", u"COM2", u"COM3", u"COM4"};

struct DialogPages {
  int count;
  int current;  // 1-based
};
DialogPages gPages{1, 1};

void Message(HWND owner, const std::u16string& text) {
  MessageBox(owner, text.c_str(), LoadText(5019).c_str(), MB_OK | MB_ICONEXCLAMATION);
}

void EnableRange(HWND dialog, bool on) {
  for (int id : {kFromEdit, kToEdit, kFromSpin, kToSpin}) EnableWindow(GetDlgItem(dialog, id), on);
}

void InitPrintDialog(HWND dialog) {
  SHINITDLGINFO info{SHIDIM_FLAGS, dialog, SHIDIF_SIZEDLGFULLSCREEN};
  SHInitDialog(&info);
  Settings& s = gSettings;
  CheckRadioButton(dialog, kAll, kFrom, kAll);
  for (int id : {kFromSpin, kToSpin}) SendDlgItemMessage(dialog, id, UDM_SETRANGE, 0, MAKELPARAM(gPages.count, 1));
  SetDlgItemInt(dialog, kFromEdit, 1, FALSE);
  SetDlgItemInt(dialog, kToEdit, static_cast<UINT>(gPages.count), FALSE);
  EnableRange(dialog, false);
  for (const PrintResolution& r : kPrintResolutions)
    SendDlgItemMessage(dialog, kResolutionList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(r.text));
  const int resolution = s.printRes >= 0 && s.printRes < kPrintResolutionCount ? s.printRes : 2;
  SendDlgItemMessage(dialog, kResolutionList, CB_SETCURSEL, resolution, 0);
  for (const char16_t* p : kPorts) SendDlgItemMessage(dialog, kPortList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p));
  SendDlgItemMessage(dialog, kPortList, CB_SETCURSEL, s.printPort >= 0 && s.printPort <= 4 ? s.printPort : 0, 0);
  int method = s.printMethod >= 0 && s.printMethod <= 2 ? s.printMethod : kFitToPage;
  if (gView.page.xResolution < 10 || gView.page.yResolution < 10) {
    EnableWindow(GetDlgItem(dialog, kActualSizeButton), FALSE);
    if (method == kActualSize) method = kFitToPage;
  }
  CheckRadioButton(dialog, kFitToPageButton, kOneToOneButton, kFitToPageButton + method);
  CheckRadioButton(dialog, kPortrait, kLandscape, s.printOrient == 1 ? kLandscape : kPortrait);
}

// The page range of the dialog; false after telling the user what is wrong.
bool ReadRange(HWND dialog, int* first, int* last) {
  if (IsDlgButtonChecked(dialog, kAll)) {
    *first = 1;
    *last = gPages.count;
    return true;
  }
  if (IsDlgButtonChecked(dialog, kCurrent)) {
    *first = *last = gPages.current;
    return true;
  }
  BOOL ok1 = FALSE, ok2 = FALSE;
  const int from = static_cast<int>(GetDlgItemInt(dialog, kFromEdit, &ok1, FALSE));
  const int to = static_cast<int>(GetDlgItemInt(dialog, kToEdit, &ok2, FALSE));
  if (ok1 && ok2 && from > to) {
    Message(dialog, LoadText(5020));
    return false;
  }
  // Pages beyond the file would be asked for and silently skipped.
  if (!ok1 || !ok2 || from < 1 || from > gPages.count || to < 1 || to > gPages.count) {
    char text[300];
    std::snprintf(text, sizeof(text), quillon::Utf16ToUtf8(LoadText(40048)).c_str(), gPages.count);
    Message(dialog, quillon::Utf8ToUtf16(text));
    return false;
  }
  *first = from;
  *last = to;
  return true;
}

void DrawPicture(const DRAWITEMSTRUCT* item) {
  HWND dialog = GetParent(item->hwndItem);
  const int icon = IsDlgButtonChecked(dialog, kLandscape) ? 1 : 0;
  const RECT& r = item->rcItem;
  const int x = r.left + (r.right - r.left - 48) / 2, y = r.top + (r.bottom - r.top - 48) / 2;
  FillRect(item->hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
  if (gApp.platformFlag) {
    ImageList_Draw(gView.printIcons, icon, item->hDC, x, y, ILD_TRANSPARENT);
    return;
  }
  ImageList_Draw(gView.printIcons, icon, item->hDC, x, y, ILD_NORMAL);
  const RECT frame{x - 1, y - 1, x + 49, y + 49};
  HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  const RECT edges[] = {{frame.left, frame.top, frame.right, frame.top + 1},
                        {frame.left, frame.bottom - 1, frame.right, frame.bottom},
                        {frame.left, frame.top, frame.left + 1, frame.bottom},
                        {frame.right - 1, frame.top, frame.right, frame.bottom}};
  for (const RECT& e : edges) FillRect(item->hDC, &e, black);
}

BOOL PrintDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: InitPrintDialog(dialog); return TRUE;
    case WM_DRAWITEM:
      if (wParam != kPicture) return FALSE;
      DrawPicture(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kAll:
        case kCurrent:
        case kFrom: EnableRange(dialog, IsDlgButtonChecked(dialog, kFrom) != 0); return TRUE;
        case kPortrait:
        case kLandscape: InvalidateRect(GetDlgItem(dialog, kPicture), nullptr, FALSE); return TRUE;
        case kHelpButton: {
          PROCESS_INFORMATION info{};
          if (CreateProcess(u"peghelp.exe", u"file:zlv.htm#print", nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            nullptr, &info)) {
            if (info.hProcess) CloseHandle(info.hProcess);
            if (info.hThread) CloseHandle(info.hThread);
          }
          return TRUE;
        }
        case IDOK: {
          int first = 1, last = 1;
          if (!ReadRange(dialog, &first, &last)) return TRUE;
          Settings& s = gSettings;
          s.printRes = static_cast<int32_t>(SendDlgItemMessage(dialog, kResolutionList, CB_GETCURSEL, 0, 0));
          s.printPort = static_cast<int32_t>(SendDlgItemMessage(dialog, kPortList, CB_GETCURSEL, 0, 0));
          if (s.printRes < 0) s.printRes = 2;
          if (s.printPort < 0) s.printPort = 0;
          s.printMethod = IsDlgButtonChecked(dialog, kOneToOneButton)   ? kOneToOne
                          : IsDlgButtonChecked(dialog, kActualSizeButton) ? kActualSize
                                                                          : kFitToPage;
          s.printOrient = IsDlgButtonChecked(dialog, kLandscape) ? 1 : 0;
          gPrint.firstPage = first;
          gPrint.lastPage = last;
          EndDialog(dialog, IDOK);
          return TRUE;
        }
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

BOOL ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      gShared.abortFlag = 1;
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY: {
      HWND self = dialog;
      gPrint.progress.compare_exchange_strong(self, nullptr);
      return TRUE;
    }
  }
  return FALSE;
}

// True when the job has been posted with its progress dialog up.
bool RunPrintDialog(HWND mainWindow) {
  gPages.count = gView.fileOpen ? std::max(1, gView.file.pageCount) : 1;
  gPages.current = std::clamp(gView.pageNumber + 1, 1, gPages.count);
  gView.dialogOpen = true;
  intptr_t answer = DialogBoxParam(gApp.instance, DialogResource(u"PRINT"), mainWindow, PrintDialogProc, 0);
  gView.dialogOpen = false;
  if (answer != IDOK) return false;
  gPrint.path = gView.currentPath;
  gPrint.resolution = gSettings.printRes;
  gPrint.port = gSettings.printPort;
  gPrint.method = gSettings.printMethod;
  gPrint.orientation = gSettings.printOrient;
  gPrint.mainWindow = mainWindow;
  // The progress dialog a failed connection left open goes: its Cancel
  // would stop the new job.
  if (HWND old = gPrint.progress.exchange(nullptr)) DestroyWindow(old);
  HWND progress = CreateDialogParam(gApp.instance, DialogResource(u"PRINTDLGBOX"), mainWindow, ProgressDialogProc, 0);
  gPrint.progress = progress;
  LogMilestone("print job posted");
  StartJob(kJobPrint);
  return progress != nullptr;
}

}  // namespace

void PrintCommand(HWND mainWindow) {
  if (!gView.pageLoaded) {
    MessageBeep(0);
  } else if (gView.page.bitsPerPixel != 1) {
    Message(mainWindow, LoadText(5018));
  } else if (RunPrintDialog(mainWindow)) {
    return;  // the progress dialog keeps the focus
  }
  SetFocus(mainWindow);
}

}  // namespace zelmo
