// Bounded reads and plain writes of registry values.  A value that does not
// fit its place is treated as missing, and strings always come back
// terminated, whatever the registry holds.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/ce.h"

namespace zelmo {

// The viewer's own key under HKEY_LOCAL_MACHINE.
constexpr const char16_t* kSettingsKey = u"SOFTWARE\\Tarnwick\\Zelmo";

// A string of at most `maxChars` characters (terminator not counted); the
// stored text ends at its first zero or at its end.  False when missing or
// too long for its place.
bool ReadString(ce::HKEY key, const char16_t* name, size_t maxChars, std::u16string* out);
// A 32-bit value stored in exactly four bytes.
bool ReadDword(ce::HKEY key, const char16_t* name, int32_t* out);
// Up to place.size() bytes, whatever the value's type; longer values are
// cut.  Returns the bytes read (0 when missing).
size_t ReadBlock(ce::HKEY key, const char16_t* name, std::span<uint8_t> place);

// ReadString on a key opened for this one read.
bool ReadKeyString(ce::HKEY root, const char16_t* path, const char16_t* name, size_t maxChars,
                   std::u16string* out);

void WriteDword(ce::HKEY key, const char16_t* name, int32_t value);
void WriteString(ce::HKEY key, const char16_t* name, const std::u16string& text);
// Raw bytes under the given value type.
void WriteBlock(ce::HKEY key, const char16_t* name, std::span<const uint8_t> bytes,
                ce::DWORD type);

}  // namespace zelmo
