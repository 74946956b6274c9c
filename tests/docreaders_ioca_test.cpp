// IOCA pages: structured fields, the self-defining fields inside the
// picture data, the compression mapping and the polarity of uncompressed
// images.
#include <gtest/gtest.h>

#include <cstring>

#include "imaging/core/core.h"
#include "support/doc_writers.h"
#include "support/docreaders_fax.h"

using namespace quillon;
using testutil::Bilevel;
using testutil::BitOrder;
using testutil::FaxCode;
using testutil::IocaPage;
using testutil::OpenedBytes;
using testutil::Page;

namespace {

std::vector<uint8_t> Concatenate(const std::vector<std::vector<uint8_t>>& blocks) {
  std::vector<uint8_t> out;
  for (const auto& b : blocks) out.insert(out.end(), b.begin(), b.end());
  return out;
}

IocaPage G4Page(const Bilevel& picture, BitOrder order) {
  IocaPage p;
  p.width = picture.width;
  p.height = picture.height;
  p.xDpi = 240;
  p.yDpi = 120;
  p.encoding = 0x82;
  p.bitOrder = order == BitOrder::kLsbFirst ? 1 : -1;
  p.image = Concatenate(testutil::EncodeFax(picture, FaxCode::kG4,
                                            static_cast<uint32_t>(picture.height), order));
  return p;
}

// IOCA's own uncompressed form: bit 1 = ink, rows byte-aligned.
IocaPage RawPage(const Bilevel& picture, bool lsbFirst) {
  IocaPage p;
  p.width = picture.width;
  p.height = picture.height;
  p.encoding = 0x03;
  p.image = testutil::PackRows(picture, true, static_cast<uint32_t>((picture.width + 7) / 8));
  if (lsbFirst) {
    p.bitOrder = 1;
    for (uint8_t& v : p.image) {
      uint8_t r = 0;
      for (int b = 0; b < 8; ++b) r |= static_cast<uint8_t>(((v >> b) & 1) << (7 - b));
      v = r;
    }
  }
  return p;
}

}  // namespace

TEST(Ioca, ImageDataIsGatheredFromFieldsSplitAnywhere) {
  const Bilevel picture = testutil::TestDrawing(300, 120, 7);
  IocaPage p = G4Page(picture, BitOrder::kMsbFirst);
  p.imageChunk = 97;     // image data in many self-defining fields
  p.pictureChunk = 150;  // which straddle the picture data fields
  OpenedBytes f(testutil::BuildIoca({p}));
  ASSERT_EQ(f.result(), kOk);
  ASSERT_EQ(f.file()->fileType, kFileIoca);
  ASSERT_EQ(f.file()->pageCount, 1);
  Page page;
  ASSERT_EQ(ExtractPage(f.file(), page.get(), 0), kOk);
  EXPECT_EQ(page->width, 300);
  EXPECT_EQ(page->height, 120);
  EXPECT_EQ(page->xResolution, 240);
  EXPECT_EQ(page->yResolution, 120);
  EXPECT_EQ(page->compression, kG4);
  EXPECT_EQ(page->fillOrderReversed, 0);
  EXPECT_EQ(page->dataOwnership, kOwnedByPage);
  ASSERT_EQ(page->dataSize, p.image.size());
  EXPECT_EQ(std::memcmp(page->data + page->dataOffset, p.image.data(), p.image.size()), 0);
  Bilevel got = testutil::PeerDecode(page.record);
  EXPECT_EQ(got, picture) << testutil::FirstDifference(got, picture);
}

TEST(Ioca, UncompressedImagesAreTurnedToTheLibrarysPolarity) {
  // Ink is bit 1 in IOCA; the page the library shows must not be a negative.
  for (bool lsbFirst : {false, true}) {
    SCOPED_TRACE(lsbFirst);
    const Bilevel picture = testutil::TestDrawing(77, 31, 8);
    IocaPage p = RawPage(picture, lsbFirst);
    p.imageChunk = 40;
    p.pictureChunk = 64;
    OpenedBytes f(testutil::BuildIoca({p}));
    Page page;
    ASSERT_EQ(ExtractPage(f.file(), page.get(), 0), kOk);
    EXPECT_EQ(page->compression, kUncompressed);
    EXPECT_EQ(page->bytesPerLine, RowBytes(77, 1));
    EXPECT_EQ(page->dataSize, RowBytes(77, 1) * 31);
    EXPECT_EQ(page->fillOrderReversed, 0);
    Bilevel got = testutil::LibraryDecode(page.record);
    EXPECT_EQ(got, picture) << testutil::FirstDifference(got, picture);
  }
}

