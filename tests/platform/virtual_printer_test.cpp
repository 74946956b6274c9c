// The virtual printer: streams the library's PCL encoder makes for pages of
// known dots print sheets holding exactly those dots at the printable
// origin; PCL's other commands are passed over; cut and damaged streams end
// cleanly; the PDF and PNG printouts agree and open in a general tool.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "imaging/core/core.h"
#include "platform/devices/virtual_printer.h"
#include "support/emu.h"

namespace {

using Stream = std::vector<uint8_t>;

// A page as its black dots.
struct Dots {
  int width;
  int height;
  std::vector<std::pair<int, int>> black;
};

void Append(Stream* s, const std::string& text) { s->insert(s->end(), text.begin(), text.end()); }

// What the print job sends for `page`: reset, raster resolution, the
// encoder's raster block, form feed, reset.
Stream PageJob(const Dots& page, int dpi) {
  quillon::PageRecord packed{}, runs{}, pcl{};
  packed.width = page.width;
  packed.height = page.height;
  packed.bitsPerPixel = 1;
  packed.bytesPerLine = quillon::BytesPerLine(page.width, 1);
  packed.dataSize = packed.bytesPerLine * static_cast<uint32_t>(page.height);
  packed.data = static_cast<uint8_t*>(quillon::Allocate(packed.dataSize));
  packed.dataOwnership = quillon::kOwnedByPage;
  packed.layoutFlags = quillon::kLayoutTopDown;
  std::fill(packed.data, packed.data + packed.dataSize, 0xFF);
  for (auto [x, y] : page.black) packed.data[y * packed.bytesPerLine + x / 8] &= ~(0x80 >> (x % 8));
  runs.compression = quillon::kRunLists;
  pcl.compression = quillon::kHpPcl;
  EXPECT_EQ(quillon::ConvertPage(&packed, &runs, 0), quillon::kOk);
  EXPECT_EQ(quillon::ConvertPage(&runs, &pcl, 0), quillon::kOk);
  Stream s;
  Append(&s, "\x1B" "E\x1B*t" + std::to_string(dpi) + "R");
  s.insert(s.end(), pcl.data, pcl.data + pcl.dataSize);
  Append(&s, "\x0C\x1B" "E");
  for (quillon::PageRecord* p : {&packed, &runs, &pcl}) quillon::FreePage(p);
  return s;
}

// The sheets `stream` prints, fed in pieces of `piece` bytes.
std::vector<ce::PrintSheet> Print(const Stream& stream, size_t piece = 1 << 30) {
  std::vector<ce::PrintSheet> sheets;
  auto sink = [&](const ce::PrintSheet& s) { sheets.push_back(s); };
  ce::PclReader reader;
  for (size_t at = 0; at < stream.size(); at += piece)
    ce::FeedPcl(&reader, stream.data() + at, std::min(piece, stream.size() - at), sink);
  ce::EndPcl(&reader, sink);
  return sheets;
}

// The sheet's bits for `page` placed at the printable origin and clipped.
std::vector<uint8_t> Expected(const ce::PrintSheet& sheet, const Dots& page) {
  std::vector<uint8_t> bits(sheet.bits.size(), 0);
  for (auto [x, y] : page.black) {
    if (x >= sheet.printableWidth || y >= sheet.printableHeight) continue;
    const size_t sx = sheet.originX + x, sy = sheet.originY + y;
    bits[sy * sheet.stride + sx / 8] |= 0x80 >> (sx % 8);
  }
  return bits;
}

void ExpectSheet(const ce::PrintSheet& sheet, const Dots& page, int dpi, bool clipped) {
  EXPECT_EQ(sheet.dpi, dpi);
  EXPECT_EQ(sheet.bits.size(), size_t{sheet.stride} * (dpi * 11));
  EXPECT_EQ(sheet.originX, dpi / 4);
  EXPECT_EQ(sheet.clipped, clipped);
  EXPECT_EQ(sheet.rasterRows, std::min(page.height, sheet.printableHeight));
  EXPECT_TRUE(sheet.bits == Expected(sheet, page)) << page.width << " x " << page.height << " at " << dpi;
}

TEST(VirtualPrinter, PlacesPagesAtThePrintableOrigin) {
  const Dots line{20, 1, {{0, 0}, {7, 0}, {8, 0}, {19, 0}}};
  const Dots blank{50, 6, {{3, 2}, {49, 5}}};
  for (size_t piece : {size_t{1} << 30, size_t{7}, size_t{1}}) {
    auto sheets = Print(PageJob(line, 300), piece);
    ASSERT_EQ(sheets.size(), 1u);
    ExpectSheet(sheets[0], line, 300, false);
  }
  Stream two = PageJob(blank, 150);
  Stream second = PageJob(line, 600);
  two.insert(two.end(), second.begin(), second.end());
  auto sheets = Print(two, 5);
  ASSERT_EQ(sheets.size(), 2u);
  ExpectSheet(sheets[0], blank, 150, false);
  ExpectSheet(sheets[1], line, 600, false);
}

TEST(VirtualPrinter, ClipsWhatLeavesThePrintableArea) {
  // 150 dpi: 1200 dots across, 1575 rows.
  const Dots wide{1300, 2, {{0, 0}, {1199, 0}, {1200, 1}, {1299, 1}}};
  auto sheets = Print(PageJob(wide, 150));
  ASSERT_EQ(sheets.size(), 1u);
  ExpectSheet(sheets[0], wide, 150, true);
  const Dots tall{8, 1600, {{1, 0}, {2, 1574}, {3, 1575}, {4, 1599}}};
  sheets = Print(PageJob(tall, 150));
  ASSERT_EQ(sheets.size(), 1u);
  ExpectSheet(sheets[0], tall, 150, true);
  // A black 9600-dot line fills the printable width at 1200 dpi exactly.
  Dots full{9600, 1, {}};
  for (int x = 0; x < 9600; ++x) full.black.push_back({x, 0});
  sheets = Print(PageJob(full, 1200));
  ASSERT_EQ(sheets.size(), 1u);
  ExpectSheet(sheets[0], full, 1200, false);
  EXPECT_EQ(sheets[0].rasterWidth, 9600);
}

TEST(VirtualPrinter, ReadsPclSyntaxAndPassesOverTheRest) {
  Stream s;
  // A symbol set, a page orientation, pattern data holding a form feed and
  // an escape, all ignored; a stray form feed ejects nothing.
  Append(&s, "\x0C\x1B(8U\x1B&l0O\x1B*c5W\x0C\x1B" "E\x0C\x0C");
  // Chained: method 0 and a 2-byte row in one command; two rows skipped; a
  // row of method 3 passed over (its line stays blank); a PackBits repeat.
  Append(&s, "\x1B*t300R\x1B*r1A\x1B*b0m2W");
  s.push_back(0x80);
  s.push_back(0x01);
  Append(&s, "\x1B*b2Y\x1B*b3M\x1B*b1W\xFF\x1B*b2M\x1B*b2W");
  s.push_back(0xFE);  // three times the next byte
  s.push_back(0xC0);
  Append(&s, "\x1B*rC\x1B" "E");
  auto sheets = Print(s, 3);
  ASSERT_EQ(sheets.size(), 1u);
  const Dots expected{24, 5, {{0, 0}, {15, 0}, {0, 4}, {1, 4}, {8, 4}, {9, 4}, {16, 4}, {17, 4}}};
  ExpectSheet(sheets[0], expected, 300, false);
  ce::PclReader reader;
  ce::FeedPcl(&reader, s.data(), s.size(), [](const ce::PrintSheet&) {});
  EXPECT_EQ(reader.skippedRows, 1u);
}

TEST(VirtualPrinter, CutAndDamagedStreamsEndCleanly) {
  const Dots page{300, 40, {{1, 1}, {299, 39}, {150, 20}}};
  Stream job = PageJob(page, 150);
  for (size_t cut = 0; cut < job.size(); cut += 3) {
    auto sheets = Print(Stream(job.begin(), job.begin() + static_cast<long>(cut)));
    ASSERT_LE(sheets.size(), 1u);
    for (const auto& s : sheets) EXPECT_EQ(s.bits.size(), size_t{s.stride} * s.height);
  }
  std::mt19937 rng(24);
  for (int round = 0; round < 150; ++round) {
    Stream bad = job;
    for (int k = 0; k < 4; ++k) bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
    // Huge counts and resolutions must stay bounded too.
    if (round % 3 == 0) Append(&bad, "\x1B*t99999R\x1B*b999999999999W\x1B*b-5Y");
    for (const auto& s : Print(bad, 1 + rng() % 64)) {
      EXPECT_LE(s.dpi, 1200);
      EXPECT_EQ(s.bits.size(), size_t{s.stride} * s.height);
    }
  }
}

std::string Shell(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buffer[512];
  while (std::fgets(buffer, sizeof(buffer), p)) out += buffer;
  pclose(p);
  return out;
}

TEST(VirtualPrinter, PdfPagesMatchThePngSheets) {
  emu::TempFolder folder;
  const std::string pdfPath = folder.path() + "/job.pdf";
  ce::PdfPrintout pdf;
  ASSERT_TRUE(ce::OpenPdfPrintout(&pdf, pdfPath));
  Stream job;
  for (int n = 0; n < 3; ++n) {
    Stream one = PageJob(Dots{40 + n, 3 + n, {{n, n}, {39, 2}, {10 * n, 1}}}, 150);
    job.insert(job.end(), one.begin(), one.end());
  }
  auto sheets = Print(job);
  ASSERT_EQ(sheets.size(), 3u);
  for (size_t i = 0; i < sheets.size(); ++i) {
    ASSERT_TRUE(ce::WriteSheetPng(folder.path() + "/sheet-" + std::to_string(i) + ".png", sheets[i]));
    ce::AddPdfPage(&pdf, sheets[i]);
  }
  ASSERT_TRUE(ce::ClosePdfPrintout(&pdf));
  const std::string info = Shell("pdfinfo '" + pdfPath + "' 2>&1");
  EXPECT_NE(info.find("Pages:           3"), std::string::npos) << info;
  EXPECT_NE(info.find("612 x 792 pts"), std::string::npos) << info;
  EXPECT_EQ(info.find("rror"), std::string::npos) << info;
  Shell("pdfimages -png '" + pdfPath + "' '" + folder.path() + "/image' 2>&1");
  for (size_t i = 0; i < sheets.size(); ++i) {
    emu::Png fromPdf, fromPng;
    ASSERT_TRUE(emu::ReadPng(folder.path() + "/image-00" + std::to_string(i) + ".png", &fromPdf));
    ASSERT_TRUE(emu::ReadPng(folder.path() + "/sheet-" + std::to_string(i) + ".png", &fromPng));
    EXPECT_EQ(fromPdf.width, 1275);
    EXPECT_EQ(fromPdf.height, 1650);
    EXPECT_TRUE(fromPdf.pixels == fromPng.pixels) << "page " << i + 1;
    size_t black = 0;
    for (uint32_t p : fromPng.pixels) black += p == 0;
    EXPECT_EQ(black, 3u);
  }
}

}  // namespace
