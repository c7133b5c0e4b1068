#include "cabinet/checksum.h"

#include <bit>
#include <cstring>

#include "cabinet/bytes.h"
#include "cabinet/format.h"

namespace treepak {

static_assert(std::endian::native == std::endian::little, "the wide fold assumes a little-endian host");

uint32_t CabChecksum(const void* data, uint32_t size, uint32_t seed) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    uint32_t c = seed;
    // XOR is associative, so whole words fold into the same value in any
    // grouping: four independent 64-bit lanes over 32 bytes a step (which
    // the compiler may widen further), then single words.
    uint64_t lanes[4] = {0, 0, 0, 0};
    uint32_t n = size;
    for (; n >= 32; p += 32, n -= 32) {
        for (int i = 0; i < 4; ++i) {
            uint64_t w;
            std::memcpy(&w, p + 8 * i, 8);
            lanes[i] ^= w;
        }
    }
    uint64_t wide = lanes[0] ^ lanes[1] ^ lanes[2] ^ lanes[3];
    for (; n >= 8; p += 8, n -= 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        wide ^= w;
    }
    c ^= static_cast<uint32_t>(wide) ^ static_cast<uint32_t>(wide >> 32);
    if (n >= 4) {
        c ^= cab::LoadLe32(p);
        p += 4;
        n -= 4;
    }
    switch (n) {
        case 3: c ^= (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2]; break;
        case 2: c ^= (static_cast<uint32_t>(p[0]) << 8) | p[1]; break;
        case 1: c ^= p[0]; break;
        default: break;
    }
    return c;
}

uint32_t CabDataChecksum(const uint8_t* header, uint32_t dataReserveSize, const uint8_t* data,
                         uint32_t dataSize) {
    uint32_t s = CabChecksum(data, dataSize, 0);
    return CabChecksum(header + 4, 4 + dataReserveSize, s);
}

}  // namespace treepak
