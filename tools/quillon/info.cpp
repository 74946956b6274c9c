// quillon info: what each file is and how many pages it has.
#include <cstdio>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "tools/quillon/tool.h"

namespace quillon_tool {

namespace {

constexpr const char* kInfoHelp =
    "Usage: quillon info FILE...\n"
    "\n"
    "Prints, for each file, its name, then its type (the library's display\n"
    "name), its page or frame count and its size in bytes.  Files that cannot\n"
    "be opened are reported on stderr and make the exit status 1.\n";

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
    std::u16string path = quillon::Utf8ToUtf16(name);
    quillon::ImageFile file;
    int32_t result = quillon::OpenImageFile(path.c_str(), &file);
    if (result != quillon::kOk) {
      ReportError(name, result);
      status = kExitFailure;
      continue;
    }
    std::printf("%s\n", name.c_str());
    std::printf("  type: %s\n", quillon::FileTypeName(file.fileType));
    std::printf("  pages: %d\n", file.pageCount);
    std::printf("  size: %d bytes\n", file.fileSize);
    quillon::CloseImageFile(&file);
  }
  return status;
}

}  // namespace quillon_tool
