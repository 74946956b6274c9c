// zelmo: the viewer on the handheld emulator.  The emulator's options come
// first (device, device folder, headless, script, ...); what is left is the
// viewer's own command line, a file to open.
#include <span>

#include "platform/emulator.h"
#include "viewer/app/startup.h"

std::span<const ce::ResourceFile> ViewerResources();

int main(int argc, char** argv) {
  ce::SetProgramResources(ViewerResources());
  static const char kUsage[] =
      "Usage: zelmo [OPTIONS] [FILE]\n"
      "Zelmo, the image, fax and video viewer, on the handheld emulator.\n"
      "FILE (a host path, or a device path such as '\\My Documents\\a.tif') opens at\n"
      "once in Glimpse mode: no thumbnails, no settings saved.  When a viewer already\n"
      "runs on the same device folder, FILE is handed to it and this one ends.\n";
  return ce::RunEmulator(argc, argv, zelmo::WinMain, ZELMO_SAMPLES, kUsage);
}
