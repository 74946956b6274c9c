// quillon info: what each file is and what it holds.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "imaging/core/bytes.h"
#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "tools/quillon/pages.h"
#include "tools/quillon/tool.h"

namespace quillon_tool {

namespace {

constexpr const char* kInfoHelp =
    "Usage: quillon info [--pages] FILE...\n"
    "\n"
    "Prints, for each file, its name, its type (the library's display name),\n"
    "its size in bytes and then:\n"
    "  documents:   one line per page: W x H, B bpp, COMPRESSION, X x Y dpi\n"
    "  animations:  frames, screen size and frame duration on one line\n"
    "  clips:       frames, size, coding and frame duration; then the sound\n"
    "A FILE of '-' is standard input.  Files that cannot be opened are reported\n"
    "on stderr; a page that cannot be read says so on its own line, and a file\n"
    "without a readable page says \"no readable page\".  Each makes the exit\n"
    "status 1.\n"
    "\n"
    "  --pages   animations and clips list every frame too\n";

enum Kind { kDocument, kAnimation, kClip };

Kind KindOf(const quillon::ImageFile& file) {
  if (file.fileType == quillon::kFileAvi || file.fileType == quillon::kFileQuickTime) return kClip;
  if ((file.fileType == quillon::kFileGif && file.pageCount > 1) || file.fileType == quillon::kFileFli)
    return kAnimation;
  return kDocument;
}

// An FLI or FLC file's frame duration in milliseconds: its header's speed,
// in 1/70 s (FLI) or in milliseconds (FLC); 0 when unknown.
int32_t FliFrameMs(const quillon::ImageFile& file) {
  if (file.accessMode != quillon::kAccessMapped || !file.view) return 0;
  const quillon::Bytes header{file.view, static_cast<uint64_t>(file.fileSize)};
  if (header.LE16(4) == 0xAF11) return static_cast<int32_t>(header.LE16(16) * 1000 / 70);
  return static_cast<int32_t>(header.LE32(16));
}

std::string Resolution(const quillon::PageRecord& p) {
  if (p.xResolution <= 0 || p.yResolution <= 0) return "unknown resolution";
  return std::to_string(p.xResolution) + " x " + std::to_string(p.yResolution) + " dpi";
}

// A frame's duration in milliseconds: GIF frames carry their own, FLI
// frames share the header's.
int32_t FrameMs(const quillon::ImageFile& file, const quillon::PageRecord& p) {
  return file.fileType == quillon::kFileGif ? p.frameDelay * 10 : FliFrameMs(file);
}

// The line of one page or frame.
void PrintPage(const quillon::ImageFile& file, Kind kind, int32_t number, const quillon::PageRecord& p) {
  const char* coding = quillon::CompressionName(p.compression);
  if (kind == kDocument)
    std::printf("  page %d: %d x %d, %d bpp, %s, %s\n", number, p.width, p.height, p.bitsPerPixel, coding,
                Resolution(p).c_str());
  else if (kind == kClip)
    std::printf("  frame %d: %d x %d, %d bpp, %s\n", number, p.width, p.height, p.bitsPerPixel, coding);
  else
    std::printf("  frame %d: %d x %d at %d,%d, %d bpp, %s, %d ms\n", number, p.width, p.height, p.frameLeft,
                p.frameTop, p.bitsPerPixel, coding, FrameMs(file, p));
}

// Lists one opened file; false when a page could not be read.
bool PrintFile(const std::string& name, File& opened, bool everyFrame) {
  const quillon::ImageFile& file = *opened.get();
  const Kind kind = KindOf(file);
  std::printf("%s\n  type: %s\n  size: %d bytes\n", name.c_str(), quillon::FileTypeName(file.fileType),
              file.fileSize);
  if (kind == kDocument) std::printf("  pages: %d\n", file.pageCount);
  bool ok = true;
  int32_t readable = 0;
  // Geometry only: listing a file costs about what reading its tables
  // does, whatever its pages claim.
  const int32_t listed = kind == kDocument || everyFrame ? file.pageCount : std::min(file.pageCount, 1);
  for (int32_t i = 0; i < listed; ++i) {
    OwnedPage page;
    const int32_t r = quillon::ReadPageGeometry(opened.get(), &page.record, i);
    if (r != quillon::kOk) {
      // In its place among the other lines, so that logs and pipes keep
      // the order.
      const char* text = quillon::ErrorMessage(r);
      std::printf("  %s %d: cannot be read: %s\n", kind == kDocument ? "page" : "frame", i + 1,
                  text ? text : "unknown error");
      ok = false;
      continue;
    }
    ++readable;
    const quillon::PageRecord& p = page.record;
    if (i == 0 && kind == kAnimation) {
      // GIF frames are placed on a logical screen; FLI frames are the screen.
      const bool gif = file.fileType == quillon::kFileGif;
      std::printf("  animation: %d frames, %d x %d, %d ms a frame\n", file.pageCount, gif ? p.screenWidth : p.width,
                  gif ? p.screenHeight : p.height, FrameMs(file, p));
    } else if (i == 0 && kind == kClip) {
      std::printf("  clip: %d frames, %d x %d, %d bpp, %s, %d ms a frame\n", file.pageCount, p.width, p.height,
                  p.bitsPerPixel, quillon::CompressionName(p.compression), file.frameDuration);
      if (file.audioSampleRate > 0)
        std::printf("  sound: %d Hz, %d bytes in %d chunks\n", file.audioSampleRate, file.audioLength,
                    file.audioChunkCount);
      else
        std::printf("  sound: none\n");
    }
    if (kind == kDocument || everyFrame) PrintPage(file, kind, i + 1, p);
  }
  if (readable == 0) {
    std::printf("  no readable page\n");
    ok = false;
  }
  return ok;
}

}  // namespace

int RunInfo(int argc, char** argv) {
  bool everyFrame = false;
  std::vector<std::string> files;
  const int parsed = ParseOptions(
      kInfoHelp, argc, argv, {{"pages", false, 'p'}},
      [&](int, const std::string&) {
        everyFrame = true;
        return std::string();
      },
      files);
  if (parsed != kGoOn) return parsed;
  if (files.empty()) return UsageError("info", "no file given");

  int status = kExitOk;
  for (const std::string& name : files) {
    File opened(name);
    if (opened.result() != quillon::kOk) {
      ReportOpenError(name, opened.result(), opened.reason());
      status = kExitFailure;
    } else if (!PrintFile(name, opened, everyFrame)) {
      status = kExitFailure;
    }
  }
  return status;
}

}  // namespace quillon_tool
