// Bounded registry reads and plain writes.
#include "viewer/settings/registry_values.h"

#include <vector>

namespace zelmo {

using namespace ce;

bool ReadString(HKEY key, const char16_t* name, size_t maxChars, std::u16string* out) {
  DWORD stored = 0;
  if (RegQueryValueEx(key, name, nullptr, nullptr, nullptr, &stored) != ERROR_SUCCESS) return false;
  // The place holds maxChars characters and the terminator.
  if (stored > (maxChars + 1) * sizeof(char16_t)) return false;
  std::vector<char16_t> text(maxChars + 1, u'\0');
  DWORD size = stored;
  if (RegQueryValueEx(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text.data()), &size) !=
      ERROR_SUCCESS)
    return false;
  size_t chars = size / sizeof(char16_t);
  size_t length = 0;
  while (length < chars && text[length] != 0) ++length;
  if (length > maxChars) return false;
  out->assign(text.data(), length);
  return true;
}

bool ReadDword(HKEY key, const char16_t* name, int32_t* out) {
  uint8_t bytes[4];
  DWORD size = sizeof(bytes);
  if (RegQueryValueEx(key, name, nullptr, nullptr, bytes, &size) != ERROR_SUCCESS || size != 4)
    return false;
  *out = static_cast<int32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                              (static_cast<uint32_t>(bytes[3]) << 24));
  return true;
}

size_t ReadBlock(HKEY key, const char16_t* name, std::span<uint8_t> place) {
  DWORD size = static_cast<DWORD>(place.size());
  if (RegQueryValueEx(key, name, nullptr, nullptr, place.data(), &size) != ERROR_SUCCESS) return 0;
  return size;
}

bool ReadKeyString(HKEY root, const char16_t* path, const char16_t* name, size_t maxChars,
                   std::u16string* out) {
  HKEY key;
  if (RegOpenKeyEx(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  bool found = ReadString(key, name, maxChars, out);
  RegCloseKey(key);
  return found;
}

void WriteDword(HKEY key, const char16_t* name, int32_t value) {
  uint32_t v = static_cast<uint32_t>(value);
  const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                            static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  RegSetValueEx(key, name, 0, REG_DWORD, bytes, sizeof(bytes));
}

void WriteString(HKEY key, const char16_t* name, const std::u16string& text) {
  RegSetValueEx(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
}

void WriteBlock(HKEY key, const char16_t* name, std::span<const uint8_t> bytes, DWORD type) {
  RegSetValueEx(key, name, 0, type, bytes.data(), static_cast<DWORD>(bytes.size()));
}

}  // namespace zelmo
