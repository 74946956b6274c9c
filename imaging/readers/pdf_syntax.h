// The little of PDF's syntax that finding image objects needs: white space,
// names, numbers and dictionary keys, all read inside bounded bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "imaging/core/bytes.h"
#include "imaging/core/page.h"

namespace quillon {

inline bool PdfWhite(uint8_t c) {
  return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == 0;
}
inline bool PdfDelimiter(uint8_t c) {
  return PdfWhite(c) || c == '/' || c == '[' || c == ']' || c == '<' || c == '>' ||
         c == '(' || c == ')' || c == '%' || c == '{' || c == '}';
}

// Moves past white space and comments.
void PdfSkipSpace(const Bytes& b, uint64_t& at);
// A name at `at` (starting with '/'), returned without the slash; empty when
// there is none.  `at` moves past it.
std::string_view PdfName(const Bytes& b, uint64_t& at);
// An unsigned integer (digits only); false when there is none.
bool PdfNumber(const Bytes& b, uint64_t& at, uint32_t* value);

// The span of an object's dictionary: from `object` to its "stream" keyword
// or "endobj", at most `limit` bytes on.  `streamData` receives where the
// stream's data starts (after "stream" and its end of line), 0 when the
// object has no stream.
struct PdfObject {
  uint64_t begin = 0;
  uint64_t end = 0;         // end of the dictionary text
  uint64_t streamData = 0;  // 0 = no stream
};
PdfObject PdfObjectAt(const Bytes& file, uint64_t object, uint64_t limit);

// Position just after key `key` (e.g. "/Width") inside [begin, end), or -1.
// The key must be followed by a delimiter, so "/Image" does not match
// "/ImageMask".
int64_t PdfFindKey(const Bytes& b, uint64_t begin, uint64_t end, std::string_view key);

// The integer value after a key, resolving nothing: false when absent or not
// a direct number.
bool PdfKeyNumber(const Bytes& b, uint64_t begin, uint64_t end, std::string_view key,
                  uint32_t* value);

// Where the objects of a file lie, found in one pass over the file and its
// object streams (files written since PDF 1.5 keep small objects there):
// built on the first indirect reference a page needs and kept with the
// ImageFile, so that resolving a reference, or failing to, never costs
// another pass.
struct PdfObjectIndex;
// The file's index, built now if it is not yet; null when memory fails.
const PdfObjectIndex* PdfObjects(ImageFile* file);
void ReleasePdfObjects(ImageFile* file);

// Offset of "N G obj" for object number N in the file, or -1.
int64_t PdfFindObject(const PdfObjectIndex* index, uint32_t number);

// The text of object `number` after its "obj" keyword, up to "endobj" or
// "stream", whether it stands in the file or inside an object stream;
// empty if absent.
std::vector<uint8_t> PdfObjectText(const Bytes& file, const PdfObjectIndex* index,
                                   uint32_t number);

// An indirect reference "N G R" at `at`: the object's number, or 0.
uint32_t PdfReference(const Bytes& b, uint64_t at);

}  // namespace quillon
