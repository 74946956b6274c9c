#include "support/test_util.h"

#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>

namespace testutil {

std::string DataPath(const std::string& name) {
  return std::string(QUILLON_TEST_DATA) + "/" + name;
}

std::string SamplePath(const std::string& name) {
  return std::string(QUILLON_SAMPLES) + "/" + name;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                              std::istreambuf_iterator<char>());
}

TempDir::TempDir() {
  std::random_device rd;
  dir_ = std::filesystem::temp_directory_path() /
         ("quillon-test-" + std::to_string(getpid()) + "-" + std::to_string(rd()));
  std::filesystem::create_directories(dir_);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::string TempDir::Path(const std::string& name) const {
  return (dir_ / name).string();
}

std::string TempDir::Write(const std::string& name,
                           const std::vector<uint8_t>& bytes) const {
  std::string path = Path(name);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return path;
}

OpenedFile::OpenedFile(const std::string& path) {
  std::u16string wide = quillon::Utf8ToUtf16(path);
  result = quillon::OpenImageFile(wide.c_str(), &file);
}

OpenedFile::~OpenedFile() {
  if (file.accessMode != quillon::kAccessClosed) quillon::CloseImageFile(&file);
}

static void Grow(std::vector<uint8_t>& b, size_t size) {
  if (b.size() < size) b.resize(size);
}

void PutLE16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Grow(b, at + 2);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void PutLE32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  PutLE16(b, at, v);
  PutLE16(b, at + 2, v >> 16);
}
void PutBE16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Grow(b, at + 2);
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}
void PutBE32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  PutBE16(b, at, v >> 16);
  PutBE16(b, at + 2, v);
}
void PutText(std::vector<uint8_t>& b, size_t at, const std::string& text) {
  Grow(b, at + text.size());
  std::copy(text.begin(), text.end(), b.begin() + static_cast<long>(at));
}

}  // namespace testutil
