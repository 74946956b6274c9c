// The process-wide values and their reset.
#include "viewer/app/state.h"

#include "imaging/core/files.h"

#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"

namespace zelmo {

AppState gApp;
DeviceState gDevice;
SharedFlags gShared;
ViewState gView;

void ResetProcessState() {
  gApp = AppState{};
  gDevice.index = -1;
  gDevice.frameBuffer = 0;
  gDevice.buttons = ButtonLayout{};
  gShared.abortFlag = 0;
  gShared.videoPlaying = 0;
  gShared.animating = 0;
  gShared.thumbnailJob = 0;
  gShared.refresh = 0;
  gShared.thumbnailProgress = 0;
  gShared.workerRunning = false;
  gShared.jobsTaken = 0;
  gView = ViewState{};
  gSettings = Settings{};
  gFiles = FileList{};
}

std::u16string LoadText(unsigned id) {
  ce::WCHAR buffer[256];
  int n = ce::LoadString(gApp.instance, id, buffer, 256);
  return std::u16string(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

std::u16string ImagingErrorText(int32_t code) {
  std::u16string text = LoadText(static_cast<unsigned>(quillon::ErrorStringId(code)));
  // The library's own text where the table has none.
  if (text.empty() && quillon::ErrorMessage(code)) text = quillon::Utf8ToUtf16(quillon::ErrorMessage(code));
  return text;
}

}  // namespace zelmo
