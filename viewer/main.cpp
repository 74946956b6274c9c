// zelmo: the viewer on the handheld emulator.  The emulator's options come
// first (device, device folder, headless, script, ...); what is left is the
// viewer's own command line, a file to open.
#include <span>

#include "platform/emulator.h"
#include "viewer/app/startup.h"

std::span<const ce::ResourceFile> ViewerResources();

int main(int argc, char** argv) {
  ce::SetProgramResources(ViewerResources());
  return ce::RunEmulator(argc, argv, zelmo::WinMain, ZELMO_SAMPLES);
}
