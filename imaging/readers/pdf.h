// PDF image objects: the index built when a PDF file is opened, and the
// extraction of one image as a page.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/bytes.h"
#include "imaging/core/page.h"

namespace quillon {

// Fills pageOffsets with the offsets of the image objects that carry a
// supported filter; a file without usable cross-reference data opens with
// no pages.
int32_t IndexPdf(ImageFile* file);
int32_t ExtractPdfImage(ImageFile* file, PageRecord* page, int32_t index,
                        bool geometry = false);

// True when the object at `offset` is an image stream with one of the
// supported filters (its CompressionCode, or kFlate, in `filter`).
bool PdfImageCandidate(const Bytes& file, uint64_t offset, int* filter);

// Replaces the page's data by its zlib inflation (height x BytesPerLine
// bytes of room); the rows keep their byte-aligned layout.
int32_t InflatePage(PageRecord* page);
// ASCII85 decoding.  Not in place: a "z" stands for four bytes, so the
// output can outrun the input it would overwrite.
std::vector<uint8_t> DecodeAscii85(const uint8_t* text, uint32_t length);
// Undoes PNG row predictors in place: `size` bytes of rows of `columns`
// bytes, each after its filter byte.  Returns the size without filter bytes.
uint64_t UndoPngRows(uint8_t* data, uint64_t size, uint32_t columns, uint32_t bytesPerPixel);
// One such row in place: `filter` is its filter byte, `previous` the row
// above as decoded (zeros for the first).
void UndoPngRow(uint8_t filter, uint8_t* row, const uint8_t* previous, uint32_t columns,
                uint32_t bytesPerPixel);

}  // namespace quillon
