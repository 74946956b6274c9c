// Opening files and loading pages in display form for the tool's commands.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/core/core.h"

namespace quillon_tool {

// A page record released with the object.
struct OwnedPage {
  quillon::PageRecord record{};
  OwnedPage() = default;
  ~OwnedPage() { quillon::FreePage(&record); }
  OwnedPage(const OwnedPage&) = delete;
  OwnedPage& operator=(const OwnedPage&) = delete;
};

// An open image file, closed with the object.  Animation frames that are
// drawn over the one before are kept here between extractions, so that
// consecutive frames cost one frame each.
// A name of "-" reads standard input into memory first (up to the
// library's allocation limit).
class File {
 public:
  explicit File(const std::string& name);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  int32_t result() const { return result_; }
  // The system's reason the file could not be opened, or "".
  const std::string& reason() const { return reason_; }
  quillon::ImageFile* get() { return &file_; }

 private:
  friend int32_t ExtractPageOf(File& file, int32_t index, OwnedPage& page);
  quillon::ImageFile file_{};
  int32_t result_;
  std::string reason_;
  int memory_ = -1;         // standard input's copy
  OwnedPage frame_;         // the last animation frame decoded
  int32_t frameIndex_ = -1;
};

// Why `name` could not be opened, in the system's words ("" when it can or
// when the system has nothing to say).
std::string OpenFailure(const std::string& name);
// Why a save to `name` failed with `error` (an errno value): a target that
// is no regular file is named as such.
std::string SaveFailure(const std::string& name, int error);

// Extracts page `index` (0-based) into `page`.  An animation frame lies in
// the file's own frame buffer: `page` borrows it (with a palette of its
// own) until the next extraction from the same file.
int32_t ExtractPageOf(File& file, int32_t index, OwnedPage& page);

// Extracts and decodes page `index`: run lists for bilevel pages, pixels
// for the others.  Pages already in plain top-down pixels are taken as they
// are, without a copy.  `flags` are the conversion flags.
int32_t LoadDisplayPage(File& file, int32_t index, int32_t flags,
                        OwnedPage& page);

// The picture format of a file name's extension or of a --format value:
// 'p' PNG, '6' PPM, '5' PGM, '4' PBM, 0 none of them.
char PictureFormat(const std::string& nameOrFormat);

// Writes a decoded page as people see it (palettes expanded, 5-6-5
// widened, bottom-up lines upright; a palette whose used entries are all
// gray gives a gray picture) in `format`.  Row by row, to standard output
// for "-", else into a temporary file that replaces `path` only when
// complete and keeps the mode of the file it replaces.  Failures are
// reported on stderr; false then.
bool WritePage(const quillon::PageRecord& page, const std::string& path, char format);

// A file in memory for output that has to be read back while written
// (pages appended to standard output); -1 when none can be had.
int MemoryFile();
// Copies `fd` from its start to standard output.
bool CopyToStandardOutput(int fd);

}  // namespace quillon_tool
