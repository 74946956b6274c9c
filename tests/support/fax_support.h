// Helpers of the fax codec tests: coded pages read from TIFF files with
// libtiff, libtiff's own decode of the same pages, hand-made bit strings,
// and checks of the run-list form.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/core/page.h"

namespace testutil {

// Where the coded bytes of a FaxPage live: in a buffer the page owns, or in
// a buffer outside it (as data in a file's mapped view).
enum class FaxDataHome { kOwned, kView };

// A coded fax page: the raw strips of a TIFF file, as a reader would hand
// them over.  The record is released with the object.
struct FaxPage {
  quillon::PageRecord record{};
  std::vector<uint8_t> view;  // backing store for FaxDataHome::kView
  FaxPage() = default;
  ~FaxPage() { quillon::FreePage(&record); }
  FaxPage(const FaxPage&) = delete;
  FaxPage& operator=(const FaxPage&) = delete;
};

// Reads the raw strips of `path` (a bilevel CCITT TIFF) into `page`.
// Compression 2 -> 7, 3 -> 1 or 2 (by T4Options), 4 -> 3.
::testing::AssertionResult LoadFaxTiff(const std::string& path, FaxPage& page,
                                       FaxDataHome home = FaxDataHome::kView);

// A coded page from bytes made by hand: one block, caller-chosen code.
void SetFaxBytes(FaxPage& page, const std::vector<uint8_t>& bytes,
                 int compression, int32_t width, int32_t height);

// libtiff's decode of directory `directory` of `path`: packed rows of
// RowBytes(width, 1), 1 = the coded white colour (libtiff's bits inverted),
// padding bits cleared.
std::vector<uint8_t> LibtiffRows(const std::string& path, int directory = 0);

// Paints a run-list page into packed rows as LibtiffRows lays them out.
std::vector<uint8_t> PaintRows(const quillon::PageRecord& page);

// Every line well formed: runs add up to the width, no zero-length run
// but a first white one, three terminating zero bytes.
::testing::AssertionResult RunLinesValid(const quillon::PageRecord& page);

// The runs of line y, as lengths.
std::vector<uint32_t> LineRuns(const quillon::PageRecord& page, int32_t y);

// A run-list page made from packed rows (1 = white), `height` rows of
// RowBytes(width, 1) each.
void MakeRunListPage(quillon::PageRecord* page, int32_t width, int32_t height,
                     const std::vector<uint8_t>& rows);

// Writes `coded` as the single strip of a TIFF file with the given TIFF
// compression and Group 3 options, then decodes it with libtiff into rows
// as LibtiffRows does.  Empty on failure.
std::vector<uint8_t> LibtiffDecodeCoded(const std::vector<uint8_t>& coded,
                                        int tiffCompression, uint32_t t4Options,
                                        int32_t width, int32_t height);

// Bits written as text, "0001 1" (spaces ignored), most significant first.
struct BitString {
  std::vector<uint8_t> bytes;
  uint32_t bits = 0;
  BitString& Add(const std::string& text);
  BitString& Add(uint32_t code, int length);
  BitString& AlignToByte();
};

}  // namespace testutil
