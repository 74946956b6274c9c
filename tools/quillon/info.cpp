// quillon info: what each file is and how many pages it has.
#include <cstdio>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "tools/quillon/pages.h"
#include "tools/quillon/tool.h"

namespace quillon_tool {

namespace {

constexpr const char* kInfoHelp =
    "Usage: quillon info FILE...\n"
    "\n"
    "Prints, for each file, its name, then its type (the library's display\n"
    "name), its page or frame count, its size in bytes and one line per page:\n"
    "  page N: W x H, B bpp, COMPRESSION, X x Y dpi\n"
    "Clips show their frame duration, their sound and their frames' geometry.\n"
    "Files that cannot be opened are reported on stderr and make the exit\n"
    "status 1; a page that cannot be read is reported and also does.\n";

}  // namespace

int RunInfo(const std::vector<std::string>& args) {
  std::vector<std::string> files;
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(kInfoHelp, stdout);
      return kExitOk;
    }
    if (a.size() > 1 && a[0] == '-') return UsageError("info", "unknown option '" + a + "'");
    files.push_back(a);
  }
  if (files.empty()) return UsageError("info", "no file given");

  int status = kExitOk;
  for (const std::string& name : files) {
    File opened(name);
    if (opened.result() != quillon::kOk) {
      ReportOpenError(name, opened.result());
      status = kExitFailure;
      continue;
    }
    const quillon::ImageFile& file = *opened.get();
    std::printf("%s\n", name.c_str());
    std::printf("  type: %s\n", quillon::FileTypeName(file.fileType));
    std::printf("  pages: %d\n", file.pageCount);
    std::printf("  size: %d bytes\n", file.fileSize);
    const bool clip = file.fileType == quillon::kFileAvi || file.fileType == quillon::kFileQuickTime;
    if (clip) {
      std::printf("  frame duration: %d ms\n", file.frameDuration);
      if (file.audioSampleRate > 0)
        std::printf("  sound: %d Hz, %d bytes in %d chunks\n", file.audioSampleRate,
                    file.audioLength, file.audioChunkCount);
      else
        std::printf("  sound: none\n");
    }
    // A clip's frames share one geometry: the first one speaks for all.
    const int32_t listed = clip && file.pageCount > 0 ? 1 : file.pageCount;
    // Geometry only: listing a file costs about what reading its tables
    // does, whatever its pages claim.
    for (int32_t i = 0; i < listed; ++i) {
      OwnedPage page;
      int32_t r = quillon::ReadPageGeometry(opened.get(), &page.record, i);
      if (r != quillon::kOk) {
        std::fflush(stdout);
        ReportError(name + " page " + std::to_string(i + 1), r);
        status = kExitFailure;
        continue;
      }
      const quillon::PageRecord& p = page.record;
      if (clip)
        std::printf("  frames 1-%d: %d x %d, %d bpp, %s\n", file.pageCount, p.width, p.height,
                    p.bitsPerPixel, quillon::CompressionName(p.compression));
      else
        std::printf("  page %d: %d x %d, %d bpp, %s, %d x %d dpi\n", i + 1, p.width, p.height,
                    p.bitsPerPixel, quillon::CompressionName(p.compression), p.xResolution,
                    p.yResolution);
    }
  }
  return status;
}

}  // namespace quillon_tool
