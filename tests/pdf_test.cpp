// PDF image objects: the cross-reference walks, the image dictionary and
// the data, on files written by general tools and on files built here.
#include "support/suite.h"

#include <zlib.h>

#include "imaging/readers/pdf.h"

namespace {

// A PDF written object by object, with a classic cross-reference table.
struct PdfBuilder {
  std::string text = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
  std::vector<size_t> offsets;
  int Add(const std::string& dictionary, const std::string& stream = "", bool withStream = true) {
    offsets.push_back(text.size());
    text += std::to_string(offsets.size()) + " 0 obj\n" + dictionary + "\n";
    if (withStream) text += "stream\n" + stream + "\nendstream\n";
    text += "endobj\n";
    return static_cast<int>(offsets.size());
  }
  // The table: entries ending in `entryEnd` (20 bytes each), one subsection
  // per `split` objects, so that readers must take several.
  std::string Finish(const std::string& entryEnd = " \n", size_t split = 1000) {
    const size_t xref = text.size();
    text += "xref\n0 1\n0000000000 65535 f" + entryEnd;
    for (size_t first = 0; first < offsets.size(); first += split) {
      const size_t count = std::min(split, offsets.size() - first);
      text += std::to_string(first + 1) + " " + std::to_string(count) + "\n";
      for (size_t i = first; i < first + count; ++i) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n", offsets[i]);
        text += entry + entryEnd;
      }
    }
    return text + "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
  }
};

std::vector<uint8_t> ToBytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }
std::string ToString(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

std::string Deflate(const std::vector<uint8_t>& raw) {
  uLongf size = compressBound(raw.size());
  std::string out(size, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &size, raw.data(), raw.size(), 9);
  out.resize(size);
  return out;
}

std::string Ascii85(const std::string& data) {
  std::string out;
  for (size_t i = 0; i < data.size(); i += 4) {
    uint32_t v = 0;
    size_t n = std::min<size_t>(4, data.size() - i);
    for (size_t k = 0; k < 4; ++k)
      v = (v << 8) | (k < n ? static_cast<uint8_t>(data[i + k]) : 0);
    char group[5];
    for (int k = 4; k >= 0; --k) {
      group[k] = static_cast<char>('!' + v % 85);
      v /= 85;
    }
    out.append(group, n + 1);
  }
  return out + "~>";
}

// Random bytes, which do not compress below 512 bytes.
std::vector<uint8_t> Noise(size_t size) { return testpix::PackedRows(testpix::Noise(static_cast<int32_t>(size), 1, 8, 5)); }

// The page count of a PDF that opens, or the error.
int32_t Pages(const std::string& pdf) {
  OpenedFile f(ToBytes(pdf));
  return f.result == kOk ? f->pageCount : f.result;
}

}  // namespace

TEST(Pdf, ToolWrittenFilesFindTheirImages) {
  struct Expected {
    const char* name;
    int width, height, bpp, compression;
  };
  const Expected files[] = {
      {"flate-rgb.pdf", 80, 60, 24, kUncompressed},   {"flate-gray.pdf", 80, 60, 8, kUncompressed},
      {"flate-indexed.pdf", 80, 60, 8, kUncompressed}, {"flate-bilevel.pdf", 432, 550, 8, kUncompressed},
      {"tiff2pdf-g4.pdf", 432, 550, 1, kG4},          {"tiff2pdf-jpeg.pdf", 80, 60, 24, kJpeg},
      {"pillow-dct.pdf", 80, 60, 24, kJpeg},          {"xrefstream-g4.pdf", 432, 550, 1, kG4},
      {"xrefstream-flate.pdf", 80, 60, 24, kUncompressed},
  };
  for (const Expected& e : files) {
    SCOPED_TRACE(e.name);
    OpenedFile f(DataPath(std::string("pdf/") + e.name));
    ASSERT_EQ(f.result, kOk);
    EXPECT_EQ(f.file.fileType, kFilePdf);
    ASSERT_EQ(f.file.pageCount, 1);
    Page page;
    ASSERT_EQ(f.Extract(page.get(), 0), kOk);
    EXPECT_EQ(std::tuple(page->width, page->height, page->bitsPerPixel, page->compression, page->dataOwnership),
              std::tuple(e.width, e.height, e.bpp, e.compression, kOwnedByPage));
    // tiff2pdf writes G4 with white paper as 0 bits, /BlackIs1 false.
    if (e.compression == kG4) {
      EXPECT_EQ(page->photometric, 0);
    }
  }
}

