// Files and records for the tests: fixture paths, temporary folders, owners
// that release records on every path, byte builders, and the one way the
// tests run the `quillon` tool and other programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/core/page.h"

namespace testutil {

using Bytes = std::vector<uint8_t>;

std::string DataPath(const std::string& name);
// The files of a folder of tests/data whose names end in one of
// `extensions`, as "folder/name", sorted.
std::vector<std::string> DataFiles(const std::string& folder, std::initializer_list<const char*> extensions);
std::string SamplePath(const std::string& name);
Bytes ReadFileBytes(const std::string& path);

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
  std::string Write(const std::string& name, const Bytes& bytes) const;

 private:
  std::filesystem::path dir_;
};

// An ImageFile closed when it goes out of scope; opened from a path, or
// from bytes written to a folder of its own (kept while the file is open).
struct OpenedFile {
  TempDir dir;
  quillon::ImageFile file{};
  int32_t result = quillon::kErrIo;
  explicit OpenedFile(const std::string& path);
  explicit OpenedFile(const Bytes& bytes);
  ~OpenedFile();
  OpenedFile(const OpenedFile&) = delete;
  OpenedFile& operator=(const OpenedFile&) = delete;
  quillon::ImageFile* operator->() { return &file; }
  // ExtractPage of page `index` into `page`.
  int32_t Extract(quillon::PageRecord* page, int32_t index = 0);
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

// A coded page over `data`, which stays the caller's, as a reader hands it
// on: one block, top line first, lines of RowBytes.
quillon::PageRecord CodedPage(const Bytes& data, int compression, int32_t width, int32_t height,
                              int bitsPerPixel = 1);

// ConvertPage into `out`, set to the display form of the source: run lists
// for 1 bpp, pixels otherwise.
int32_t Decode(quillon::PageRecord* source, Page& out, int32_t flags = 0);

// `text` with every character but letters and digits turned to '_', as a
// parameterised test's name.
std::string TestName(std::string text);

// The parts one after the other.
Bytes Concat(std::initializer_list<Bytes> parts);
// Little-endian and big-endian numbers and text at `at`, growing `b`.
void PutLE16(Bytes& b, size_t at, uint32_t v);
void PutLE32(Bytes& b, size_t at, uint32_t v);
void PutBE16(Bytes& b, size_t at, uint32_t v);
void PutBE32(Bytes& b, size_t at, uint32_t v);
void PutText(Bytes& b, size_t at, const std::string& text);

// A program's exit status (-1 when it did not exit) and what it printed on
// standard output and standard error.
struct RunResult {
  int status = -1;
  std::string output;
};
RunResult Shell(const std::string& command);
// `quillon ARGS`; paths in ARGS are quoted with Quote.
RunResult Tool(const std::string& arguments);
std::string Quote(const std::string& text);

}  // namespace testutil
