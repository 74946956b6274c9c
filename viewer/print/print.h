// Printing bilevel pages to a PCL raster printer over the infrared link or a
// serial port: the Print command and its dialogs (print_dialog.cpp), and
// PrintJob on the WorkerThread (print_job.cpp), which builds the printer's
// byte stream page by page.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "imaging/core/page.h"
#include "platform/ce.h"

namespace zelmo {

// One row of the printer's resolutions: the printable area is 8 x 10.5
// inches in dots.
struct PrintResolution {
  const char16_t* text;
  int32_t dpi;
  int32_t widthDots;
  int32_t heightDots;
};
constexpr PrintResolution kPrintResolutions[] = {
    {u"150 dpi", 150, 1200, 1575},  {u"180 dpi", 180, 1440, 1890},  {u"300 dpi", 300, 2400, 3150},
    {u"360 dpi", 360, 2880, 3780},  {u"600 dpi", 600, 4800, 6300},  {u"720 dpi", 720, 5760, 7560},
    {u"1200 dpi", 1200, 9600, 12600},
};
constexpr int kPrintResolutionCount = 7;

enum PrintMethod : int32_t { kFitToPage = 0, kActualSize = 1, kOneToOne = 2 };

// Everything the job works from, copied by the user-interface thread before
// it posts the job; the job reads nothing else of the viewer's state.
struct PrintRequest {
  std::u16string path;  // the file that was current when Print was pressed
  int32_t firstPage = 1;  // 1-based, inclusive
  int32_t lastPage = 1;
  int32_t resolution = 2;  // row of kPrintResolutions
  int32_t port = 0;  // 0 infrared, 1..4 COM1..COM4
  int32_t method = kFitToPage;
  int32_t orientation = 0;  // 0 portrait, 1 landscape
  ce::HWND mainWindow = nullptr;
  // The progress dialog; its own window procedure clears it when it goes.
  std::atomic<ce::HWND> progress{nullptr};
};
extern PrintRequest gPrint;

// Command 40013 on the main window: the Print dialog, then the job with its
// progress dialog, which takes the focus.
void PrintCommand(ce::HWND mainWindow);

// The job of thread message 40013; the worker disables the main window
// around it.  0, or the ImagingError of the last page that failed.
int32_t PrintJob();

// The size a page of width x height at xRes x yRes dpi is printed at.
// `scaled` is false when the page goes out as it is.
struct PrintSize {
  int32_t width;
  int32_t height;
  bool scaled;
};
PrintSize ComputePrintSize(int32_t width, int32_t height, int32_t xRes, int32_t yRes, int32_t method,
                           int32_t resolution);

// Turns a run-list page into the page's printer bytes: landscape turn,
// scaling, PCL raster rows.  `page` is consumed (released) either way; on
// success `pcl` holds the raster block.
int32_t PreparePrintPage(quillon::PageRecord* page, const PrintRequest& request, quillon::PageRecord* pcl);

// Sends one page: reset and raster resolution, the raster block in chunks
// of `chunk` bytes while `aborted` says no (each followed by `progress` with
// the percentage sent), the rest in one piece, then form feed and reset.
void SendPrintPage(const uint8_t* data, uint32_t size, int32_t dpi, uint32_t chunk,
                   const std::function<void(const uint8_t*, uint32_t)>& send,
                   const std::function<bool()>& aborted, const std::function<void(int)>& progress);

}  // namespace zelmo