TEST(Pdf, FlateImagesMatchPopplersDecode) {
  for (auto [pdf, reference] : {std::pair{"flate-rgb.pdf", "flate-rgb.png"}, {"flate-gray.pdf", "flate-gray.png"},
                                {"flate-indexed.pdf", "flate-indexed.png"}, {"flate-bilevel.pdf", "flate-bilevel.png"},
                                {"xrefstream-flate.pdf", "flate-rgb.png"}})
    EXPECT_TRUE(SamePixels(ReadImage(DataPath(std::string("pdf/") + reference)),
                           FileRaster(DataPath(std::string("pdf/") + pdf))))
        << pdf;
}

TEST(Pdf, ClassicTablesInEveryLineEndAndSubsection) {
  std::vector<uint8_t> gray = Noise(40 * 30);
  std::string image = Deflate(gray);
  for (std::string end : {std::string(" \n"), std::string("\r\n"), std::string(" \r")}) {
    for (size_t split : {size_t{1}, size_t{2}, size_t{100}}) {
      PdfBuilder b;
      b.Add("<< /Type /Catalog >>", "", false);
      b.Add("<< /Type /XObject /Subtype /Image /Width 40 /Height 30 /ColorSpace /DeviceGray "
            "/BitsPerComponent 8 /Filter /FlateDecode /Length " +
                std::to_string(image.size()) + " >>",
            image);
      b.Add("<< /Type /XObject /Subtype /Image /Width 40 /Height 30 /ColorSpace /DeviceGray "
            "/BitsPerComponent 8 /Filter /FlateDecode >>",
            image);
      EXPECT_EQ(Pages(b.Finish(end, split)), 2) << "entry end " << static_cast<int>(end[0]) << " split " << split;
    }
  }
}

TEST(Pdf, PreviousSectionsAndDamagedTables) {
  std::string image = Deflate(Noise(1200));
  std::string dict = "<< /Subtype /Image /Width 40 /Height 30 /BitsPerComponent 8 "
                     "/ColorSpace /DeviceGray /Filter /FlateDecode >>";
  PdfBuilder b;
  b.Add(dict, image);
  std::string first = b.Finish();
  // An update that adds a second image and points back with /Prev.
  size_t firstXref = first.rfind("\nxref\n") + 1;
  std::string updated = first;
  size_t obj = updated.size();
  updated += "2 0 obj\n" + dict + "\nstream\n" + image + "\nendstream\nendobj\n";
  size_t xref = updated.size();
  char entry[32];
  std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", obj);
  updated += "xref\n2 1\n" + std::string(entry) + "trailer\n<< /Size 3 /Prev " +
             std::to_string(firstXref) + " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  EXPECT_EQ(Pages(updated), 2);

  // A /Prev pointing at itself ends; a missing startxref opens with no pages.
  std::string loop = updated;
  size_t prev = loop.rfind("/Prev ");
  loop.replace(prev, 6 + std::to_string(firstXref).size(), "/Prev " + std::to_string(xref));
  EXPECT_EQ(Pages(loop), 1);
}

// The offset after the last "startxref" moved by `by` bytes.
std::string MoveStartXref(std::string pdf, long by) {
  size_t at = pdf.rfind("startxref") + 9;
  while (pdf[at] == '\r' || pdf[at] == '\n' || pdf[at] == ' ') ++at;
  const size_t digits = pdf.find_first_not_of("0123456789", at) - at;
  return pdf.replace(at, digits, std::to_string(std::stol(pdf.substr(at, digits)) + by));
}

