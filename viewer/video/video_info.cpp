// The Video Information dialog (134): what is known about the clip.
#include <cstdio>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "platform/emulator.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/dialogs/dialog_table.h"
#include "viewer/video/video.h"

namespace zelmo {

using namespace ce;

namespace {

constexpr DWORD kDialogFlags = SHIDIF_DONEBUTTON | SHIDIF_FULLSCREENNOMENUBAR;

// The dialog's lines, in the order of the controls.
struct VideoFacts {
  std::u16string name;
  quillon::ImageFile clip{};
  int width = 0;
  int height = 0;
};

void SetText(HWND dialog, int id, const char* text) {
  SetDlgItemText(dialog, id, quillon::Utf8ToUtf16(text).c_str());
}

void Fill(HWND dialog, const VideoFacts& facts) {
  const quillon::ImageFile& clip = facts.clip;
  char line[64];
  SetDlgItemText(dialog, 1078, facts.name.c_str());
  SetText(dialog, 1073, quillon::FileTypeName(clip.fileType));
  std::snprintf(line, sizeof line, "%d x %d", facts.width, facts.height);
  SetText(dialog, 1070, line);
  std::snprintf(line, sizeof line, "%d", clip.pageCount);
  SetText(dialog, 1075, line);
  // A clip without a frame duration has no rate to show.
  line[0] = '\0';
  if (clip.frameDuration > 0) std::snprintf(line, sizeof line, "%d fps", 1000 / clip.frameDuration);
  SetText(dialog, 1082, line);
  const int64_t ms = static_cast<int64_t>(clip.pageCount) * std::max(clip.frameDuration, 0);
  std::snprintf(line, sizeof line, "%lld.%01lld s", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000 / 100));
  SetText(dialog, 1083, line);
  if (clip.audioSampleRate > 0) std::snprintf(line, sizeof line, "%d Hz", clip.audioSampleRate);
  else std::snprintf(line, sizeof line, "None");
  SetText(dialog, 1084, line);
  std::snprintf(line, sizeof line, "%d", clip.fileSize);
  SetText(dialog, 1076, line);
  SetText(dialog, 1079, quillon::CompressionName(quillon::kMotionJpeg));
}

BOOL VideoInfoProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG: {
      gView.dialogOpen = true;
      SHINITDLGINFO init{SHIDIM_FLAGS, dialog, kDialogFlags};
      SHInitDialog(&init);
      Fill(dialog, *reinterpret_cast<const VideoFacts*>(lParam));
      LogMilestone("video information shown");
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        gView.dialogOpen = false;
        EndDialog(dialog, 1);
        return TRUE;
      }
      return FALSE;
    default: return FALSE;
  }
}

}  // namespace

void ShowVideoInformation(HWND owner) {
  VideoFacts facts;
  const int32_t r = quillon::OpenImageFile(gView.currentPath.c_str(), &facts.clip);
  if (r != quillon::kOk) {
    MessageBox(owner, ImagingErrorText(r).c_str(), FileNameOf(gView.currentPath).c_str(), MB_OK | MB_ICONSTOP);
    return;
  }
  facts.name = FileNameOf(gView.currentPath);
  quillon::PageRecord frame{};
  if (facts.clip.pageCount > 0 && quillon::ReadPageGeometry(&facts.clip, &frame, 0) == quillon::kOk) {
    facts.width = frame.width;
    facts.height = frame.height;
  }
  DialogBoxParam(gApp.instance, DialogResource(MAKEINTRESOURCE(134)), owner, VideoInfoProc,
                 reinterpret_cast<LPARAM>(&facts));
  quillon::CloseImageFile(&facts.clip);
}

}  // namespace zelmo
