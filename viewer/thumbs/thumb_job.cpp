// The thumbnail job and its cache: the start on the user-interface thread
// (reuse or replace the cache, copy what the job reads), the build loop on
// the WorkerThread, and stopping the job before anything is freed.
#include <algorithm>

#include "imaging/core/core.h"
#include "imaging/core/files.h"
#include "imaging/pixels/palettes.h"
#include "platform/emulator.h"
#include "viewer/app/jobs.h"
#include "viewer/app/page_load.h"
#include "viewer/app/state.h"
#include "viewer/app/view.h"
#include "viewer/browse/file_list.h"
#include "viewer/settings/settings.h"
#include "viewer/thumbs/thumb_view.h"
#include "viewer/thumbs/thumbnails.h"

namespace zelmo {

using namespace ce;
using namespace quillon;

ThumbnailCache gThumbs;

namespace {

constexpr DWORD kStopTimeoutMs = 30000;

void ReleaseEntries() {
  for (int32_t i = 0; i < gThumbs.count; ++i) {
    FreePage(&gThumbs.entries[i].picture);
    gThumbs.entries[i].picture = PageRecord{};
    gThumbs.entries[i].ready.store(0, std::memory_order_relaxed);
  }
  gThumbs.entries.reset();
  gThumbs.count = 0;
}

// Palette displays show every thumbnail in one palette: the colour cube at
// 8 bits, the gray levels on the 4-bit panel.
void MakeThumbnailPalette() {
  if (gThumbs.palette || gApp.displayDepth > 8) return;
  const PaletteTable& table = gApp.displayDepth == 8 ? kColorCube332 : kGrayRamp4;
  const int count = gApp.displayDepth == 8 ? 256 : 16;
  std::vector<uint8_t> block(sizeof(LOGPALETTE) + sizeof(PALETTEENTRY) * static_cast<size_t>(count));
  auto* palette = reinterpret_cast<LOGPALETTE*>(block.data());
  palette->palVersion = 0x300;
  palette->palNumEntries = static_cast<WORD>(count);
  for (int i = 0; i < count; ++i)
    palette->palPalEntry[i] = PALETTEENTRY{table[3 * i + 2], table[3 * i + 1], table[3 * i], 0};
  gThumbs.palette = CreatePalette(palette);
}

// The decoded form thumbnails are rendered from: run lists for bilevel
// pages, whole pixels in memory of the page's own otherwise.
int32_t Decode(PageRecord* page, int fileType, const ThumbnailJobRecord& job) {
  const bool bilevel = page->bitsPerPixel == 1;
  const int code = bilevel ? kRunLists : kUncompressed;
  if (page->compression == code && page->stripCount < 2 && !page->stripOffsets && page->data &&
      page->dataOwnership == kOwnedByPage)
    return kOk;
  PageRecord out{};
  out.compression = static_cast<int8_t>(code);
  const int32_t flags = bilevel ? (job.ignoreErrors ? kFlagKeepPartial : 0)
                                : ThumbnailDecodeFlags(*page, fileType, job.width, job.ignoreErrors);
  const int32_t r = ConvertPage(page, &out, flags);
  if (r != kOk) return r;
  FreePage(page);
  *page = out;
  // Run lists come top line first whatever the file's order.
  if (bilevel) page->layoutFlags = static_cast<int8_t>((page->layoutFlags & ~kLayoutBottomUp) | kLayoutTopDown);
  return kOk;
}

}  // namespace

void BuildThumbnailEntry(const ThumbnailJobRecord& job, size_t position, ThumbnailEntry* entry) {
  const std::u16string& name = job.names[position];
  std::u16string path = job.folder;
  if (path.empty() || path.back() != u'\\') path += u'\\';
  if (path.size() + name.size() > kMaxPathChars) return;
  path += name;
  ImageFile file{};
  if (OpenImageFile(path.c_str(), &file) != kOk) {
    CloseImageFile(&file);
    return;
  }
  PageRecord page{};
  if (ExtractPage(&file, &page, 0) == kOk) {
    const int32_t width = page.width, height = page.height;
    const int bpp = page.bitsPerPixel, compression = page.compression;
    if (Decode(&page, file.fileType, job) == kOk) {
      const ThumbnailTarget target{job.width, job.height, job.displayDepth, job.twelveBit, job.bkColor};
      BuildThumbnail(&page, &entry->picture, target, (page.layoutFlags & kLayoutTopDown) != 0, 0);
    }
    PageRecord& picture = entry->picture;
    picture.screenWidth = width;
    picture.screenHeight = height;
    picture.frameDelay = bpp;
    picture.transparentIndex = static_cast<uint8_t>(compression);
    picture.frameLeft = file.fileType;
    picture.frameTop = file.pageCount;
  }
  FreePage(&page);
  CloseImageFile(&file);
}

LRESULT PrepareThumbnailJob(ThumbnailJobRecord* job) {
  const EntryList& files = gFiles.live.files;
  gShared.refresh = 0;
  // Switched off (or Glimpse mode): nothing is built.
  if (!gSettings.options.thumbnailsEnabled || gApp.glimpse) return 0;
  const int32_t count = std::max(files.count, 0);
  if (gThumbs.entries && gThumbs.folder == gSettings.curDir && gThumbs.filter == gSettings.dirFilter &&
      gThumbs.entryCount == files.count) {
    // A valid cache is kept; one a stopped job left short is completed.
    int32_t ready = 0;
    for (int32_t i = 0; i < gThumbs.count; ++i) ready += gThumbs.entries[i].ready.load(std::memory_order_relaxed);
    if (ready == gThumbs.count) {
      LogMilestone("thumbnails kept");
      return 0;
    }
    gShared.thumbnailProgress = ready;
  } else {
    ReleaseEntries();
    gThumbs.folder = gSettings.curDir;
    gThumbs.filter = gSettings.dirFilter;
    gThumbs.entryCount = files.count;
    gThumbs.entries = std::make_unique<ThumbnailEntry[]>(static_cast<size_t>(count));
    gThumbs.count = count;
    gShared.thumbnailProgress = 0;
    MakeThumbnailPalette();
    ThumbnailListChanged();
    gView.firstThumbShown = 0;
    if (gView.stripScrollBar) {
      SetScrollRange(gView.stripScrollBar, SB_CTL, 0, std::max(count - gView.thumbsPerRow, 0), FALSE);
      SetScrollPos(gView.stripScrollBar, SB_CTL, 0, TRUE);
    }
  }

  job->folder = gSettings.curDir;
  job->storage.clear();
  job->names.clear();
  for (int32_t i = 0; i < count; ++i) {
    const int32_t s = static_cast<size_t>(i) < files.order.size() ? files.order[static_cast<size_t>(i)] : -1;
    const char16_t* name = EntryName(files, i);
    if (s < 0 || s >= count || !name) continue;
    job->storage.push_back(s);
    job->names.emplace_back(name);
  }
  job->entries = gThumbs.entries.get();
  job->count = count;
  job->width = gView.thumbWidth;
  job->height = gView.thumbHeight;
  job->displayDepth = gApp.displayDepth;
  job->twelveBit = gApp.twelveBitDisplay != 0;
  job->bkColor = gSettings.bkColor;
  job->ignoreErrors = gSettings.options.ignoreErrors;
  LogMilestone("thumbnails started %d", count);
  return 1;
}

void BuildThumbnails() {
  ThumbnailJobRecord job;
  // The cache changes on the user-interface thread only; without a main
  // window (a test of the job alone) the start runs here.
  const LRESULT build = gApp.mainWindow ? SendMessage(gApp.mainWindow, WM_THUMBNAILJOBSTART, 0,
                                                      reinterpret_cast<LPARAM>(&job))
                                        : PrepareThumbnailJob(&job);
  if (!build) return;
  size_t built = 0;
  for (size_t i = 0; i < job.storage.size() && !gShared.abortFlag; ++i) {
    ThumbnailEntry* entry = &job.entries[job.storage[i]];
    // A file listed twice is built once.
    if (entry->ready.load(std::memory_order_relaxed)) continue;
    BuildThumbnailEntry(job, i, entry);
    entry->ready.store(1, std::memory_order_release);
    ++gShared.thumbnailProgress;
    ++built;
    if (gApp.mainWindow) PostMessage(gApp.mainWindow, WM_THUMBNAILBUILT, i, 0);
    Sleep(1);
  }
  LogMilestone("thumbnails %s %zu", gShared.abortFlag ? "stopped" : "built", built);
}

bool StopThumbnailJob() {
  if (!gShared.thumbnailJob) return true;
  gShared.abortFlag = 1;
  return WaitServingSent([] { return gShared.thumbnailJob == 0; }, kStopTimeoutMs);
}

void FreeAllThumbnails() {
  StopThumbnailJob();
  ReleaseEntries();
  gThumbs.folder.clear();
  gThumbs.filter = -1;
  gThumbs.entryCount = -1;
  gShared.thumbnailProgress = 0;
  if (gThumbs.palette) DeleteObject(gThumbs.palette);
  gThumbs.palette = nullptr;
  ThumbnailListChanged();
}

void FreeThumbnail(int32_t storageIndex) {
  if (storageIndex < 0 || storageIndex >= gThumbs.count) return;
  StopThumbnailJob();
  PageRecord& picture = gThumbs.entries[storageIndex].picture;
  FreePage(&picture);
  picture.data = nullptr;
  picture.dataSize = 0;
}

void FreeThumbnailOfFile(const std::u16string& name) {
  const EntryList& files = gFiles.live.files;
  for (int32_t i = 0; i < files.count && static_cast<size_t>(i) < files.order.size(); ++i) {
    const char16_t* listed = EntryName(files, i);
    if (listed && name == listed) {
      FreeThumbnail(files.order[static_cast<size_t>(i)]);
      RefreshStrip();
      return;
    }
  }
}

void RefreshCurrentThumbnail() {
  const EntryList& files = gFiles.live.files;
  const int32_t index = gFiles.currentIndex;
  if (gShared.thumbnailJob || !gView.pageLoaded || index < 0 || index >= files.count ||
      static_cast<size_t>(index) >= files.order.size())
    return;
  const int32_t storage = files.order[static_cast<size_t>(index)];
  if (!BuiltEntry(storage) || NeedsAspectCorrection(gView.page)) return;  // the shown page stays as it is
  PageRecord picture{};
  const ThumbnailTarget target{gView.thumbWidth, gView.thumbHeight, gApp.displayDepth, gApp.twelveBitDisplay != 0,
                               gSettings.bkColor};
  const int rotation = gView.page.bitsPerPixel == 1 ? 0 : gView.rotation;
  if (BuildThumbnail(&gView.page, &picture, target, (gView.page.layoutFlags & kLayoutTopDown) != 0, rotation) != kOk)
    return;
  PageRecord& entry = gThumbs.entries[storage].picture;
  // The source's facts stay.
  picture.screenWidth = entry.screenWidth;
  picture.screenHeight = entry.screenHeight;
  picture.frameDelay = entry.frameDelay;
  picture.transparentIndex = entry.transparentIndex;
  picture.frameLeft = entry.frameLeft;
  picture.frameTop = entry.frameTop;
  FreePage(&entry);
  entry = picture;
}

const ThumbnailEntry* BuiltEntry(int32_t storageIndex) {
  if (storageIndex < 0 || storageIndex >= gThumbs.count || !gThumbs.entries) return nullptr;
  const ThumbnailEntry* entry = &gThumbs.entries[storageIndex];
  return entry->ready.load(std::memory_order_acquire) ? entry : nullptr;
}

const ThumbnailEntry* BuiltEntryAt(int32_t position) {
  const EntryList& files = gFiles.live.files;
  if (position < 0 || position >= files.count || static_cast<size_t>(position) >= files.order.size()) return nullptr;
  return BuiltEntry(files.order[static_cast<size_t>(position)]);
}

bool HasFilmMark(const PageRecord& picture) {
  switch (picture.frameLeft) {
    case kFileFli:
    case kFileAvi:
    case kFileQuickTime: return true;
    case kFileGif: return picture.frameTop >= 2;
    default: return false;
  }
}

}  // namespace zelmo
