// The thumbnail job's own per-file work (open, page 0, reduced decode,
// BuildThumbnail into 80 x 60 at 16 bits) against libvips over the same
// folder in the same run: `vipsthumbnail -s 80x60` as a program (wall time
// per file) and vips_thumbnail in process (one thread, no operation cache,
// pixels written to memory).  Prints milliseconds per file and the ratios,
// overall and per kind.
//
//   thumbs_vips FOLDER [ROUNDS]     (scripts/bench-thumbnails makes FOLDER)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "imaging/core/files.h"
#include "imaging/core/page.h"
#include "viewer/thumbs/thumbnails.h"

// After the platform's headers: glib defines TRUE and FALSE as macros.
#include <vips/vips.h>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

std::string KindOf(const std::string& name) {
  static const std::pair<const char*, const char*> kKinds[] = {
      {"big-", "JPEG 2048"}, {"mid-", "JPEG 1600"}, {"prog-", "JPEG progressive"}, {"small-", "JPEG 640"},
      {"fax-", "fax TIFF"},  {"photo-", "GIF"},     {"chart-", "GIF"},              {"rgb-", "TIFF LZW"},
      {"palette-", "TIFF PackBits"}, {"rle-", "BMP RLE8"}, {"pcx-", "PCX"}};
  for (const auto& [prefix, kind] : kKinds)
    if (name.rfind(prefix, 0) == 0) return kind;
  return "other";
}

struct Timing {
  double ours = 1e300, vips = 1e300, tool = 1e300;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER [ROUNDS]\n", argv[0]);
    return 2;
  }
  if (VIPS_INIT(argv[0])) return 1;
  vips_concurrency_set(1);
  vips_cache_set_max(0);
  // The job joins folder and name with a backslash, as on the device.
  quillon::SetPathHook([](std::u16string_view path) {
    std::string host = quillon::Utf16ToUtf8(path);
    std::replace(host.begin(), host.end(), '\\', '/');
    return host;
  });
  const std::string folder = argv[1];
  const int rounds = argc > 2 ? std::max(std::atoi(argv[2]), 1) : 3;

  zelmo::ThumbnailJobRecord job;
  job.folder = quillon::Utf8ToUtf16(folder);
  for (const auto& e : std::filesystem::directory_iterator(folder))
    if (e.is_regular_file()) job.names.push_back(quillon::Utf8ToUtf16(e.path().filename().string()));
  std::sort(job.names.begin(), job.names.end());
  job.width = 80;
  job.height = 60;
  job.displayDepth = 16;
  const size_t n = job.names.size();
  std::vector<Timing> t(n);
  const std::string scratch = (std::filesystem::temp_directory_path() / "thumbs-vips-out").string();
  std::filesystem::create_directories(scratch);

  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < n; ++i) {
      const std::string name = quillon::Utf16ToUtf8(job.names[i]), path = folder + "/" + name;
      zelmo::ThumbnailEntry entry;
      auto a = Clock::now();
      zelmo::BuildThumbnailEntry(job, i, &entry);
      auto b = Clock::now();
      if (!entry.picture.data && round == 0) std::fprintf(stderr, "ours: %s not built\n", name.c_str());
      quillon::FreePage(&entry.picture);
      t[i].ours = std::min(t[i].ours, Ms(a, b));

      VipsImage* out = nullptr;
      a = Clock::now();
      if (vips_thumbnail(path.c_str(), &out, 80, "height", 60, nullptr) == 0) {
        size_t size = 0;
        g_free(vips_image_write_to_memory(out, &size));
        g_object_unref(out);
      } else if (round == 0) {
        std::fprintf(stderr, "libvips: %s: %s\n", name.c_str(), vips_error_buffer());
        vips_error_clear();
      }
      b = Clock::now();
      t[i].vips = std::min(t[i].vips, Ms(a, b));

      const std::string command = "vipsthumbnail -s 80x60 -o '" + scratch + "/%s.png' '" + path + "' >/dev/null 2>&1";
      a = Clock::now();
      const int status = std::system(command.c_str());
      b = Clock::now();
      if (status != 0 && round == 0) std::fprintf(stderr, "vipsthumbnail: %s failed\n", name.c_str());
      t[i].tool = std::min(t[i].tool, Ms(a, b));
    }
  }

  std::map<std::string, std::pair<Timing, int>> kinds;
  Timing all{0, 0, 0};
  for (size_t i = 0; i < n; ++i) {
    auto& [sum, count] = kinds.try_emplace(KindOf(quillon::Utf16ToUtf8(job.names[i])), Timing{0, 0, 0}, 0).first->second;
    sum.ours += t[i].ours, sum.vips += t[i].vips, sum.tool += t[i].tool, ++count;
    all.ours += t[i].ours, all.vips += t[i].vips, all.tool += t[i].tool;
  }
  std::printf("%-18s %5s %10s %14s %14s %14s %14s\n", "kind", "files", "ours ms", "vipsthumbnail", "libvips ms",
              "tool / ours", "libvips / ours");
  auto row = [](const std::string& kind, int count, const Timing& s) {
    std::printf("%-18s %5d %10.2f %14.2f %14.2f %13.1fx %13.1fx\n", kind.c_str(), count, s.ours / count,
                s.tool / count, s.vips / count, s.tool / s.ours, s.vips / s.ours);
  };
  for (const auto& [kind, entry] : kinds) row(kind, entry.second, entry.first);
  row("all", static_cast<int>(n), all);
  std::filesystem::remove_all(scratch);
  vips_shutdown();
  return 0;
}
