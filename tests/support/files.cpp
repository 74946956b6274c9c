#include "support/support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>

namespace testutil {

std::string DataPath(const std::string& name) { return std::string(QUILLON_TEST_DATA) + "/" + name; }

std::vector<std::string> DataFiles(const std::string& folder, std::initializer_list<const char*> extensions) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(DataPath(folder)))
    for (const char* extension : extensions)
      if (e.path().extension() == extension) names.push_back(folder + "/" + e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string SamplePath(const std::string& name) { return std::string(QUILLON_SAMPLES) + "/" + name; }

Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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

std::string TempDir::Path(const std::string& name) const { return (dir_ / name).string(); }

std::string TempDir::Write(const std::string& name, const Bytes& bytes) const {
  std::string path = Path(name);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

OpenedFile::OpenedFile(const std::string& path) {
  result = quillon::OpenImageFile(quillon::Utf8ToUtf16(path).c_str(), &file);
}

OpenedFile::OpenedFile(const Bytes& bytes) {
  result = quillon::OpenImageFile(quillon::Utf8ToUtf16(dir.Write("file.bin", bytes)).c_str(), &file);
}

OpenedFile::~OpenedFile() {
  if (file.accessMode != quillon::kAccessClosed) quillon::CloseImageFile(&file);
}

int32_t OpenedFile::Extract(quillon::PageRecord* page, int32_t index) {
  return result == quillon::kOk ? quillon::ExtractPage(&file, page, index) : result;
}

quillon::PageRecord CodedPage(const Bytes& data, int compression, int32_t width, int32_t height, int bitsPerPixel) {
  quillon::PageRecord page{};
  page.data = const_cast<uint8_t*>(data.data());
  page.dataSize = static_cast<uint32_t>(data.size());
  page.dataOwnership = quillon::kOwnedByView;
  page.compression = static_cast<int8_t>(compression);
  page.width = width;
  page.height = height;
  page.bitsPerPixel = static_cast<int8_t>(bitsPerPixel);
  page.planes = 1;
  page.rowsPerStrip = height;
  page.bytesPerLine = quillon::RowBytes(width, bitsPerPixel);
  page.layoutFlags = quillon::kLayoutTopDown;
  return page;
}

int32_t Decode(quillon::PageRecord* source, Page& out, int32_t flags) {
  out->compression = static_cast<int8_t>(source->bitsPerPixel == 1 ? quillon::kRunLists : quillon::kUncompressed);
  return quillon::ConvertPage(source, out.get(), flags);
}

std::string TestName(std::string text) {
  for (char& c : text)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return text;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

static void Grow(Bytes& b, size_t size) {
  if (b.size() < size) b.resize(size);
}
void PutLE16(Bytes& b, size_t at, uint32_t v) {
  Grow(b, at + 2);
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void PutLE32(Bytes& b, size_t at, uint32_t v) {
  PutLE16(b, at, v);
  PutLE16(b, at + 2, v >> 16);
}
void PutBE16(Bytes& b, size_t at, uint32_t v) {
  Grow(b, at + 2);
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}
void PutBE32(Bytes& b, size_t at, uint32_t v) {
  PutBE16(b, at, v >> 16);
  PutBE16(b, at + 2, v);
}
void PutText(Bytes& b, size_t at, const std::string& text) {
  Grow(b, at + text.size());
  std::copy(text.begin(), text.end(), b.begin() + static_cast<long>(at));
}

RunResult Shell(const std::string& command) {
  RunResult run;
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return run;
  char buffer[512];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) run.output.append(buffer, n);
  const int status = pclose(p);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

RunResult Tool(const std::vector<std::string>& arguments, const RunOptions& options) {
  // Standard output and error go to files, so that neither can fill a pipe
  // while the other is read.
  TempDir dir;
  const std::string out = dir.Path("stdout"), err = dir.Path("stderr");
  std::fflush(nullptr);  // else the child writes what the parent buffered
  const pid_t child = fork();
  if (child == 0) {
    const int in = open(options.input.empty() ? "/dev/null" : options.input.c_str(), O_RDONLY);
    if (in < 0 || !freopen(out.c_str(), "w", stdout) || !freopen(err.c_str(), "w", stderr) || dup2(in, 0) < 0)
      _exit(126);
    const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
    if (options.fileSizeLimit) setrlimit(RLIMIT_FSIZE, &limit);
    std::vector<char*> argv{const_cast<char*>(QUILLON_TOOL)};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(QUILLON_TOOL, argv.data());
    _exit(127);
  }
  RunResult run;
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.peakKiB = usage.ru_maxrss;
  const Bytes o = ReadFileBytes(out), e = ReadFileBytes(err);
  run.output.assign(o.begin(), o.end());
  run.errors.assign(e.begin(), e.end());
  return run;
}

std::string Quote(const std::string& text) { return "'" + text + "'"; }

}  // namespace testutil
