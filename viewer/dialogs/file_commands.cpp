#include "viewer/dialogs/file_commands.h"

#include "imaging/core/files.h"
#include "imaging/writers/writers.h"
#include "platform/emulator.h"
#include "viewer/app/jobs.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/app/worker.h"
#include "viewer/browse/file_list.h"
#include "viewer/dialogs/browse_dialogs.h"
#include "viewer/dialogs/dialog_common.h"
#include "viewer/settings/settings.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr int kDevicePocketManagerJ740 = 23;
constexpr unsigned kDepthRefused = 130, kSaveAsCaption = 131, kDeleteQuestion = 810;
constexpr unsigned kCopyFailed = 5040, kDeleteFailed = 5041;

}  // namespace

std::u16string gCopyFolder;

void OpenCommand(HWND) {
  gShared.animating = 0;
  const std::u16string oldFolder = gSettings.curDir;
  const int oldFilter = gSettings.dirFilter, oldCount = gFiles.live.files.count;
  std::u16string path = gSettings.curDir;
  HWND taskBar = gDevice.index == kDevicePocketManagerJ740 ? gApp.taskBar : nullptr;
  if (taskBar) ShowWindow(taskBar, SW_HIDE);
  const intptr_t result = OpenDialog(&path);
  if (taskBar) ShowWindow(taskBar, SW_SHOW);
  if (result != IDOK) return;
  Publish();
  const bool folderOnly = !path.empty() && path.back() == u'\\';
  if (folderOnly) {
    path.pop_back();
    gSettings.curDir = path.empty() ? u"\\" : path;
    KeepCurrentFile(u"");
    LogMilestone("current folder %s", quillon::Utf16ToUtf8(gSettings.curDir).c_str());
  } else {
    gSettings.curDir = FolderOf(path);
    KeepCurrentFile(FileNameOf(path));
    if (SetCurrentPath(path)) OpenCurrentFileAsNew();
  }
  if (gSettings.curDir != oldFolder || gSettings.dirFilter != oldFilter || gFiles.live.files.count != oldCount) {
    gShared.refresh = 1;
    StartJob(kJobThumbnails);
  }
}

void SaveAsCommand(HWND hwnd) {
  if (!ImageLoaded()) {
    MessageBeep(0);
    return;
  }
  std::u16string path = gSettings.curDir;
  if (SaveAsDialog(&path) != IDOK) return;
  const std::u16string caption = LoadText(kSaveAsCaption);
  const int type = gSettings.saveType;
  if (!quillon::SaveTypeAccepts(type, gView.page.bitsPerPixel)) {
    ShowText(hwnd, kDepthRefused, caption, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  gSettings.curDir = FolderOf(path);
  HCURSOR cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  const int32_t result = quillon::SavePage(path.c_str(), &gView.page, type, EncoderQuality());
  SetCursor(cursor);
  if (result != quillon::kOk) {
    ShowImagingError(result, caption);
    return;
  }
  LogMilestone("saved %s", quillon::Utf16ToUtf8(path).c_str());
}

void CopyFileCommand(HWND hwnd) {
  if (!ImageLoaded()) {
    MessageBeep(0);
    return;
  }
  if (gCopyFolder.empty()) gCopyFolder = gSettings.curDir;
  std::u16string folder = gCopyFolder;
  if (FolderDialog(&folder, true) != IDOK) return;
  gCopyFolder = folder;
  const std::u16string name = FileNameOf(gView.currentPath);
  std::u16string target;
  if (!JoinPath(folder, name, &target)) {
    ReportLongPath(hwnd, name);
    return;
  }
  HCURSOR cursor = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  const BOOL copied = CopyFile(gView.currentPath.c_str(), target.c_str(), TRUE);
  SetCursor(cursor);
  if (!copied) {
    ShowText(hwnd, kCopyFailed, name, MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  LogMilestone("copied %s", quillon::Utf16ToUtf8(target).c_str());
}

void DeleteFileCommand(HWND hwnd) {
  if (!ImageLoaded()) {
    MessageBeep(0);
    return;
  }
  const std::u16string name = FileNameOf(gView.currentPath);
  if (ShowText(hwnd, kDeleteQuestion, name, MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  // A multi-page file is kept open (and mapped): the viewer's own handle
  // goes first.
  const int page = gView.pageNumber;
  FreeCurrentPage();
  CloseCurrentFile();
  if (!DeleteFile(gView.currentPath.c_str())) {
    ShowText(hwnd, kDeleteFailed, name, MB_OK | MB_ICONEXCLAMATION);
    gView.pageNumber = page;
    OpenCurrentFile(true);
    return;
  }
  FreeThumbnailOfFile(name);
  InvalidateRect(hwnd, nullptr, FALSE);
  UpdateZoomWindow(true, true);
  LogMilestone("deleted %s", quillon::Utf16ToUtf8(name).c_str());
}

}  // namespace zelmo
