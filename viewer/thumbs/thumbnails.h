// Thumbnails: the cache of small pictures of the listed files that the
// WorkerThread builds, the thumbnail window that shows them as a grid, and
// the combo strip's cells in the main window.
//
// Threads: only the user-interface thread creates, replaces or frees the
// cache (the job asks it to, by a sent message, when it starts).  The job
// fills entries; each entry's `ready` is stored with release ordering after
// the entry is complete, and painters read it with acquire ordering before
// they touch the entry.  Whatever frees an entry first stops the job.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/core/page.h"
#include "platform/ce.h"

namespace zelmo {

// One listed file's thumbnail.  `picture` is exactly thumbnail size at the
// display depth, bottom line first; without data the file could not be
// read.  The source's facts ride in fields thumbnails do not use otherwise:
// width and height in the logical-screen fields, bits per pixel in the
// frame delay, CompressionCode in the transparent index, FileTypeCode in
// frame left, page count in frame top.
struct ThumbnailEntry {
  std::atomic<int> ready{0};
  quillon::PageRecord picture{};
};

struct ThumbnailCache {
  std::unique_ptr<ThumbnailEntry[]> entries;  // by storage index
  int32_t count = 0;
  std::u16string folder;
  int filter = -1;
  int32_t entryCount = -1;
  ce::HPALETTE palette = nullptr;  // palette displays: the cube or the grays
};
extern ThumbnailCache gThumbs;

// What a job builds, copied on the user-interface thread when it starts.
struct ThumbnailJobRecord {
  std::u16string folder;
  std::vector<int32_t> storage;  // storage index of each display position
  std::vector<std::u16string> names;
  ThumbnailEntry* entries = nullptr;
  int32_t count = 0;
  int width = 80;
  int height = 60;
  int displayDepth = 16;
  bool twelveBit = false;
  int bkColor = 2;
  bool ignoreErrors = true;
};

// Sent by the job to the main window (lParam: the job's record); the
// answer is 1 when there is something to build.
constexpr ce::UINT WM_THUMBNAILJOBSTART = ce::WM_USER + 45;
// Posted by the job after each entry (wParam: its display position).
constexpr ce::UINT WM_THUMBNAILBUILT = ce::WM_USER + 46;
// The main window's handling of the two.
ce::LRESULT OnThumbnailMessage(ce::UINT msg, ce::WPARAM wParam, ce::LPARAM lParam);

// Builds the entry of the job's file at display position `position`: open,
// page 0, a reduced decode and BuildThumbnail.  The entry stays without
// data when the file cannot be opened, read or decoded.
void BuildThumbnailEntry(const ThumbnailJobRecord& job, size_t position, ThumbnailEntry* entry);

// The user-interface side of a job's start: reuse a cache still valid for
// the folder, filter and count, or replace it and fill `job`.
ce::LRESULT PrepareThumbnailJob(ThumbnailJobRecord* job);
// Stops a running thumbnail job (AbortFlag, then a wait that serves the
// job's sent messages); true once none runs.
bool StopThumbnailJob();
// Stops the job and frees the whole cache.
void FreeAllThumbnails();
// Stops the job and frees one entry's picture (it stays built, without
// data).  Nothing for an index outside the cache.
void FreeThumbnail(int32_t storageIndex);
// The same for the listed file `name` of the current folder.
void FreeThumbnailOfFile(const std::u16string& name);
// The entry of a storage index when it is built; null otherwise.
const ThumbnailEntry* BuiltEntry(int32_t storageIndex);
// The entry of display position `position` of the live list when built.
const ThumbnailEntry* BuiltEntryAt(int32_t position);
// FLI/FLC, AVI and QuickTime, and GIF files of two frames or more.
bool HasFilmMark(const quillon::PageRecord& picture);

// Conversion flags a page is decoded with for a thumbnail `thumbWidth`
// wide: JPEG colour at 16 bpp, damaged files kept when asked, and JPEG
// pages from twice the width at half size, from eight times as the Exif
// thumbnail (the decoder falls back to an eighth without one).
int32_t ThumbnailDecodeFlags(const quillon::PageRecord& page, int fileType, int thumbWidth, bool ignoreErrors);

// What a thumbnail is built for.
struct ThumbnailTarget {
  int width;
  int height;
  int displayDepth;  // 4, 8 or 16
  bool twelveBit;
  int bkColor;  // 0 black, 1 gray, 2 white: the fill of 16-bpp entries
};
// Makes `entry` from a decoded page (run lists or pixels): fax pages of
// half vertical resolution doubled, the picture fitted and centred,
// `flip` for a top-down page so that the entry is stored bottom line
// first, then brought to the display's depth and colours.  The page may
// be changed (line doubling).  0 or an ImagingError; `entry` empty then.
int32_t BuildThumbnail(quillon::PageRecord* page, quillon::PageRecord* entry, const ThumbnailTarget& target,
                       bool flip, int rotation);

// The thumbnail window's grid for a client area.
struct ThumbnailLayout {
  int captionHeight;
  int columns;
  int rows;
  int margin;
  int cellWidth;
  int cellHeight;
};
ThumbnailLayout ComputeThumbnailLayout(int clientWidth, int clientHeight, int thumbWidth, int thumbHeight,
                                       bool names);

// Draws a built picture at (x, y) through the cell bitmap selected into
// `cell`; false when it cannot be drawn.
bool DrawThumbnailPicture(ce::HDC dc, ce::HDC cell, const quillon::PageRecord& picture, int x, int y);
// The current file's thumbnail made again from the page as shown (with the
// view's rotation), when no job runs and the file's entry is built.
void RefreshCurrentThumbnail();
// The combo strip's cells, drawn by the main window's paint.
void PaintThumbnailStrip(ce::HDC dc, int top);

// Main-window commands 40045 "Toggle Thumbnail View" and 40115 "Refresh
// Thumbnails".
void ToggleThumbnailView(ce::HWND mainWindow);
void RefreshThumbnails(ce::HWND mainWindow);

}  // namespace zelmo
