// Little-endian bit reader for DEFLATE data (RFC 1951 packs bits starting at
// the least significant bit of each byte).
//
// The buffer holds 64 bits and is refilled a word at a time while at least
// kWordRefillBytes of input remain, byte by byte near the end. Past the end
// of the input the reader supplies zero bits and counts them as overrun
// bytes; running out is not an error in itself, the block grammar decides.
// The reader never touches a byte outside [next, end).
//
// Bits above `count` in `bits` are either zero or copies of the input bits
// that follow (a word load reads ahead of what it counts), so OR-ing the
// same input bytes in again later is harmless.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace treepak {

struct BitReader {
    const uint8_t* next;  // first input byte not yet in `bits`
    const uint8_t* end;
    uint64_t bits;
    uint32_t count;       // valid bits in `bits`, at most 63
    uint32_t overrun;     // zero bytes supplied past `end`
};

// A refill leaves at least this many bits, enough for one literal/length
// code with its extra bits plus one distance code with its extra bits
// (15 + 5 + 15 + 13 = 48).
inline constexpr uint32_t kRefillMinBits = 56;
// The word refill loads this many bytes at once.
inline constexpr uint32_t kWordRefillBytes = sizeof(uint64_t);

inline void StartBitReader(BitReader& reader, const uint8_t* data, uint32_t size) {
    reader.next = data;
    reader.end = data + size;
    reader.bits = 0;
    reader.count = 0;
    reader.overrun = 0;
}

inline bool CanRefillWord(const BitReader& reader) {
    return static_cast<size_t>(reader.end - reader.next) >= kWordRefillBytes;
}

// Precondition: CanRefillWord. Adds as many whole bytes as fit below 64 bits:
// afterwards count is 56..63, which equals count | 56.
inline void RefillWord(BitReader& reader) {
    uint64_t word;
    std::memcpy(&word, reader.next, sizeof(word));
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    reader.bits |= word << reader.count;
    reader.next += (63 - reader.count) >> 3;
    reader.count |= kRefillMinBits;
}

inline void RefillBytes(BitReader& reader) {
    while (reader.count < kRefillMinBits) {
        if (reader.next < reader.end) {
            reader.bits |= static_cast<uint64_t>(*reader.next++) << reader.count;
        } else {
            ++reader.overrun;
        }
        reader.count += 8;
    }
}

inline void Refill(BitReader& reader) {
    if (CanRefillWord(reader)) {
        RefillWord(reader);
    } else {
        RefillBytes(reader);
    }
}

inline uint32_t PeekBits(const BitReader& reader, uint32_t n) {
    return static_cast<uint32_t>(reader.bits & ((uint64_t{1} << n) - 1));
}

inline void DropBits(BitReader& reader, uint32_t n) {
    reader.bits >>= n;
    reader.count -= n;
}

// Precondition: n <= count.
inline uint32_t TakeBits(BitReader& reader, uint32_t n) {
    const uint32_t value = PeekBits(reader, n);
    DropBits(reader, n);
    return value;
}

// Goes to the next byte boundary and gives back the whole bytes still in the
// buffer, so that `next` is the first byte not consumed. Returns false when
// bits past the end of the input have already been consumed.
inline bool AlignToByte(BitReader& reader) {
    DropBits(reader, reader.count & 7);
    uint32_t bytesHeld = reader.count >> 3;
    // The most recently added bytes are the zero bytes supplied past the end.
    const uint32_t zeroBytesHeld = reader.overrun < bytesHeld ? reader.overrun : bytesHeld;
    const bool consumedPastEnd = reader.overrun > zeroBytesHeld;
    reader.overrun -= zeroBytesHeld;
    bytesHeld -= zeroBytesHeld;
    reader.next -= bytesHeld;
    reader.bits = 0;
    reader.count = 0;
    return !consumedPastEnd;
}

}  // namespace treepak
