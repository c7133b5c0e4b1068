// Numbers and texts of the build driver's console lines.
#pragma once

#include <cstdint>
#include <string>

namespace treepak {

// part * 100 / whole in unsigned 32-bit arithmetic: while part is above
// 10000000 both are divided by 8 (only part is tested) so the product cannot
// overflow; 0 when whole ends up 0.
uint32_t PercentOf(uint32_t part, uint32_t whole);
// n with the digit grouping of the user's locale, decimals cut off.
std::string FormatNumber(int32_t n);
// Size of a file in bytes, 0 if it cannot be opened.
int64_t FileSizeOf(const char* path);

}  // namespace treepak
