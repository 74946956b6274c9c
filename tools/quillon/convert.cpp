// quillon convert: pages saved in one of the fourteen save types.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/core/files.h"
#include "imaging/writers/writers.h"
#include "tools/quillon/pages.h"
#include "tools/quillon/tool.h"

namespace quillon_tool {

namespace {

constexpr const char* kConvertHelp =
    "Usage: quillon convert IN OUT --type NAME [--page N | --all] [--quality 0|1|2]\n"
    "       quillon convert --list-types\n"
    "\n"
    "Decodes page N (1-based, default 1) of IN and saves it as OUT in save type\n"
    "NAME, spelled as --list-types prints it (\"TIFF G4\", \"WIN BMP RLE\", ...).\n"
    "With --all every page is saved, each in its own file: OUT-001.ext,\n"
    "OUT-002.ext, ...  A page whose depth the type cannot hold is refused.\n"
    "An existing OUT is replaced only once the new file is complete.\n"
    "\n"
    "  --quality 0|1|2  JPEG quality: 0 finest (default), 2 smallest\n";

// OUT for page `page` of `count`: "name-007.ext".
std::string NumberedName(const std::string& out, int page, int count) {
  size_t dot = out.rfind('.');
  size_t slash = out.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = out.size();
  int digits = count >= 10000 ? 5 : count >= 1000 ? 4 : 3;
  char number[16];
  std::snprintf(number, sizeof number, "-%0*d", digits, page);
  return out.substr(0, dot) + number + out.substr(dot);
}

}  // namespace

int RunConvert(const std::vector<std::string>& args) {
  std::string input, output, typeName;
  int32_t page = 1, quality = 0;
  bool all = false, pageGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool hasValue = i + 1 < args.size();
    if (a == "--help" || a == "-h") {
      std::fputs(kConvertHelp, stdout);
      return kExitOk;
    } else if (a == "--list-types") {
      for (const quillon::SaveType& t : quillon::kSaveTypes) std::printf("%s\n", t.name);
      return kExitOk;
    } else if (a == "--type") {
      if (!hasValue) return UsageError("convert", "--type needs a save type name");
      typeName = args[++i];
    } else if (a == "--page") {
      if (!hasValue || !ParsePositive(args[i + 1], &page))
        return UsageError("convert", "--page needs a number from 1");
      ++i;
      pageGiven = true;
    } else if (a == "--all") {
      all = true;
    } else if (a == "--quality") {
      if (!hasValue || args[i + 1].size() != 1 || args[i + 1][0] < '0' || args[i + 1][0] > '2')
        return UsageError("convert", "--quality takes 0, 1 or 2");
      quality = args[++i][0] - '0';
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError("convert", "unknown option '" + a + "'");
    } else if (input.empty()) {
      input = a;
    } else if (output.empty()) {
      output = a;
    } else {
      return UsageError("convert", "too many file names");
    }
  }
  if (input.empty() || output.empty()) return UsageError("convert", "IN and OUT are needed");
  if (typeName.empty()) return UsageError("convert", "--type is needed (see --list-types)");
  if (all && pageGiven) return UsageError("convert", "--page and --all exclude each other");
  const int type = quillon::FindSaveType(typeName);
  if (type < 0) return UsageError("convert", "unknown save type '" + typeName + "' (see --list-types)");

  File file(input);
  if (file.result() != quillon::kOk) {
    ReportOpenError(input, file.result());
    return kExitFailure;
  }
  const int32_t count = file.get()->pageCount;
  const int32_t first = all ? 1 : page, last = all ? count : page;
  if (count == 0 || last > count) {
    ReportError(input, quillon::kErrPageNotFound);
    return kExitFailure;
  }
  const bool progress = all && count > 1 && isatty(2);
  int status = kExitOk;
  for (int32_t p = first; p <= last; ++p) {
    if (progress) std::fprintf(stderr, "\rconverting page %d of %d", p, count);
    const std::string name = all ? NumberedName(output, p, count) : output;
    OwnedPage decoded;
    int32_t r = LoadDisplayPage(file, p - 1, 0, decoded);
    if (r != quillon::kOk) {
      ReportError(input + " page " + std::to_string(p), r);
      status = kExitFailure;
      continue;
    }
    if (!quillon::SaveTypeAccepts(type, decoded.record.bitsPerPixel)) {
      std::fprintf(stderr, "%squillon: %s: %s\n", progress ? "\n" : "", name.c_str(),
                   quillon::kDepthRefusedText);
      status = kExitFailure;
      continue;
    }
    std::u16string path = quillon::Utf8ToUtf16(name);
    errno = 0;
    r = quillon::SavePage(path.c_str(), &decoded.record, type, quality);
    if (r != quillon::kOk) {
      const int error = errno;
      if (progress) std::fputc('\n', stderr);
      // A file that cannot be written says why (a full disk, a folder that
      // is not there, a target that is no regular file).
      if (r == quillon::kErrIo && error)
        std::fprintf(stderr, "quillon: %s: %s (%s)\n", name.c_str(), quillon::ErrorMessage(r),
                     SaveFailure(name, error).c_str());
      else
        ReportError(name, r);
      status = kExitFailure;
    }
  }
  if (progress) std::fputc('\n', stderr);
  return status;
}

}  // namespace quillon_tool
