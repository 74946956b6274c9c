// The handheld models the viewer knows: detection from the OEM string and
// the platform's registry values, the frame-buffer address of screen
// memory, the hardware buttons of each model, and where a screen pixel lies
// in screen memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "viewer/app/state.h"

namespace zelmo {

constexpr int kKnownDeviceCount = 25;

std::span<const DeviceProfile> KnownDevices();

// Row of the known-device table for this handheld, or -1.
int DetectDeviceIndex();

// Screen memory of row `index` at `depth` bits per pixel for a screen
// `height` lines high; probes every address from the probe start down to it.
uint32_t ComputeFrameBuffer(int index, int depth, int height);

// The buttons of row `index` (-1: unknown model).
ButtonLayout ChooseButtonLayout(int index, bool largeScreen);

// Whether the "Windows CE Tools" platform is the Pocket PC one.
bool ReadPlatformFlag();

// Where logical pixel (x, y) of a width x height screen lies in screen
// memory laid out as `profile` says: the byte, and for depths below 8 the
// shift of the pixel's bits inside it.
struct ScreenSpot {
  size_t byte;
  int shift;
};
ScreenSpot LocateScreenPixel(const DeviceProfile& profile, int depth, int width, int height, int x,
                             int y);
// Bytes of screen memory that layout spans.
size_t ScreenMemoryBytes(const DeviceProfile& profile, int depth, int width, int height);

}  // namespace zelmo
