// Bit output of the block deflate compressor. Deflate packs bits least
// significant first into bytes. Bytes go out while the output count is below
// the capacity; a byte that does not fit is dropped and sets the overflow
// flag, which fails the whole call. The output is therefore exactly the
// stream's bytes, or a failure; buffering several bytes at a time does not
// change that.
#pragma once

#include <cstdint>
#include <cstring>

#include "cabinet/tp_assert.h"
#include "compress/deflate/deflate_state.h"

namespace treepak {

namespace blockdeflate {

inline constexpr uint32_t kFlushBits = 32;  // pending bits are written out 4 bytes at a time
inline constexpr uint32_t kMaxSendBits = 16;

inline void StartBitWriter(BitWriter& w, uint8_t* out, uint32_t capacity) {
    w.bits = 0;
    w.bitCount = 0;
    w.out = out;
    w.count = 0;
    w.capacity = capacity;
    w.overflow = false;
}

inline void PutByte(BitWriter& w, uint8_t byte) {
    if (w.count < w.capacity) {
        w.out[w.count++] = byte;
    } else {
        w.overflow = true;
    }
}

inline void PutBytes(BitWriter& w, const uint8_t* bytes, uint32_t size) {
    uint32_t room = w.capacity - w.count;
    uint32_t fits = size < room ? size : room;
    std::memcpy(w.out + w.count, bytes, fits);
    w.count += fits;
    if (fits < size) w.overflow = true;
}

inline void SendBits(BitWriter& w, uint32_t value, uint32_t length) {
    TP_ASSERT(length <= kMaxSendBits);
    TP_ASSERT(length == kMaxSendBits || value < (1u << length));
    w.bits |= static_cast<uint64_t>(value) << w.bitCount;
    w.bitCount += length;
    if (w.bitCount >= kFlushBits) {
        if (w.capacity - w.count >= 4) {
            uint8_t* p = w.out + w.count;
            p[0] = static_cast<uint8_t>(w.bits);
            p[1] = static_cast<uint8_t>(w.bits >> 8);
            p[2] = static_cast<uint8_t>(w.bits >> 16);
            p[3] = static_cast<uint8_t>(w.bits >> 24);
            w.count += 4;
        } else {
            for (int i = 0; i < 4; ++i) PutByte(w, static_cast<uint8_t>(w.bits >> (8 * i)));
        }
        w.bits >>= kFlushBits;
        w.bitCount -= kFlushBits;
    }
}

// Pads with zero bits to the next byte boundary and writes every pending byte.
inline void AlignToByte(BitWriter& w) {
    while (w.bitCount > 0) {
        PutByte(w, static_cast<uint8_t>(w.bits));
        w.bits >>= 8;
        w.bitCount = w.bitCount > 8 ? w.bitCount - 8 : 0;
    }
    w.bits = 0;
}

}  // namespace blockdeflate

}  // namespace treepak
