// File primitives on wide-character (UTF-16) paths.  Every path goes through
// one replaceable hook that maps it to a host path: identity by default; the
// handheld emulator maps device paths such as \My Documents\a.tif to its
// device folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "imaging/core/page.h"

namespace quillon {

using PathHook = std::string (*)(std::u16string_view path);

// Installs a path hook; null restores the identity mapping.
void SetPathHook(PathHook hook);
// The host path that `path` maps to.
std::string HostPath(std::u16string_view path);

// Reports whether writes to a path are refused, as on a write-protected
// card: the primitives that create or write such a path fail.  Null (the
// default): every path may be written.
using ReadOnlyHook = bool (*)(std::u16string_view path);
void SetReadOnlyHook(ReadOnlyHook hook);

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

FileHandle OpenForRead(const char16_t* path);
// Read and write; falls back to OpenForRead when that fails.
FileHandle OpenForReadWrite(const char16_t* path);
// Creates or truncates.
FileHandle CreateForWrite(const char16_t* path);
// origin 0 = start, 1 = current, 2 = end.  Returns the new position or -1.
int64_t Seek(FileHandle handle, int64_t position, int origin);
// Bytes read or written; short counts only at the end of the file or on
// error (both loop over partial transfers).
int64_t Read(FileHandle handle, void* buffer, uint64_t count);
int64_t Write(FileHandle handle, const void* buffer, uint64_t count);
void Close(FileHandle handle);

// Reads up to `count` bytes at `position`; returns the bytes read (0 when
// the position lies at or past the end, or on error).
int64_t ReadAt(FileHandle handle, uint64_t position, void* buffer,
               uint64_t count);

// A save that replaces `target` only once it is complete.  Begin creates a
// temporary file under a fresh name in the target's folder, opened with
// O_EXCL and O_NOFOLLOW so that no file or link already there is touched,
// with the mode of the regular file it will replace; it refuses a target
// that exists and is not a regular file.  Commit flushes it to the disk,
// closes it and renames it over the target; Abandon closes and removes it.
// false (with errno) leaves the target as it was and nothing behind.
struct ReplacingSave {
  FileHandle handle = kInvalidHandle;
  std::string target;     // host paths
  std::string temporary;
};
bool BeginReplacingSave(const char16_t* target, ReplacingSave* save);
bool CommitReplacingSave(ReplacingSave* save);
void AbandonReplacingSave(ReplacingSave* save);

// Read-only view of the whole file; null on failure.  The length is the
// file size.
uint8_t* MapWholeFile(const char16_t* path, uint64_t* length);
void UnmapView(uint8_t* view, uint64_t length);

}  // namespace quillon
