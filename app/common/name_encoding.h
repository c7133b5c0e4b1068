// Character encoding of the names stored in a cabinet. A CFFILE entry whose
// attributes carry FILE_ATTR_NAME_IS_UTF8 has a UTF-8 name; without the bit
// the name is in the writer's 8-bit code page, which for cabinets from other
// systems is most often Windows-1252. Names on this system are UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace treepak {

// True when any byte is 0x80 or above: such a stored name is marked UTF-8.
bool HasNonAsciiByte(std::string_view name);

// Well-formed UTF-8: shortest encodings only, no surrogates, nothing past
// U+10FFFF.
bool IsValidUtf8(std::string_view bytes);

// Each byte read as Windows-1252 and written as UTF-8. The five bytes the
// code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the C1
// control of the same number.
std::string Windows1252ToUtf8(std::string_view bytes);

// The name an extracted file gets: as stored when the entry is marked UTF-8
// or the bytes already are UTF-8, else converted from Windows-1252.
std::string ExtractedName(std::string_view storedName, uint16_t attributes);

}  // namespace treepak
