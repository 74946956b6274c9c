// Folder scanning, the three sort orders and publishing.
#include "viewer/browse/file_list.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "imaging/core/files.h"
#include "platform/ce.h"
#include "viewer/app/state.h"
#include "viewer/settings/settings.h"

namespace zelmo {

using namespace ce;

FileList gFiles;

namespace {

std::u16string Join(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  if (path.empty() || path.back() != u'\\') path += u'\\';
  path += name;
  return path;
}

char16_t Fold(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  // Latin-1 capitals, the multiplication sign aside.
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 32);
  return c;
}

void Clear(EntryList* list) {
  list->records.clear();
  list->order.clear();
  list->pool.clear();
  list->count = 0;
}

const char16_t* NameOf(const EntryList& list, int32_t record) {
  return list.pool.data() + list.records[static_cast<size_t>(record)].nameOffset;
}

// Appends one entry; false when the list is full.
bool Add(EntryList* list, std::u16string_view folder, const WIN32_FIND_DATA& found, bool file) {
  if (list->count >= kMaxListEntries) return false;
  size_t length = 0;
  while (length < static_cast<size_t>(MAX_PATH) && found.cFileName[length] != 0) ++length;
  std::u16string_view name(found.cFileName, length);
  SHFILEINFO info{};
  std::u16string path = Join(folder, name);
  SHGetFileInfo(path.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  EntryRecord r{};
  r.size = found.nFileSizeLow;
  r.nameOffset = static_cast<uint32_t>(list->pool.size());
  r.icon = info.iIcon;
  if (file) {
    r.createdLow = found.ftCreationTime.dwLowDateTime;
    r.createdHigh = found.ftCreationTime.dwHighDateTime;
  }
  list->records.push_back(r);
  list->order.push_back(list->count);
  list->pool.insert(list->pool.end(), name.begin(), name.end());
  list->pool.push_back(0);
  ++list->count;
  return true;
}

void Warn(std::u16string_view folder, const char* what) {
  std::string narrow = quillon::Utf16ToUtf8(folder);
  std::fprintf(stderr, "zelmo: %s holds more than %d %s; the rest are not listed\n", narrow.c_str(),
               static_cast<int>(kMaxListEntries), what);
}

void SortByName(EntryList* list) {
  std::sort(list->order.begin(), list->order.end(), [list](int32_t a, int32_t b) {
    return CompareNames(NameOf(*list, a), NameOf(*list, b)) < 0;
  });
}

void SortFiles(EntryList* list) {
  const auto& rec = list->records;
  switch (gSettings.sortOrder) {
    case 0: SortByName(list); break;
    case 1:
      std::sort(list->order.begin(), list->order.end(),
                [&rec](int32_t a, int32_t b) { return rec[a].size < rec[b].size; });
      break;
    case 2:
      std::sort(list->order.begin(), list->order.end(), [&rec](int32_t a, int32_t b) {
        if (rec[a].createdHigh != rec[b].createdHigh) return rec[a].createdHigh < rec[b].createdHigh;
        return rec[a].createdLow < rec[b].createdLow;
      });
      break;
    default: break;  // any other order leaves the list as it is
  }
}

}  // namespace

int CompareNames(const char16_t* a, const char16_t* b) {
  for (;; ++a, ++b) {
    char16_t x = Fold(*a), y = Fold(*b);
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

const char16_t* FilterPattern(int dirFilter) {
  return kFileFilters[dirFilter >= 0 && dirFilter < kFileFilterCount ? dirFilter : 0].pattern;
}

void AllocateFileLists() {
  for (Listing* l : {&gFiles.staging, &gFiles.live}) {
    Clear(&l->folders);
    Clear(&l->files);
    l->folders.records.reserve(kInitialFolders);
    l->folders.order.reserve(kInitialFolders);
    l->folders.pool.reserve(kInitialFolderPool);
    l->files.records.reserve(kInitialFiles);
    l->files.order.reserve(kInitialFiles);
    l->files.pool.reserve(kInitialFilePool);
  }
}

void FreeFileLists() {
  gFiles.staging = Listing{};
  gFiles.live = Listing{};
}

int CountEntries(std::u16string_view folder) {
  WIN32_FIND_DATA found;
  std::u16string pattern = Join(folder, u"*.*");
  HANDLE h = FindFirstFile(pattern.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do {
    if (count < INT32_MAX) ++count;
  } while (FindNextFile(h, &found));
  FindClose(h);
  return count;
}

void ScanFolders(std::u16string_view folder) {
  EntryList* list = &gFiles.staging.folders;
  Clear(list);
  WIN32_FIND_DATA found;
  std::u16string pattern = Join(folder, u"*.*");
  HANDLE h = FindFirstFile(pattern.c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    bool full = false;
    do {
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
      if (!Add(list, folder, found, false) && !full) {
        full = true;
        Warn(folder, "folders");
      }
    } while (FindNextFile(h, &found));
    FindClose(h);
  }
  SortByName(list);
}

namespace {

// Whether the entry is a regular file (or a link to one): FIFOs, sockets
// and devices are listed as files by the search but are none.
bool RegularFile(const std::u16string& path) {
  struct stat st;
  return ::stat(quillon::HostPath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

void ScanFiles(std::u16string_view folder, std::u16string_view pattern, bool validate) {
  EntryList* list = &gFiles.staging.files;
  Clear(list);
  WIN32_FIND_DATA found;
  std::u16string search = Join(folder, pattern);
  HANDLE h = FindFirstFile(search.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return;
  HCURSOR old = SetCursor(LoadCursor(nullptr, IDC_WAIT));
  bool full = false;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    size_t length = 0;
    while (length < static_cast<size_t>(MAX_PATH) && found.cFileName[length] != 0) ++length;
    std::u16string path = Join(folder, std::u16string_view(found.cFileName, length));
    if (!RegularFile(path)) continue;
    if (validate && !FileLooksLikeImage(path.c_str())) continue;
    if (!Add(list, folder, found, true) && !full) {
      full = true;
      Warn(folder, "files");
    }
  } while (FindNextFile(h, &found));
  FindClose(h);
  SortFiles(list);
  SetCursor(old);
}

void SortStaging() { SortFiles(&gFiles.staging.files); }

void SortLive() { SortFiles(&gFiles.live.files); }

void Publish() { gFiles.live = gFiles.staging; }

int32_t ClampFirstThumbnail(int64_t first) {
  const int64_t last = int64_t{gFiles.live.files.count} - gView.thumbsPerRow;
  return static_cast<int32_t>(std::max<int64_t>(std::min(first, last), 0));
}

std::u16string CurrentFileName() {
  const char16_t* name = EntryName(gFiles.live.files, gFiles.currentIndex);
  return name ? std::u16string(name) : std::u16string();
}

void KeepCurrentFile(std::u16string_view name) {
  const EntryList& files = gFiles.live.files;
  gFiles.currentIndex = -1;
  for (int32_t i = 0; !name.empty() && i < files.count; ++i) {
    const char16_t* entry = EntryName(files, i);
    if (entry && name == entry) {
      gFiles.currentIndex = i;
      break;
    }
  }
  gView.firstThumbShown = ClampFirstThumbnail(gView.firstThumbShown);
  if (HWND bar = gView.stripScrollBar) {
    SetScrollRange(bar, SB_CTL, 0, std::max(files.count - gView.thumbsPerRow, 0), FALSE);
    SetScrollPos(bar, SB_CTL, gView.firstThumbShown, TRUE);
  }
}

const EntryRecord* EntryAt(const EntryList& list, int index) {
  if (index < 0 || index >= list.count || static_cast<size_t>(index) >= list.order.size()) return nullptr;
  int32_t record = list.order[static_cast<size_t>(index)];
  if (record < 0 || static_cast<size_t>(record) >= list.records.size()) return nullptr;
  return &list.records[static_cast<size_t>(record)];
}

const char16_t* EntryName(const EntryList& list, int index) {
  const EntryRecord* r = EntryAt(list, index);
  if (!r || r->nameOffset >= list.pool.size()) return nullptr;
  return list.pool.data() + r->nameOffset;
}

}  // namespace zelmo
