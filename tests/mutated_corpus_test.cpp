// Every fixture, every sample and every input of the open fuzz target (a
// file of each format no general tool writes, hostile files), damaged: cut
// at several points and with bytes flipped at fixed pseudo-random places,
// then opened and decoded page by page.  The result is success or
// an ImagingError; the sanitizer build catches any read or write outside a
// buffer and any leak.
#include "support/suite.h"

#include <filesystem>

namespace {

constexpr int kShards = 4;

struct Damageable {
  std::string label;
  Bytes bytes;
  int cuts;  // evenly spaced, and one byte short
};

// The files of `roots` in the order of their paths, each cut `cuts` times.
void Add(std::vector<Damageable>& files, std::initializer_list<const char*> roots, int cuts) {
  const size_t first = files.size();
  for (const char* root : roots)
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
      const std::string name = e.path().filename().string();
      if (!e.is_regular_file() || name.ends_with(".md") || name.starts_with("make-") || name.ends_with(".txt")) continue;
      files.push_back({e.path().string(), ReadFileBytes(e.path().string()), cuts});
    }
  std::sort(files.begin() + static_cast<long>(first), files.end(),
            [](const Damageable& a, const Damageable& b) { return a.label < b.label; });
}

// The fixtures and samples, then the open target's inputs: small files of
// the formats no general tool writes, and hostile ones, cut more densely.
std::vector<Damageable> Corpus() {
  std::vector<Damageable> files;
  Add(files, {QUILLON_TEST_DATA, QUILLON_SAMPLES}, 4);
  Add(files, {QUILLON_FUZZ "/corpus/open", QUILLON_FUZZ "/regressions/open"}, 48);
  return files;
}

// Opens `bytes` and decodes up to four pages with and without the
// keep-partial flag; every result must be 0 or an error code.
void DecodeAll(const Bytes& bytes, const std::string& label) {
  OpenedFile f(bytes);
  ASSERT_LE(f.result, 0) << label;
  if (f.result != kOk) return;
  PageRecord page{};
  for (int32_t i = 0; i < std::min(f->pageCount, 4); ++i) {
    if (f->fileType != kFileFli) FreePage(&page);  // frames build on the one before
    const int32_t r = f.Extract(&page, i);
    ASSERT_LE(r, 0) << label << " page " << i;
    for (int32_t flags : {0, int32_t{kFlagKeepPartial}}) {
      Page out;
      // Pages of over 4 M pixels are left to the hostile-file tests, which
      // time them; decoding each cut of them here would take minutes.
      if (r == kOk && int64_t{page.width} * page.height <= (int64_t{1} << 22)) {
        ASSERT_LE(Decode(&page, out, flags), 0) << label << " page " << i;
      }
    }
  }
  FreePage(&page);
}

class MutatedCorpus : public testing::TestWithParam<int> {};

}  // namespace

TEST_P(MutatedCorpus, DamagedFilesEndInAnErrorOrAPage) {
  const std::vector<Damageable> files = Corpus();
  ASSERT_GT(files.size(), 100u);
  for (size_t n = static_cast<size_t>(GetParam()); n < files.size(); n += kShards) {
    const Damageable& file = files[n];
    const Bytes& bytes = file.bytes;
    if (bytes.size() < 2) continue;
    std::mt19937 rng(static_cast<uint32_t>(n * 7919 + 2026));
    for (int k = 1; k <= file.cuts; ++k) {
      const size_t cut = k == file.cuts ? bytes.size() - 1 : bytes.size() * k / file.cuts;
      DecodeAll(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(cut)), file.label + " cut at " + std::to_string(cut));
    }
    // Eight bytes flipped, four times over, at places drawn from a fixed seed.
    for (int variant = 0; variant < 4; ++variant) {
      Bytes flipped = bytes;
      for (int k = 0; k < 8; ++k) flipped[rng() % flipped.size()] ^= static_cast<uint8_t>(1 + rng() % 255);
      DecodeAll(flipped, file.label + " flip " + std::to_string(variant));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, MutatedCorpus, testing::Range(0, kShards));
