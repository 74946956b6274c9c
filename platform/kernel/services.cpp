// Starting and stopping the services behind the windowing system: the
// device folder and its files, the registry, the second-instance service.
#include "platform/devices/files_internal.h"

namespace ce::internal {

bool StartInstanceService(const EmulatorConfig& config);
void StopInstanceService();
void ResetClipboard();
void InstallHelpPages();

bool StartServices(const EmulatorConfig& config, std::string* error) {
  if (!SetupDeviceFolder(config, error)) return false;
  InstallHelpPages();
  const DeviceModel* device = ConfiguredModel(config);
  if (!device || !StartRegistry(config, *device, error)) return false;
  ResetClipboard();
  if (config.secondInstanceService) StartInstanceService(config);
  return true;
}

void StopServices() {
  StopInstanceService();
  ResetClipboard();
  StopRegistry();
  StopFiles();
}

}  // namespace ce::internal
