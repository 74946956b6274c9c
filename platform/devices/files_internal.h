// Device paths and the device folder, shared by files, the registry, the
// launcher, the clipboard and the infrared and serial fakes.
#pragma once

#include <string>

#include "platform/kernel/internal.h"

namespace ce::internal {

bool SetupDeviceFolder(const EmulatorConfig& config, std::string* error);
void StopFiles();
// The host folder of "\".
std::string DeviceRoot();
// The emulator's own files (the registry and its lock): a folder inside the
// device folder that the find calls never list.
std::string EmulatorFolder();
// The host path of "\Printouts\NAME", what an emulated printer received;
// the folder is made when missing.
std::string PrintoutPath(const std::string& name);
// Whether a device path lies in a --read-only folder (its writes fail with
// ERROR_WRITE_PROTECT).
bool IsWriteProtected(std::u16string_view path);
// "\My Documents\a.tif" -> "<root>/My Documents/a.tif" (existing names found
// ignoring case); "\Host\tmp\x" -> "/tmp/x".
std::string DeviceToHost(std::u16string_view path);
// The device path of a host path: under "\" when inside the device folder,
// else under "\Host".
std::u16string HostToDevice(const std::string& hostPath);
// * and ? matching, ignoring case; "*.*" matches every name.
bool MatchPattern(std::u16string_view pattern, std::u16string_view name);
FILETIME ToFileTime(int64_t seconds, int64_t nanos);

// The registry (registry.cpp).
bool StartRegistry(const EmulatorConfig& config, const DeviceModel& device, std::string* error);
void StopRegistry();

}  // namespace ce::internal
