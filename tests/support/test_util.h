// Helpers shared by the library tests: fixture paths, temporary files and
// owners that release records on every path.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/core/page.h"

namespace testutil {

std::string DataPath(const std::string& name);
std::string SamplePath(const std::string& name);
std::vector<uint8_t> ReadFileBytes(const std::string& path);

// A folder under the system's temporary directory, removed with its
// contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const;
  // Writes `bytes` to a new file in the folder and returns its path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const;

 private:
  std::filesystem::path dir_;
};

// An ImageFile closed when it goes out of scope.
struct OpenedFile {
  quillon::ImageFile file{};
  int32_t result = quillon::kErrIo;
  explicit OpenedFile(const std::string& path);
  ~OpenedFile();
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
};

// A PageRecord released when it goes out of scope.
struct Page {
  quillon::PageRecord record{};
  Page() = default;
  ~Page() { quillon::FreePage(&record); }
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;
  quillon::PageRecord* operator->() { return &record; }
  quillon::PageRecord* get() { return &record; }
};

// Little byte builders for recipe fixtures.
void PutLE16(std::vector<uint8_t>& b, size_t at, uint32_t v);
void PutLE32(std::vector<uint8_t>& b, size_t at, uint32_t v);
void PutBE16(std::vector<uint8_t>& b, size_t at, uint32_t v);
void PutBE32(std::vector<uint8_t>& b, size_t at, uint32_t v);
void PutText(std::vector<uint8_t>& b, size_t at, const std::string& text);

}  // namespace testutil
