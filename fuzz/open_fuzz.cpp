// Every format: open, extract every page (up to a few), decode it to the
// display form with conversion flags taken from the first input byte.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "imaging/core/core.h"
#include "imaging/core/files.h"

namespace {

const std::string& TemporaryPath() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir ? dir : "/tmp") + "/quillon-fuzz-" + std::to_string(getpid());
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LimitMemory();
  // The input is the whole file, so that real files are seeds as they are;
  // the conversion flags come from its length.
  static constexpr int32_t kFlags[8] = {0, 4, 1, 0x20, 0x40, 0x80, 0x24, 0x61};
  const int32_t flags = kFlags[size & 7];
  FILE* f = std::fopen(TemporaryPath().c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  std::u16string path = quillon::Utf8ToUtf16(TemporaryPath());
  quillon::ImageFile file;
  if (quillon::OpenImageFile(path.c_str(), &file) != quillon::kOk) return 0;
  // Frames that build on the previous one keep their record between pages.
  quillon::PageRecord page{};
  const int32_t pages = file.pageCount < 6 ? file.pageCount : 6;
  for (int32_t i = 0; i < pages; ++i) {
    if (file.fileType != quillon::kFileFli) quillon::FreePage(&page);
    if (quillon::ExtractPage(&file, &page, i) != quillon::kOk) continue;
    fuzz::Touch(page);
    quillon::PageRecord decoded{};
    decoded.compression = static_cast<int8_t>(page.bitsPerPixel == 1 ? quillon::kRunLists : quillon::kUncompressed);
    if (quillon::ConvertPage(&page, &decoded, flags) == quillon::kOk) {
      fuzz::Touch(decoded);
      quillon::FreePage(&decoded);
    }
  }
  quillon::FreePage(&page);
  quillon::CloseImageFile(&file);
  return 0;
}