// A startxref a few bytes off finds its table or stream; a file with no
// table, or one pointing nowhere, is read from its object headers, the last
// definition of an object winning; a file without objects is refused.
TEST(Pdf, MovedAndMissingTables) {
  const std::string image = "<< /Subtype /Image /Width 40 /Height 30 /BitsPerComponent 8 "
                            "/ColorSpace /DeviceGray /Filter /FlateDecode >>";
  PdfBuilder b;
  b.Add(image, Deflate(Noise(1200)));
  const std::string classic = b.Finish();
  for (const std::string& pdf : {classic, ToString(ReadFileBytes(DataPath("pdf/xrefstream-g4.pdf"))),
                                 ToString(ReadFileBytes(DataPath("pdf/tiff2pdf-g4.pdf")))})
    for (long by = -3; by <= 3; ++by) EXPECT_EQ(Pages(MoveStartXref(pdf, by)), 1) << by;

  const std::string objects = classic.substr(0, classic.rfind("xref\n0 1"));
  const std::string other = "1 0 obj\n<< /Type /Catalog >>\nendobj\n";
  EXPECT_EQ(Pages(objects), 1);
  EXPECT_EQ(Pages(MoveStartXref(classic, 99999999)), 1);
  EXPECT_EQ(Pages(objects + other), 0);
  EXPECT_EQ(Pages("%PDF-1.4\n" + other + objects.substr(objects.find("1 0 obj"))), 1);
  EXPECT_EQ(Pages("%PDF-1.4\n" + std::string(200, '%') + "\nstartxref\n9\n%%EOF\n"), kErrBadHeader);
  // The headers of a large file count against the allocation limit.
  const uint64_t limit = AllocationLimit();
  SetAllocationLimit(16384);
  EXPECT_EQ(Pages(objects + std::string(20000, '\n')), kErrMemory);
  SetAllocationLimit(limit);
}

TEST(Pdf, ShortImagesAndOtherObjectsAreNotPages) {
  PdfBuilder b;
  // An image whose object ends within 512 bytes is not a page.
  b.Add("<< /Subtype /Image /Width 2 /Height 2 /BitsPerComponent 8 /Filter /FlateDecode >>",
        Deflate({1, 2, 3, 4}));
  // A content stream and an image mask named like an image are not either.
  b.Add("<< /Filter /FlateDecode /Length 600 >>", std::string(600, 'x'));
  b.Add("<< /ProcSet [/PDF /ImageB] /Filter /FlateDecode >>", std::string(600, 'x'));
  EXPECT_EQ(Pages(b.Finish()), 0);
}

