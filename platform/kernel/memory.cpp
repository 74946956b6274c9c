// Zero-filled memory: virtual allocations, and local/global blocks whose
// size is kept in front of them (the clipboard reads it back).
#include <cstdlib>
#include <cstring>

#include "platform/kernel/internal.h"

namespace ce {

namespace {

constexpr size_t kHeader = 16;
constexpr size_t kLargest = size_t{1} << 30;

bool Ignored(const void* p) { return !p || p == reinterpret_cast<void*>(~uintptr_t{0}); }

}  // namespace

void* VirtualAlloc(void*, size_t size, DWORD, DWORD) {
  if (size == 0 || size > kLargest) return nullptr;
  return std::calloc(size, 1);
}

BOOL VirtualFree(void* address, size_t, DWORD) {
  if (Ignored(address)) return FALSE;
  std::free(address);
  return TRUE;
}

HLOCAL LocalAlloc(UINT, size_t bytes) {
  if (bytes > kLargest) return nullptr;
  auto* base = static_cast<uint8_t*>(std::calloc(bytes + kHeader, 1));
  if (!base) return nullptr;
  std::memcpy(base, &bytes, sizeof(bytes));
  return base + kHeader;
}

void* LocalLock(HLOCAL block) { return block; }
BOOL LocalUnlock(HLOCAL) { return TRUE; }

size_t LocalSize(HLOCAL block) {
  if (Ignored(block)) return 0;
  size_t bytes;
  std::memcpy(&bytes, static_cast<uint8_t*>(block) - kHeader, sizeof(bytes));
  return bytes;
}

HLOCAL LocalFree(HLOCAL block) {
  if (!Ignored(block)) std::free(static_cast<uint8_t*>(block) - kHeader);
  return nullptr;
}

HGLOBAL GlobalAlloc(UINT flags, size_t bytes) { return LocalAlloc(flags, bytes); }
void* GlobalLock(HGLOBAL block) { return LocalLock(block); }
BOOL GlobalUnlock(HGLOBAL block) { return LocalUnlock(block); }
size_t GlobalSize(HGLOBAL block) { return LocalSize(block); }
HGLOBAL GlobalFree(HGLOBAL block) { return LocalFree(block); }

// ---------------------------------------------------------------------------
// 8-bit text: UTF-8 exactly, every other code page as Latin-1.

int MultiByteToWideChar(UINT codePage, DWORD, const char* text, int count, LPWSTR out,
                        int capacity) {
  if (!text) return 0;
  size_t n = count < 0 ? std::strlen(text) + 1 : static_cast<size_t>(count);
  std::u16string wide;
  if (codePage == CP_UTF8) {
    wide = internal::ToU16(std::string_view(text, n));
  } else {
    for (size_t i = 0; i < n; ++i) wide.push_back(static_cast<unsigned char>(text[i]));
  }
  if (capacity == 0) return static_cast<int>(wide.size());
  if (!out || wide.size() > static_cast<size_t>(capacity)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, wide.data(), wide.size() * 2);
  return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT codePage, DWORD, LPCWSTR text, int count, char* out, int capacity,
                        const char* defaultChar, BOOL* usedDefault) {
  if (!text) return 0;
  size_t n = 0;
  if (count < 0) {
    while (text[n]) ++n;
    ++n;
  } else {
    n = static_cast<size_t>(count);
  }
  std::string narrow;
  bool defaulted = false;
  if (codePage == CP_UTF8) {
    narrow = internal::ToUtf8(std::u16string_view(text, n));
  } else {
    for (size_t i = 0; i < n; ++i) {
      if (text[i] < 256) {
        narrow.push_back(static_cast<char>(text[i]));
      } else {
        narrow.push_back(defaultChar ? *defaultChar : '?');
        defaulted = true;
      }
    }
  }
  if (usedDefault) *usedDefault = defaulted ? TRUE : FALSE;
  if (capacity == 0) return static_cast<int>(narrow.size());
  if (!out || narrow.size() > static_cast<size_t>(capacity)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, narrow.data(), narrow.size());
  return static_cast<int>(narrow.size());
}

}  // namespace ce
