// The emulator's virtual printer: it reads each job an emulated port
// receives as a PCL raster printer would, and leaves printouts a person can
// look at in \Printouts (PNG sheets and a PDF per job).
//
// The reader takes any bytes: every count is bounded, rows and skips that
// leave the printable area are clipped, a stream cut anywhere ends its page
// cleanly, and memory stays within one sheet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace ce {

// One US Letter sheet (8.5 x 11 inches) at the raster resolution.  The
// raster starts a quarter inch from the left and top edges; what falls
// outside the printable 8 x 10.5 inches is clipped.
struct PrintSheet {
  int32_t dpi = 300;
  int32_t width = 0;  // the sheet, in dots
  int32_t height = 0;
  int32_t originX = 0;  // the printable area's top-left corner
  int32_t originY = 0;
  int32_t printableWidth = 0;
  int32_t printableHeight = 0;
  uint32_t stride = 0;  // bytes per sheet row
  std::vector<uint8_t> bits;  // 1 = black, most significant bit first
  int32_t rasterWidth = 0;  // the widest row received, in dots
  int32_t rasterRows = 0;  // rows from the first to the last one placed
  bool clipped = false;  // black dots fell outside the printable area
};

// The reader's state between pieces of a job.
struct PclReader {
  enum class State : uint8_t { kText, kEscape, kGroup, kValue, kData };
  State state = State::kText;
  uint8_t parameter = 0;  // ESC's parameter character ('*', '&', ...)
  uint8_t group = 0;
  bool negative = false;
  bool fraction = false;
  bool digits = false;
  int64_t value = 0;
  // The data that follows a command: a raster row or bytes to skip.
  uint64_t dataLeft = 0;
  bool rowData = false;
  bool chained = false;  // the command's terminator was lower case
  // Raster state.
  int32_t resolution = 300;
  int32_t compression = 0;
  bool raster = false;
  int32_t row = 0;  // the next raster row, from the printable area's top
  int32_t column = 0;  // bytes of the current row placed so far
  // PackBits packet state inside a row.
  int32_t literalLeft = 0;
  bool repeatPending = false;
  int32_t repeatCount = 0;
  bool pageMarked = false;  // rows have been received since the last eject
  PrintSheet sheet;
  uint64_t skippedRows = 0;  // rows in a compression method not understood
};

using PrintSheetSink = std::function<void(const PrintSheet&)>;

// Feeds the next bytes of a job; every page ejected goes to `sink`.
void FeedPcl(PclReader* reader, const uint8_t* data, size_t size, const PrintSheetSink& sink);
// The job has ended: a page holding rows is ejected.
void EndPcl(PclReader* reader, const PrintSheetSink& sink);

// Printouts of the whole sheet: one-bit PNG, black on white.  False when
// the file cannot be written.
bool WriteSheetPng(const std::string& path, const PrintSheet& sheet);

// A PDF of one 612 x 792 point page per sheet, each holding the sheet as a
// one-bit DeviceGray image, Flate-compressed.  Pages are written as they
// come; the cross-reference table closes the file.
struct PdfPrintout {
  std::FILE* file = nullptr;
  std::vector<uint64_t> offsets;  // by object number; 0 = not yet written
  uint64_t at = 0;
  int pages = 0;
  bool failed = false;
};
bool OpenPdfPrintout(PdfPrintout* pdf, const std::string& path);
void AddPdfPage(PdfPrintout* pdf, const PrintSheet& sheet);
// Writes the page tree, the catalogue and the cross-reference table; false
// when any write failed.
bool ClosePdfPrintout(PdfPrintout* pdf);

// One job of an emulated port ("IrDA", "COM1".."COM4"): from the
// connection's start to its end.  Begin returns null when printouts are off.
struct PrintoutJob;
PrintoutJob* BeginPrintoutJob(const char* port);
void FeedPrintoutJob(PrintoutJob* job, const void* data, size_t size);
// Writes what is left, logs and announces the printout, frees the job.
void EndPrintoutJob(PrintoutJob* job);

}  // namespace ce