TEST(Pdf, DictionaryKeysDecideDepthPolarityAndPalette) {
  const int w = 64, h = 40;
  std::vector<uint8_t> bits = Noise(w / 8 * h);
  std::string raw1(bits.begin(), bits.end());
  struct Case {
    std::string keys;
    std::string stream;
    int bpp;
    int photometric;
  };
  const std::string flate1 = Deflate(bits);
  const std::vector<Case> cases = {
      {"/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /FlateDecode", flate1, 1, 0},
      {"/ColorSpace /DeviceGray /BitsPerComponent 1 /Decode [1 0] /Filter /FlateDecode", flate1, 1, 1},
      {"/ImageMask true /Filter [/ASCII85Decode /FlateDecode]", Ascii85(flate1), 1, 0},
      {"/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode "
       "/DecodeParms << /K -1 /Columns 64 >>", raw1, 1, 0},
      {"/ColorSpace /DeviceGray /BitsPerComponent 1 /Filter /CCITTFaxDecode "
       "/DecodeParms << /K -1 /Columns 64 /BlackIs1 true >>", raw1, 1, 1},
      {"/ColorSpace /DeviceGray /BitsPerComponent 1 /Decode [ 1 0 ] /Filter /CCITTFaxDecode "
       "/DecodeParms << /K -1 /Columns 64 /BlackIs1 true >>", raw1, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    PdfBuilder b;
    b.Add("<< /Type /XObject /Subtype /Image /Width " + std::to_string(w) + " /Height " +
              std::to_string(h) + " " + c.keys + " >>",
          c.stream + std::string(600, '\n'));
    OpenedFile f(ToBytes(b.Finish()));
    ASSERT_EQ(f->pageCount, 1);
    Page page;
    ASSERT_EQ(f.Extract(page.get()), kOk);
    EXPECT_EQ(page->bitsPerPixel, c.bpp);
    EXPECT_EQ(page->photometric, c.photometric);
    if (page->compression == kUncompressed) {
      ASSERT_GE(page->dataSize, bits.size());
      EXPECT_EQ(std::memcmp(page->data, bits.data(), bits.size()), 0);
    }
  }
  // G3 data (/K 0 or no /K) is not taken for G4.
  PdfBuilder g3;
  g3.Add("<< /Subtype /Image /Width 64 /Height 40 /BitsPerComponent 1 /Filter /CCITTFaxDecode "
         "/DecodeParms << /Columns 64 >> >>",
         raw1 + std::string(600, '\n'));
  Page page;
  EXPECT_EQ(OpenedFile(ToBytes(g3.Finish())).Extract(page.get()), kErrUnsupported);
}

TEST(Pdf, ColourSpacesRgbIndexedAndIcc) {
  const int w = 20, h = 20;
  std::vector<uint8_t> rgb = Noise(w * h * 3);
  std::vector<uint8_t> indexes(w * h);
  for (size_t i = 0; i < indexes.size(); ++i) indexes[i] = static_cast<uint8_t>(i % 3);
  std::string pad(600, '\n');
  PdfBuilder b;
  int icc = b.Add("<< /N 3 /Length 10 >>", std::string(10, 'p'));
  b.Add("<< /Subtype /Image /Width 20 /Height 20 /BitsPerComponent 8 /ColorSpace [/ICCBased " +
            std::to_string(icc) + " 0 R] /Filter /FlateDecode >>",
        Deflate(rgb) + pad);
  b.Add("<< /Subtype /Image /Width 20 /Height 20 /BitsPerComponent 8 "
        "/ColorSpace [/Indexed /DeviceRGB 2 <FF0000 00FF00 0000FF>] /Filter /FlateDecode >>",
        Deflate(indexes) + pad);
  int space = b.Add("[/Indexed /DeviceGray 1 (\\000\\377)]", "", false);
  b.Add("<< /Subtype /Image /Width 20 /Height 20 /BitsPerComponent 8 /ColorSpace " +
            std::to_string(space) + " 0 R /Filter /FlateDecode >>",
        Deflate(indexes) + pad);
  b.Add("<< /Subtype /Image /Width 20 /Height 20 /BitsPerComponent 8 /ColorSpace /DeviceCMYK "
        "/Filter /FlateDecode >>",
        Deflate(Noise(1600)) + pad);
  OpenedFile f(ToBytes(b.Finish()));
  ASSERT_EQ(f->pageCount, 4);

  Page colour, indexed, gray, cmyk;
  ASSERT_EQ(f.Extract(colour.get(), 0), kOk);
  EXPECT_EQ(colour->bitsPerPixel, 24);
  EXPECT_EQ(colour->data[0], rgb[2]);  // Red, Green, Blue turned around
  EXPECT_EQ(colour->data[2], rgb[0]);
  ASSERT_EQ(f.Extract(indexed.get(), 1), kOk);
  EXPECT_EQ(indexed->bitsPerPixel, 8);
  ASSERT_NE(indexed->palette, nullptr);
  // Entries 0, 1 and 2: red, green and blue.
  EXPECT_EQ(indexed->palette[2] & indexed->palette[4] & indexed->palette[6], 0xFF);
  ASSERT_EQ(f.Extract(gray.get(), 2), kOk);
  EXPECT_EQ(gray->palette[3], 0xFF);  // the gray lookup through a reference
  EXPECT_EQ(f.Extract(cmyk.get(), 3), kErrUnsupported);
}

TEST(Pdf, HostileLengthsStayInsideTheFile) {
  std::string image = Deflate(Noise(1200));
  PdfBuilder b;
  b.Add("<< /Subtype /Image /Width 40 /Height 30 /BitsPerComponent 8 /Filter /FlateDecode "
        "/Length 99999999 >>",
        image);
  b.Add("<< /Subtype /Image /Width 65536 /Height 65536 /BitsPerComponent 8 "
        "/ColorSpace /DeviceRGB /Filter /FlateDecode >>",
        image);
  OpenedFile f(ToBytes(b.Finish()));
  ASSERT_EQ(f->pageCount, 2);
  Page page;
  EXPECT_EQ(f.Extract(page.get(), 0), kOk);
  EXPECT_LE(page->dataSize, 40u * 32);
  FreePage(page.get());
  EXPECT_EQ(f.Extract(page.get(), 1), kErrBadHeader);
}

TEST(Pdf, Ascii85) {
  auto decode = [](const std::string& text) {
    std::vector<uint8_t> out =
        DecodeAscii85(reinterpret_cast<const uint8_t*>(text.data()), static_cast<uint32_t>(text.size()));
    return std::string(out.begin(), out.end());
  };
  // "z" stands for four zero bytes, so the output outgrows the input.
  EXPECT_EQ(decode("!!!!!z9jqo^~>"), std::string(8, '\0') + "Man ");
  EXPECT_EQ(decode("zzzz"), std::string(16, '\0'));
  // A final group of n characters is n - 1 bytes; text after "~>" is not data.
  EXPECT_EQ(decode(Ascii85("abcdefg") + " endstream"), "abcdefg");
  EXPECT_EQ(decode(" 9j\nqo^\r\n"), "Man ");
}
