// quillon convert: pages saved in one of the fourteen save types.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/core/files.h"
#include "imaging/writers/writers.h"
#include "tools/quillon/pages.h"
#include "tools/quillon/tool.h"

namespace quillon_tool {

namespace {

constexpr const char* kConvertHelp =
    "Usage: quillon convert IN OUT [--type NAME] [--page N | --all [--split]] [--quality 0|1|2]\n"
    "       quillon convert --list-types\n"
    "\n"
    "Decodes page N (1-based, default 1) of IN and saves it as OUT in save type\n"
    "NAME: a name as --list-types prints it (\"TIFF G4\", any case) or its short\n"
    "alias (g4).  Without --type, OUT's extension decides: .tif and .tiff G4\n"
    "for a bilevel page and LZW otherwise, .bmp, .pcx, .dcx, .gif, .cal, .cals,\n"
    ".jpg, .jpeg.  A page whose depth the type cannot hold is refused.\n"
    "With --all every page is saved: into one file for TIFF and DCX, else (and\n"
    "with --split) each in its own file, OUT-001.ext, OUT-002.ext, ...\n"
    "An existing OUT is replaced only once the new file is complete.  IN of\n"
    "'-' is standard input; OUT of '-' standard output (--type needed).\n"
    "\n"
    "  --quality 0|1|2  JPEG quality: 0 finest (default), 2 smallest\n";

// The short name of each save type, in the order of the save types.
constexpr const char* kAliases[] = {"tiff", "tiff-packbits", "tiff-lzw", "mh",  "g3",  "g4",   "tiff-jpeg",
                                    "bmp",  "bmp-rle",       "pcx",      "dcx", "gif", "cals", "jpeg"};
static_assert(std::size(kAliases) == quillon::kSaveTypeCount);

// Save types by extension; a null type is TIFF, its coding by the page.
constexpr struct {
  const char* extension;
  const char* type;
} kExtensions[] = {{".tif", nullptr},   {".tiff", nullptr}, {".bmp", "WIN BMP Uncompressed"},
                   {".pcx", "PCX"},     {".dcx", "DCX"},    {".gif", "GIF"},
                   {".cal", "CALS"},    {".cals", "CALS"},  {".jpg", "JPEG JFIF"},
                   {".jpeg", "JPEG JFIF"}};
constexpr int kTiffByPage = -2;  // G4 for bilevel pages, LZW for the others

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

int TypeByName(const std::string& name) {
  const std::string wanted = Lower(name);
  for (int i = 0; i < quillon::kSaveTypeCount; ++i)
    if (wanted == Lower(quillon::kSaveTypes[i].name) || wanted == kAliases[i]) return i;
  return -1;
}

// The save type OUT's extension names: a type, kTiffByPage, or -1.
int TypeByExtension(const std::string& out) {
  const size_t dot = out.rfind('.'), slash = out.rfind('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return -1;
  const std::string extension = Lower(out.substr(dot));
  for (const auto& e : kExtensions)
    if (extension == e.extension) return e.type ? quillon::FindSaveType(e.type) : kTiffByPage;
  return -1;
}

int TypeForPage(int chosen, int bitsPerPixel) {
  if (chosen != kTiffByPage) return chosen;
  return quillon::FindSaveType(bitsPerPixel == 1 ? "TIFF G4" : "TIFF LZW");
}

int FileTypeOf(int type) {
  return type == kTiffByPage ? static_cast<int>(quillon::kFileTiff) : quillon::kSaveTypes[type].fileType;
}

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

// One conversion: its pages, where they go, and how it went.
struct Job {
  File& file;
  std::string input;
  int type;  // a save type or kTiffByPage
  int32_t quality;
  bool progress;
  int status = kExitOk;

  void Fail(const std::string& name, const std::string& text) {
    if (progress) std::fputc('\n', stderr);
    ReportText(name, text);
    status = kExitFailure;
  }

  // Page `p` decoded and checked against the type it goes into; false
  // (reported) when it cannot be saved.
  bool Load(int32_t p, int count, const std::string& name, OwnedPage& decoded, int* pageType) {
    if (progress) std::fprintf(stderr, "\rconverting page %d of %d", p, count);
    const int32_t r = LoadDisplayPage(file, p - 1, 0, decoded);
    if (r != quillon::kOk) {
      Fail(Shown(input) + " page " + std::to_string(p), quillon::ErrorMessage(r));
      return false;
    }
    *pageType = TypeForPage(type, decoded.record.bitsPerPixel);
    if (!quillon::SaveTypeAccepts(*pageType, decoded.record.bitsPerPixel)) {
      Fail(name, quillon::kDepthRefusedText);
      return false;
    }
    return true;
  }

  // Pages `first` to `last` into one file (standard output for "-"); false
  // when the file could not be written.
  void IntoOneFile(const std::string& out, int32_t first, int32_t last, int32_t count) {
    const bool toStream = IsStandardStream(out);
    const std::string shown = toStream ? "standard output" : out;
    quillon::ReplacingSave save;
    const int memory = toStream ? MemoryFile() : -1;
    if (toStream ? memory < 0 : !quillon::BeginReplacingSave(quillon::Utf8ToUtf16(out).c_str(), &save)) {
      ReportSaveError(shown, false, errno);
      status = kExitFailure;
      return;
    }
    quillon::ImageFile written{};
    written.fileHandle = toStream ? memory : save.handle;
    written.accessMode = quillon::kAccessRead;
    written.fileType = static_cast<int8_t>(FileTypeOf(type));
    bool failed = false;
    for (int32_t p = first; p <= last && !failed; ++p) {
      OwnedPage decoded;
      int pageType;
      if (!Load(p, count, shown, decoded, &pageType)) continue;
      errno = 0;
      const int32_t r = quillon::AppendPage(&written, &decoded.record, pageType, quality);
      if (r == quillon::kErrIo) {
        const int error = errno ? errno : EIO;
        if (progress) std::fputc('\n', stderr);
        ReportSaveError(shown, true, error);
        status = kExitFailure;
        failed = true;
      } else if (r != quillon::kOk) {
        Fail(shown + " page " + std::to_string(p), quillon::ErrorMessage(r));
      }
    }
    // A file without a page is no file: nothing replaces OUT then.
    if (failed || written.pageCount == 0) {
      if (toStream) close(memory);
      else quillon::AbandonReplacingSave(&save);
      status = kExitFailure;
      return;
    }
    const bool done = toStream ? CopyToStandardOutput(memory) : quillon::CommitReplacingSave(&save);
    const int error = errno;
    if (toStream) close(memory);
    if (!done) {
      ReportSaveError(shown, true, error);
      status = kExitFailure;
    }
  }
};

}  // namespace

int RunConvert(int argc, char** argv) {
  std::string typeName;
  int32_t page = 1, quality = 0;
  bool all = false, split = false, pageGiven = false, listTypes = false;
  std::vector<std::string> files;
  enum { kType = 0x100, kPage, kAll, kSplit, kQuality, kListTypes };
  const int parsed = ParseOptions(
      kConvertHelp, argc, argv,
      {{"type", true, kType}, {"page", true, kPage}, {"all", false, kAll}, {"split", false, kSplit},
       {"quality", true, kQuality}, {"list-types", false, kListTypes}},
      [&](int code, const std::string& v) -> std::string {
        switch (code) {
          case kType: typeName = v; return "";
          case kPage: pageGiven = true; return ParsePositive(v, &page) ? "" : "--page needs a number from 1";
          case kAll: all = true; return "";
          case kSplit: split = all = true; return "";
          case kQuality:
            quality = v.size() == 1 ? v[0] - '0' : -1;
            return quality >= 0 && quality <= 2 ? "" : "--quality takes 0, 1 or 2";
          default: listTypes = true; return "";
        }
      },
      files);
  if (parsed != kGoOn) return parsed;
  if (listTypes) {
    for (int i = 0; i < quillon::kSaveTypeCount; ++i)
      std::printf("%-22s %s\n", quillon::kSaveTypes[i].name, kAliases[i]);
    return kExitOk;
  }
  if (files.size() != 2) return UsageError("convert", files.size() > 2 ? "too many file names" : "IN and OUT are needed");
  const std::string &input = files[0], &output = files[1];
  if (all && pageGiven) return UsageError("convert", "--page and --all exclude each other");
  const int byExtension = TypeByExtension(output);
  int type = byExtension;
  if (!typeName.empty()) {
    type = TypeByName(typeName);
    if (type < 0) return UsageError("convert", "unknown save type '" + typeName + "' (see --list-types)");
    if (byExtension != -1 && FileTypeOf(byExtension) != FileTypeOf(type))
      std::fprintf(stderr, "quillon: warning: %s: the extension names another format than %s\n", output.c_str(),
                   quillon::kSaveTypes[type].name);
  } else if (type == -1) {
    return UsageError("convert", IsStandardStream(output) ? "--type is needed to write to standard output"
                                                          : "--type is needed for OUT's extension (see --list-types)");
  }
  const int fileType = FileTypeOf(type);
  const bool manyInOne = fileType == quillon::kFileTiff || fileType == quillon::kFileDcx;
  if (IsStandardStream(output) && all && (split || !manyInOne))
    return UsageError("convert", "standard output takes one file: TIFF or DCX for --all");

  File file(input);
  if (file.result() != quillon::kOk) {
    ReportOpenError(input, file.result(), file.reason());
    return kExitFailure;
  }
  const int32_t count = file.get()->pageCount;
  const int32_t first = all ? 1 : page, last = all ? count : page;
  if (count == 0 || last > count) {
    ReportMissingPage(input, last > count ? last : 1, count);
    return kExitFailure;
  }
  Job job{file, input, type, quality, all && count > 1 && isatty(2)};
  if ((all && manyInOne && !split) || IsStandardStream(output)) {
    job.IntoOneFile(output, first, last, count);
  } else {
    for (int32_t p = first; p <= last; ++p) {
      const std::string name = all ? NumberedName(output, p, count) : output;
      OwnedPage decoded;
      int pageType;
      if (!job.Load(p, count, name, decoded, &pageType)) continue;
      quillon::ReplacingSave save;
      if (!quillon::BeginReplacingSave(quillon::Utf8ToUtf16(name).c_str(), &save)) {
        if (job.progress) std::fputc('\n', stderr);
        ReportSaveError(name, false, errno);
        job.status = kExitFailure;
        continue;
      }
      quillon::ImageFile written{};
      written.fileHandle = save.handle;
      written.accessMode = quillon::kAccessRead;
      written.fileType = quillon::kSaveTypes[pageType].fileType;
      errno = 0;
      int32_t r = quillon::AppendPage(&written, &decoded.record, pageType, quality);
      int error = errno;
      if (r == quillon::kOk && !quillon::CommitReplacingSave(&save)) r = quillon::kErrIo, error = errno;
      if (r == quillon::kOk) continue;
      quillon::AbandonReplacingSave(&save);
      if (r == quillon::kErrIo) {
        if (job.progress) std::fputc('\n', stderr);
        ReportSaveError(name, true, error ? error : EIO);
        job.status = kExitFailure;
      } else {
        job.Fail(name, quillon::ErrorMessage(r));
      }
    }
  }
  if (job.progress) std::fputc('\n', stderr);
  if (!all && count > 1)
    std::fprintf(stderr, "quillon: %s: only page %d of %d was saved (--all saves every page)\n",
                 Shown(input).c_str(), page, count);
  return job.status;
}

}  // namespace quillon_tool
