// The viewer's vocabulary of assignable functions: FunctionCode n is
// toolbar icon n, a toolbar slot's value and a hardware button's value; the
// FunctionTable maps it to its command (whose name is the string-table
// entry of the same number).  Also the default toolbar rows by screen width
// and the default button assignments.
#pragma once

#include <cstdint>
#include <span>

namespace zelmo {

constexpr int kFunctionCount = 58;
constexpr uint8_t kUndefinedFunction = 57;
constexpr uint8_t kPreviousToolbar = 38;
constexpr uint8_t kNextToolbar = 39;

// Code -> command identifier, in code order.
constexpr uint16_t kFunctionTable[kFunctionCount] = {
    40005,  // 0 Open...
    40007,  // 1 Save As...
    40063,  // 2 First Page
    40064,  // 3 Last Page
    40029,  // 4 Previous Page
    40030,  // 5 Go to page...
    40028,  // 6 Next Page
    40067,  // 7 Previous File
    40068,  // 8 Next File
    40006,  // 9 Close
    40031,  // 10 100% View
    40032,  // 11 Fit To Width
    40033,  // 12 Fit To Window
    40042,  // 13 Fit To Custom %
    40020,  // 14 Rotate View 90
    40065,  // 15 Rotate View 180
    40066,  // 16 Rotate View 270
    40024,  // 17 Flip Horizontal
    40023,  // 18 Flip Vertical
    40040,  // 19 Preferences...
    40054,  // 20 Lighten 10%
    40053,  // 21 Darken 10%
    40021,  // 22 Invert
    40018,  // 23 Resize...
    40019,  // 24 Crop...
    40052,  // 25 Color --> Gray
    40050,  // 26 Modify Colors...
    40062,  // 27 Screen Capture
    40073,  // 28 Copy to Clipboard
    40041,  // 29 File Associations...
    40071,  // 30 Slide Show
    40085,  // 31 First File
    40086,  // 32 Last File
    40045,  // 33 Toggle Thumbnail View
    40012,  // 34 Image Info...
    40043,  // 35 Zoom Window
    40003,  // 36 Copyright Info...
    40011,  // 37 Online Help...
    40075,  // 38 Previous Toolbar
    40074,  // 39 Next Toolbar
    40013,  // 40 Print...
    40069,  // 41 Play / Pause
    40082,  // 42 Copy File...
    40076,  // 43 Delete File
    40083,  // 44 Send via Email...
    40084,  // 45 Send via IrDA...
    40034,  // 46 Zoom In
    40035,  // 47 Zoom Out
    40095,  // 48 Zoom to Selection
    40104,  // 49 Toggle Fullscreen View
    40055,  // 50 Toggle Selection
    40114,  // 51 Toggle Combo View
    40004,  // 52 Exit
    40115,  // 53 Refresh Thumbnails
    40117,  // 54 Rotate Image 90
    40118,  // 55 Rotate Image 180
    40119,  // 56 Rotate Image 270
    40116,  // 57 Undefined
};

// The command of a code; codes beyond the table act as "Undefined".
constexpr uint16_t CommandOfFunction(int code) {
  return code >= 0 && code < kFunctionCount ? kFunctionTable[code]
                                            : kFunctionTable[kUndefinedFunction];
}

// Default toolbar rows.  240 and 640 pixels and every other width are the
// handheld's own; 320 (4 rows of 13) and 480 (3 rows of 20) put the most
// used functions in the first row: files, pages, zoom, views.
constexpr uint8_t kToolbar240[50] = {
    38, 0,  1,  51, 41, 30, 14, 5,  37, 39,  //
    38, 10, 11, 12, 13, 54, 55, 56, 22, 39,  //
    38, 17, 18, 20, 21, 23, 24, 25, 26, 39,  //
    38, 27, 28, 29, 40, 34, 35, 36, 37, 39,  //
    38, 31, 7,  33, 8,  32, 44, 19, 52, 39,
};
constexpr uint8_t kToolbar320[52] = {
    38, 0,  7,  8,  4,  6,  46, 47, 12, 11, 33, 49, 39,  // open, files, pages, zoom
    38, 10, 13, 14, 54, 5,  2,  3,  41, 51, 35, 48, 39,  // views, paging, play
    38, 1,  17, 18, 22, 20, 21, 23, 24, 25, 26, 28, 39,  // editing
    38, 30, 27, 40, 44, 45, 42, 43, 34, 19, 37, 52, 39,  // sharing and tools
};
constexpr uint8_t kToolbar480[60] = {
    38, 0,  1,  7,  8,  4,  6,  2,  3,  5,  46, 47, 10, 11, 12, 13, 33, 51, 49, 39,
    38, 14, 15, 16, 54, 55, 56, 17, 18, 22, 20, 21, 25, 26, 23, 24, 48, 35, 28, 39,
    38, 41, 30, 31, 32, 9,  27, 40, 44, 45, 42, 43, 34, 53, 29, 19, 36, 37, 52, 39,
};
constexpr uint8_t kToolbar640[52] = {
    38, 0,  51, 1,  40, 41, 2, 4,  5,  6,  3,  10, 11, 12, 13, 14, 15, 16, 17, 18, 20, 19, 36, 37, 52, 39,
    38, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 7, 33, 8,  32, 34, 35, 42, 43, 44, 45, 36, 37, 52, 39,
};
// The second row of the other widths names 27 functions for 33 slots: the
// slots between its functions and its closing 39 stay "Undefined".
constexpr uint8_t kToolbarOther[66] = {
    38, 0, 51, 1,  40, 41, 7,  8,  2,  4,  5,  6,  3,  10, 11, 12, 13, 14, 15, 16, 54, 55, 56,
    17, 18, 20, 21, 19, 34, 36, 37, 52, 39,
    38, 9, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 7,  33, 8,  32, 35, 42, 43, 44, 45, 34, 19,
    36, 37, 52, 57, 57, 57, 57, 57, 57, 39,
};

// Toolbar rows for a screen width: 5 at 240, 4 at 320, 3 at 480, else 2.
constexpr int ToolbarRowCount(int width) {
  return width == 240 ? 5 : width == 320 ? 4 : width == 480 ? 3 : 2;
}

// The default layout for a screen width (the block is zero beyond it).
std::span<const uint8_t> DefaultToolbarLayout(int width);

// Default KeyAssignment blocks: byte i for hardware button i.
constexpr uint8_t kDefaultMainKeys[10] = {46, 47, 33, 39, 49, 52, 0, 19, 8, 9};
constexpr uint8_t kDefaultFullscreenKeys[10] = {46, 47, 7, 8, 49, 52, 33, 0, 34, 0};
constexpr uint8_t kDefaultThumbKeys[10] = {7, 8, 33, 50, 0, 52, 34, 43, 42, 37};

}  // namespace zelmo
