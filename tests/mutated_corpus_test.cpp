// Every fixture and sample, damaged: cut at several points and with bytes
// flipped at fixed pseudo-random places, then opened and decoded page by
// page.  The result is success or an ImagingError; the sanitizer build
// catches any read or write outside a buffer and any leak.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "support/test_util.h"

using namespace quillon;

namespace {

constexpr int kShards = 4;

std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  for (const char* root : {QUILLON_TEST_DATA, QUILLON_SAMPLES})
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
      if (!e.is_regular_file()) continue;
      const std::string name = e.path().filename().string();
      if (name.ends_with(".md") || name.starts_with("make-") || name.ends_with(".txt")) continue;
      files.push_back(e.path().string());
    }
  std::sort(files.begin(), files.end());
  return files;
}

// Opens `path` and decodes up to four pages with and without the
// keep-partial flag; every result must be 0 or an error code.
void DecodeAll(const std::string& path, const std::string& label) {
  testutil::OpenedFile f(path);
  ASSERT_LE(f.result, 0) << label;
  if (f.result != kOk) return;
  PageRecord page{};
  const int32_t pages = f.file.pageCount < 4 ? f.file.pageCount : 4;
  for (int32_t i = 0; i < pages; ++i) {
    if (f.file.fileType != kFileFli) FreePage(&page);
    int32_t r = ExtractPage(&f.file, &page, i);
    ASSERT_LE(r, 0) << label << " page " << i;
    if (r != kOk) continue;
    for (int32_t flags : {0, int32_t{kFlagKeepPartial}}) {
      PageRecord out{};
      out.compression = static_cast<int8_t>(page.bitsPerPixel == 1 ? kRunLists : kUncompressed);
      r = ConvertPage(&page, &out, flags);
      ASSERT_LE(r, 0) << label << " page " << i;
      if (r == kOk) {
        EXPECT_GT(out.width, 0) << label;
        FreePage(&out);
      }
    }
  }
  FreePage(&page);
}

class MutatedCorpus : public testing::TestWithParam<int> {};

}  // namespace

TEST_P(MutatedCorpus, DamagedFilesEndInAnErrorOrAPage) {
  testutil::TempDir dir;
  const std::vector<std::string> files = CorpusFiles();
  ASSERT_GT(files.size(), 100u);
  for (size_t n = static_cast<size_t>(GetParam()); n < files.size(); n += kShards) {
    const std::string& path = files[n];
    const std::vector<uint8_t> bytes = testutil::ReadFileBytes(path);
    if (bytes.size() < 2) continue;
    const auto start = std::chrono::steady_clock::now();
    std::mt19937 rng(static_cast<uint32_t>(n * 7919 + 2026));
    // Cuts at a quarter, half, three quarters and one byte short.
    for (size_t cut : {bytes.size() / 4, bytes.size() / 2, bytes.size() * 3 / 4, bytes.size() - 1}) {
      std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
      DecodeAll(dir.Write("cut.bin", part), path + " cut at " + std::to_string(cut));
    }
    // Eight bytes flipped, four times over, at places drawn from a fixed seed.
    for (int variant = 0; variant < 4; ++variant) {
      std::vector<uint8_t> flipped = bytes;
      for (int k = 0; k < 8; ++k) flipped[rng() % flipped.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
      DecodeAll(dir.Write("flip.bin", flipped), path + " flip " + std::to_string(variant));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 60.0) << path << " took too long: a hang?";
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, MutatedCorpus, testing::Range(0, kShards));
