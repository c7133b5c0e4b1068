// Bit reader of one frame. The stream is a sequence of 16-bit little-endian
// words whose bits are taken most significant first; the reader keeps them
// left-aligned in a 64-bit buffer and refills 32 bits (two words) at a time.
//
// Reads never leave [start, end), where end is the frame's data plus its
// slack; past end the reader feeds zero words and counts them, so a
// malformed frame can be detected by its consumed bit count without any
// read outside the caller's buffer.
#pragma once

#include <cstdint>

#include "cabinet/tp_assert.h"

namespace treepak {

namespace lzxdec {

// After Refill at least this many bits are buffered: enough for any one
// field or code of the format (codes are at most 16 bits, footers 17).
inline constexpr uint32_t kRefillBits = 32;
inline constexpr uint32_t kWordBits = 16;
inline constexpr uint32_t kBufferBits = 64;

struct BitReader {
    const uint8_t* start;  // the frame's first byte
    const uint8_t* origin; // where the words began (the last Prime)
    const uint8_t* next;   // next byte to load
    const uint8_t* end;    // first byte that must not be read
    uint64_t buffer;       // unread bits, most significant first
    uint32_t count;        // valid bits in buffer
    uint32_t zeroBits;     // bits fed as zeros past end

    // Starts reading words at `from` with an empty buffer.
    void Prime(const uint8_t* from) {
        origin = next = from;
        buffer = 0;
        count = 0;
        zeroBits = 0;
        Refill();
    }

    // Bits consumed since `start`, including zero bits fed past end.
    uint64_t Consumed() const {
        return static_cast<uint64_t>(next - start) * 8 + zeroBits - count;
    }

    // Bits consumed since the last Prime; word boundaries count from there.
    uint64_t ConsumedSincePrime() const {
        return static_cast<uint64_t>(next - origin) * 8 + zeroBits - count;
    }

    void Refill() {
        if (count >= kRefillBits) return;
        if (end - next >= 4) {
            uint32_t words = (uint32_t{next[1]} << 24) | (uint32_t{next[0]} << 16) |
                             (uint32_t{next[3]} << 8) | uint32_t{next[2]};
            buffer |= uint64_t{words} << (kBufferBits - kRefillBits - count);
            count += kRefillBits;
            next += 4;
            return;
        }
        RefillSlow();
    }

    void RefillSlow() {
        while (count < kRefillBits) {
            uint32_t word = 0;
            if (end - next >= 2) {
                word = (uint32_t{next[1]} << 8) | next[0];
                next += 2;
            } else {
                zeroBits += kWordBits;
            }
            buffer |= uint64_t{word} << (kBufferBits - kWordBits - count);
            count += kWordBits;
        }
    }

    // n from 1 to 32; the bits must be buffered (Refill).
    uint32_t Peek(uint32_t n) const {
        TP_ASSERT(n >= 1 && n <= count);
        return static_cast<uint32_t>(buffer >> (kBufferBits - n));
    }

    void Remove(uint32_t n) {
        TP_ASSERT(n <= count);
        buffer <<= n;
        count -= n;
    }

    // n from 0 to 32, refilling first.
    uint32_t Read(uint32_t n) {
        if (n == 0) return 0;
        Refill();
        uint32_t value = Peek(n);
        Remove(n);
        return value;
    }
};

}  // namespace lzxdec

}  // namespace treepak
