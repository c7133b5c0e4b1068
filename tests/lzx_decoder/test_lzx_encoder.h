// A small LZX encoder for tests only: greedy hash-chain matching and blocks
// laid out by the caller. It makes streams the tool's own compressor never
// makes (uncompressed and empty blocks anywhere, matches ending exactly at a
// frame end, distances up to W - 3, short runs in tree sections, small
// frames) so that the decoder can be checked against them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lzx_harness.h"

namespace lzxtest {

struct BlockPlan {
    uint32_t type;  // 1 verbatim, 2 aligned offset, 3 uncompressed
    uint32_t size;  // uncompressed bytes, 0 allowed
};

struct EncodeOptions {
    uint32_t windowSize = 1u << 16;
    uint32_t e8Size = 0;            // 0 writes the E8 flag 0 and translates nothing
    uint32_t frameSize = 32768;     // uncompressed bytes per frame (the last may be fewer)
    std::vector<BlockPlan> blocks;  // must add up to the data size; empty: verbatim blocks of 65536
};

Frames EncodeLzx(const std::vector<uint8_t>& data, const EncodeOptions& options);

// Bit writer of the stream: 16-bit little-endian words, bits most
// significant first. Exposed for hand-made streams.
class BitWriter {
public:
    void Put(uint32_t bits, uint32_t value);  // bits 0..32
    // Pads with zero bits to the next word boundary: 0..15 bits, or with
    // `always` 1..16 bits (a full word when already aligned).
    void Align(bool always);
    void RawByte(uint8_t b);  // only while aligned
    std::vector<uint8_t> Take();
    size_t Size() const { return out_.size(); }
    bool Pending() const { return count_ > 0; }

private:
    std::vector<uint8_t> out_;
    uint32_t acc_ = 0;    // pending bits, left-aligned in the low 16
    uint32_t count_ = 0;  // pending bits
};

}  // namespace lzxtest
