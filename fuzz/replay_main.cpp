// Replays inputs through a fuzz target without libFuzzer: every file named
// on the command line, or every file in the folders named there.  With
// --cuts=N first, each input is also cut at N - 1 evenly spaced lengths,
// every piece held in a buffer of exactly its size.  Used by the tests to
// run the seeds and the regression inputs under the sanitizer build.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  size_t count = 0;
  int cuts = 1;
  auto run = [&](const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (int k = cuts; k >= 1; --k) {
      const std::vector<uint8_t> piece(bytes.begin(), bytes.begin() + static_cast<long>(bytes.size() * k / cuts));
      LLVMFuzzerTestOneInput(piece.data(), piece.size());
      ++count;
    }
  };
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path p(argv[i]);
    if (std::string(argv[i]).starts_with("--cuts=")) {
      cuts = std::max(1, std::atoi(argv[i] + 7));
    } else if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(p))
        if (e.is_regular_file()) run(e.path());
    } else if (std::filesystem::exists(p)) {
      run(p);
    }
  }
  std::printf("replayed %zu inputs\n", count);
  return 0;
}
