// The data-block checksum: XOR of the little-endian 32-bit words of a range,
// with the 0 to 3 trailing bytes folded in first byte highest.
#pragma once

#include <cstdint>

namespace treepak {

uint32_t CabChecksum(const void* data, uint32_t size, uint32_t seed);

// Checksum of a CFDATA record: over its data bytes with seed 0, then over the
// 4 + dataReserveSize header bytes from offset 4 with that result as seed.
uint32_t CabDataChecksum(const uint8_t* header, uint32_t dataReserveSize, const uint8_t* data,
                         uint32_t dataSize);

}  // namespace treepak