TEST(Ioca, PagesAndTheEncodingParameter) {
  const Bilevel one = testutil::TestDrawing(64, 40, 9), two = testutil::TestDrawing(129, 50, 10),
                three = testutil::TestDrawing(20, 20, 11);
  IocaPage g3;
  g3.width = two.width;
  g3.height = two.height;
  g3.encoding = 0x80;
  g3.bitOrder = 1;
  g3.image = Concatenate(testutil::EncodeFax(two, FaxCode::kG3OneD, 50, BitOrder::kLsbFirst));
  OpenedBytes f(testutil::BuildIoca(
      {G4Page(one, BitOrder::kLsbFirst), g3, RawPage(three, false)}));
  ASSERT_EQ(f.file()->pageCount, 3);

  Page first, second, third;
  ASSERT_EQ(ExtractPage(f.file(), first.get(), 0), kOk);
  EXPECT_EQ(first->compression, kG4);
  EXPECT_EQ(first->fillOrderReversed, 1);
  EXPECT_EQ(testutil::PeerDecode(first.record), one);
  EXPECT_EQ(testutil::LibraryDecode(first.record), one);
  ASSERT_EQ(ExtractPage(f.file(), second.get(), 1), kOk);
  EXPECT_EQ(second->compression, kG3OneD);
  EXPECT_EQ(second->fillOrderReversed, 1);
  EXPECT_EQ(testutil::PeerDecode(second.record), two);
  EXPECT_EQ(testutil::LibraryDecode(second.record), two);
  ASSERT_EQ(ExtractPage(f.file(), third.get(), 2), kOk);
  EXPECT_EQ(testutil::LibraryDecode(third.record), three);

  // Encodings the library has no decoder for are refused.
  IocaPage odd = RawPage(three, false);
  odd.encoding = 0x08;
  OpenedBytes g(testutil::BuildIoca({odd}));
  Page refused;
  EXPECT_EQ(ExtractPage(g.file(), refused.get(), 0), kErrUnsupported);
  EXPECT_EQ(refused->data, nullptr);
}

TEST(Ioca, DamagedPagesEndCleanly) {
  const Bilevel picture = testutil::TestDrawing(90, 40, 12);
  IocaPage p = G4Page(picture, BitOrder::kMsbFirst);
  p.imageChunk = 50;
  p.pictureChunk = 60;
  const std::vector<uint8_t> good = testutil::BuildIoca({p, RawPage(picture, false)});

  for (size_t cut = 50; cut <= good.size(); cut += 3) {
    std::vector<uint8_t> bytes(good.begin(), good.begin() + static_cast<ptrdiff_t>(cut));
    OpenedBytes f(bytes);
    if (f.result() != kOk) continue;
    for (int32_t i = 0; i < f.file()->pageCount; ++i) {
      Page page;
      int32_t r = ExtractPage(f.file(), page.get(), i);
      ASSERT_TRUE(r == kOk || r == kErrBadHeader) << cut << ": " << r;
      if (r == kOk) {
        testutil::TouchPage(page.record, *f.file());
        testutil::LibraryDecode(page.record);  // the decoders meet the damage too
      }
    }
  }

  // Self-defining fields that claim more than the picture data holds, and
  // a structured field that claims more than the file.
  std::vector<uint8_t> longImage = good;
  for (size_t i = 0; i + 3 < longImage.size(); ++i)
    if (longImage[i] == 0xFE && longImage[i + 1] == 0x92) longImage[i + 2] = 0xFF;
  std::vector<uint8_t> longField = good;
  for (size_t i = 0; i + 4 < longField.size(); ++i)
    if (longField[i + 2] == 0xD3 && longField[i + 3] == 0xEE && longField[i + 4] == 0xFB)
      longField[i] = 0x7F;  // every picture data field
  for (const auto& bytes : {longImage, longField}) {
    OpenedBytes f(bytes);
    ASSERT_EQ(f.result(), kOk);
    for (int32_t i = 0; i < f.file()->pageCount; ++i) {
      Page page;
      if (ExtractPage(f.file(), page.get(), i) == kOk) testutil::TouchPage(page.record, *f.file());
    }
  }

  // Without an image data descriptor there is no page size.
  std::vector<uint8_t> noDescriptor = good;
  for (size_t i = 0; i + 4 < noDescriptor.size(); ++i)
    if (noDescriptor[i + 2] == 0xD3 && noDescriptor[i + 3] == 0xA6 && noDescriptor[i + 4] == 0xFB)
      noDescriptor[i + 3] = 0xA5;
  OpenedBytes f(noDescriptor);
  Page page;
  EXPECT_EQ(ExtractPage(f.file(), page.get(), 0), kErrBadHeader);
}
