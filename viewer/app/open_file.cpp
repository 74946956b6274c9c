// Opening the file at the current-file path and showing it, the bounded
// current-file path, and the error box every imaging failure is shown in.
#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "platform/emulator.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr unsigned kPathTooLong = 5021;

}  // namespace

std::u16string FileNameOf(std::u16string_view path) {
  size_t slash = path.find_last_of(u'\\');
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

bool SetCurrentPath(std::u16string_view path) {
  if (path.size() > kMaxPathChars) {
    std::u16string text = LoadText(kPathTooLong), caption = FileNameOf(path);
    MessageBox(gApp.mainWindow, text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
    return false;
  }
  gView.currentPath.assign(path);
  return true;
}

bool SetCurrentFile(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  if (path.empty() || path.back() != u'\\') path += u'\\';
  path += name;
  return SetCurrentPath(path);
}

void ShowImagingError(int32_t code, const std::u16string& caption) {
  std::u16string text = ImagingErrorText(code);
  MessageBox(gApp.mainWindow, text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
}

int32_t OpenCurrentFile(bool report) {
  const std::u16string name = FileNameOf(gView.currentPath);
  quillon::ImageFile file{};
  int32_t result = quillon::OpenImageFile(gView.currentPath.c_str(), &file);
  if (result != quillon::kOk) {
    if (report) ShowImagingError(result, name);
    return result;
  }
  gView.file = file;
  gView.fileOpen = true;
  // Reset before the load, so that auto-rotation can turn the new page.
  gView.rotation = 0;
  const bool compose = file.fileType == quillon::kFileGif && file.pageCount >= 2;
  result = LoadPage(compose);
  if (result != quillon::kOk) {
    CloseCurrentFile();
    if (report) ShowImagingError(result, name);
    if (gApp.mainWindow) InvalidateRect(gApp.mainWindow, nullptr, FALSE);
    return result;
  }
  RebuildPalette();
  RebuildViewBitmap();
  int mode = gSettings.defView;
  const quillon::PageRecord& page = gView.page;
  if (gView.fullScreen && gSettings.options.autoFullscreen && page.bitsPerPixel > 1) {
    mode = 40033;
    if (page.width > page.height && gApp.screenHeight > gApp.screenWidth) gView.rotation = 90;
  }
  ComputeView(mode);
  SetMode(mode);
  RenderView(true);
  UpdateZoomWindow(true, false);
  SetForegroundWindow(gApp.mainWindow);
  // The page holds its data itself; multi-page files stay open for page
  // moves.
  if (gView.file.pageCount == 1) {
    quillon::CloseImageFile(&gView.file);
    gView.file = quillon::ImageFile{};
    gView.fileOpen = false;
  }
  LogMilestone("opened %s page %d", quillon::Utf16ToUtf8(name).c_str(), gView.pageNumber + 1);
  return quillon::kOk;
}

void FreeCurrentPage() {
  quillon::FreePage(&gView.page);
  gView.page = quillon::PageRecord{};
  gView.pageLoaded = false;
}

void CloseCurrentFile() {
  FreeCurrentPage();
  if (gView.fileOpen) quillon::CloseImageFile(&gView.file);
  gView.file = quillon::ImageFile{};
  gView.fileOpen = false;
}

void OpenCurrentFileAsNew() {
  CloseCurrentFile();
  gView.pageNumber = 0;
  OpenCurrentFile(true);
  if (gApp.mainWindow) InvalidateRect(gApp.mainWindow, nullptr, FALSE);
  UpdateZoomWindow(true, true);
}

}  // namespace zelmo
