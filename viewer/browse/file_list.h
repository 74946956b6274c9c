// The listing of the current folder: its sub-folders and the files that
// match a file-type filter, sorted.  Scans fill a staging copy; publishing
// copies it over the live one that the main window, the thumbnail view and
// the slide show walk through.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace zelmo {

// One folder or file.
struct EntryRecord {
  uint32_t size;  // low 32 bits of the file size
  uint32_t nameOffset;  // in the list's name pool, in characters
  int32_t icon;  // the shell's small-icon index
  uint32_t createdLow;  // creation time (files only)
  uint32_t createdHigh;
};

// Records, the display order (record indexes) and the names, each name
// followed by its terminating zero.  The lists grow as a folder needs,
// from the sizes below, up to kMaxListEntries entries.
struct EntryList {
  std::vector<EntryRecord> records;
  std::vector<int32_t> order;
  std::vector<char16_t> pool;
  int32_t count = 0;
};

constexpr size_t kInitialFolders = 128;
constexpr size_t kInitialFolderPool = 3072;
constexpr size_t kInitialFiles = 1024;
constexpr size_t kInitialFilePool = 24576;
constexpr int32_t kMaxListEntries = 65536;

struct Listing {
  EntryList folders;
  EntryList files;
};

struct FileList {
  Listing staging;
  Listing live;
  int32_t currentIndex = -1;  // position in the live file order
  int32_t entryCount = 0;  // count-entries of the folder as listed
  int32_t entryCountAtScan = 0;
};

extern FileList gFiles;

// The "Files of type" rows: name and scan pattern, DirFilter = row.
struct FileFilter {
  const char16_t* name;
  const char16_t* pattern;
};
constexpr FileFilter kFileFilters[] = {
    {u"All Files", u"*.*"}, {u"PCX", u"*.PCX"},        {u"TIFF", u"*.TIF"},   {u"BMP", u"*.BMP"},
    {u"JPEG", u"*.JPG"},    {u"DCX", u"*.DCX"},        {u"AWD", u"*.AWD"},    {u"GIF", u"*.GIF"},
    {u"PSEG", u"*.PSG"},    {u"CALS", u"*.CAL"},       {u"MODCA/IOCA", u"*.ICA"}, {u"TARGA", u"*.TGA"},
    {u"PDF", u"*.PDF"},     {u"AVI", u"*.AVI"},        {u"QuickTime", u"*.MOV"}, {u"WinFAX", u"*.FX?"},
};
constexpr int kFileFilterCount = 16;
static_assert(std::size(kFileFilters) == kFileFilterCount);
// The pattern of a DirFilter; "*.*" for one outside the table.
const char16_t* FilterPattern(int dirFilter);

// Reserves the lists at their first sizes; frees them.
void AllocateFileLists();
void FreeFileLists();

// Entries (files and folders) "*.*" finds in `folder`; 0 when it cannot be
// searched.
int CountEntries(std::u16string_view folder);
// Refill the staging folder list / file list (sorted by SortOrder).
void ScanFolders(std::u16string_view folder);
void ScanFiles(std::u16string_view folder, std::u16string_view pattern, bool validate);
void SortStaging();
void SortLive();
void Publish();

// After the live list was sorted again or replaced by a publish: the
// current file index found again by the current file's `name` (-1 when it
// is gone, or for an empty name), the strip's first thumbnail kept within
// the list and the strip's scroll bar set to match.
void KeepCurrentFile(std::u16string_view name);
// The current file's name in the live list ("" when none is current).
std::u16string CurrentFileName();
// A first thumbnail for the strip: within 0..(file count - thumbnails per
// row), the upper bound applied first, so a short list starts at 0.
int32_t ClampFirstThumbnail(int64_t first);

// Name of the entry at display position `index`; null outside the list.
const char16_t* EntryName(const EntryList& list, int index);
const EntryRecord* EntryAt(const EntryList& list, int index);

// The quick signature test over a file's first bytes (at most 4096 read).
bool QuickSignatureTest(std::span<const uint8_t> head);
// Reads the first 4096 bytes of `path`; false when it cannot be read.
bool FileLooksLikeImage(const char16_t* path);

// Case-insensitive order of two names.
int CompareNames(const char16_t* a, const char16_t* b);

}  // namespace zelmo
