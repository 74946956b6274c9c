// PCL raster rows: the stream read back by a small raster reader gives the
// page's bits exactly.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "imaging/core/core.h"
#include "imaging/core/runlist.h"
#include "support/files.h"

using namespace quillon;
using testutil::Page;

namespace {

// Rows rebuilt from "ESC * b n W" sequences (PackBits, 1 = black), checking
// the fixed header and trailer.
std::vector<std::vector<uint8_t>> ReadRaster(const uint8_t* p, size_t n, std::string* error) {
  std::vector<std::vector<uint8_t>> rows;
  const std::string stream(reinterpret_cast<const char*>(p), n);
  if (stream.compare(0, 10, "\x1B*b2M\x1B*r0A") != 0) {
    *error = "header";
    return rows;
  }
  size_t at = 10;
  while (at < n && stream.compare(at, 4, "\x1B*rB") != 0) {
    if (stream.compare(at, 3, "\x1B*b") != 0) {
      *error = "row header at " + std::to_string(at);
      return rows;
    }
    size_t w = stream.find('W', at);
    size_t count = std::stoul(stream.substr(at + 3, w - at - 3));
    at = w + 1;
    std::vector<uint8_t> row;
    size_t end = at + count;
    while (at < end) {
      int8_t c = static_cast<int8_t>(p[at++]);
      if (c >= 0) {
        row.insert(row.end(), p + at, p + at + c + 1);
        at += c + 1;
      } else if (c != -128) {
        row.insert(row.end(), 1 - c, p[at++]);
      }
    }
    rows.push_back(row);
  }
  if (n - at != 4) *error = "trailer";
  return rows;
}

void RunPage(Page& runs, int width, const std::vector<std::vector<uint8_t>>& packedRows) {
  Page packed;
  packed->width = width;
  packed->height = static_cast<int32_t>(packedRows.size());
  packed->bitsPerPixel = 1;
  packed->bytesPerLine = BytesPerLine(width, 1);
  packed->dataSize = packed->bytesPerLine * static_cast<uint32_t>(packedRows.size());
  packed->data = static_cast<uint8_t*>(Allocate(packed->dataSize));
  packed->dataOwnership = kOwnedByPage;
  packed->layoutFlags = kLayoutTopDown;
  for (size_t y = 0; y < packedRows.size(); ++y)
    std::copy(packedRows[y].begin(), packedRows[y].end(), packed->data + y * packed->bytesPerLine);
  runs->compression = kRunLists;
  ASSERT_EQ(ConvertPage(packed.get(), runs.get(), 0), kOk);
}

std::vector<uint8_t> Pcl(Page& runs) {
  Page pcl;
  pcl->compression = kHpPcl;
  EXPECT_EQ(ConvertPage(runs.get(), pcl.get(), 0), kOk);
  return std::vector<uint8_t>(pcl->data, pcl->data + pcl->dataSize);
}

}  // namespace

TEST(Pcl, RowsOfTheDocumentedPages) {
  Page white;
  RunPage(white, 16, {{0xFF, 0xFF}});
  EXPECT_EQ(Pcl(white), (std::vector<uint8_t>{0x1B, '*', 'b', '2', 'M', 0x1B, '*', 'r', '0', 'A',
                                              0x1B, '*', 'b', '2', 'W', 0xFF, 0x00,
                                              0x1B, '*', 'r', 'B'}));
  Page black;
  RunPage(black, 8, {{0x00}});
  std::vector<uint8_t> b = Pcl(black);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 10, b.end() - 4),
            (std::vector<uint8_t>{0x1B, '*', 'b', '2', 'W', 0x00, 0xFF}));
  Page three;
  RunPage(three, 8, {{0xFF}, {0xFF}, {0x0F}});
  std::string error;
  std::vector<uint8_t> t = Pcl(three);
  EXPECT_EQ(ReadRaster(t.data(), t.size(), &error).size(), 3u);
  EXPECT_EQ(error, "");
}

TEST(Pcl, WidePagesRebuildBitExact) {
  // A 9600-dot row (1200 dpi letter width) of noise: far beyond 4096 bytes
  // once PackBits expands it.
  std::mt19937 rng(9600);
  for (int width : {1, 7, 9600}) {
    std::vector<std::vector<uint8_t>> rows;
    for (int y = 0; y < 5; ++y) {
      std::vector<uint8_t> row(RowBytes(width, 1));
      for (uint8_t& c : row) c = static_cast<uint8_t>(y == 2 ? 0xFF : rng());
      rows.push_back(row);
    }
    Page runs;
    RunPage(runs, width, rows);
    std::vector<uint8_t> pcl = Pcl(runs);
    std::string error;
    std::vector<std::vector<uint8_t>> back = ReadRaster(pcl.data(), pcl.size(), &error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(back.size(), rows.size());
    for (size_t y = 0; y < rows.size(); ++y) {
      ASSERT_EQ(back[y].size(), rows[y].size());
      for (size_t i = 0; i < rows[y].size(); ++i) {
        uint8_t mask = i + 1 == rows[y].size() && width % 8 ? static_cast<uint8_t>(0xFF << (8 - width % 8)) : 0xFF;
        ASSERT_EQ(static_cast<uint8_t>(~back[y][i]) & mask, rows[y][i] & mask) << width << " " << y << " " << i;
      }
    }
  }
}

TEST(Pcl, OnlyBilevelPages) {
  Page gray;
  gray->width = 4, gray->height = 1, gray->bitsPerPixel = 4;
  gray->bytesPerLine = 4, gray->dataSize = 4;
  gray->data = static_cast<uint8_t*>(Allocate(4));
  gray->dataOwnership = kOwnedByPage;
  Page pcl;
  pcl->compression = kHpPcl;
  EXPECT_EQ(ConvertPage(gray.get(), pcl.get(), 0), kErrParameter);
  EXPECT_EQ(pcl->data, nullptr);
}
