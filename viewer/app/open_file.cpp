// Opening the file at the current-file path, and the error box every
// imaging failure is shown in.
#include "imaging/core/core.h"
#include "viewer/app/main_window.h"
#include "viewer/app/state.h"

namespace zelmo {

using namespace ce;

namespace {

std::u16string FileName(const std::u16string& path) {
  size_t slash = path.find_last_of(u'\\');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void ShowImagingError(int32_t code, const std::u16string& caption) {
  std::u16string text = ImagingErrorText(code);
  MessageBox(gApp.mainWindow, text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
}

int32_t OpenCurrentFile(bool report) {
  quillon::ImageFile file{};
  int32_t result = quillon::OpenImageFile(gView.currentPath.c_str(), &file);
  if (result != quillon::kOk) {
    if (report) ShowImagingError(result, FileName(gView.currentPath));
    return result;
  }
  gView.file = file;
  gView.fileOpen = true;
  gView.rotation = 0;
  return quillon::kOk;
}

void CloseCurrentFile() {
  if (gView.pageLoaded) quillon::FreePage(&gView.page);
  gView.page = quillon::PageRecord{};
  gView.pageLoaded = false;
  if (gView.fileOpen) quillon::CloseImageFile(&gView.file);
  gView.file = quillon::ImageFile{};
  gView.fileOpen = false;
}

void OpenCurrentFileAsNew() {
  CloseCurrentFile();
  gView.pageNumber = 0;
  OpenCurrentFile(true);
  if (gApp.mainWindow) InvalidateRect(gApp.mainWindow, nullptr, FALSE);
}

}  // namespace zelmo
