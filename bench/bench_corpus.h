// Real data for the codec benchmarks: C headers from /usr/include and
// shared libraries from the system's library directory, cut to a given
// size, with generated stand-ins where the machine has too little.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace treepak {

std::vector<uint8_t> BenchHeaderText(size_t bytes);
std::vector<uint8_t> BenchExecutables(size_t bytes);

}  // namespace treepak
