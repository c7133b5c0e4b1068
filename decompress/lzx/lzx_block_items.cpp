// Block bodies: the items of verbatim and aligned blocks, and the raw bytes
// of uncompressed blocks.
//
// Format facts relied on here:
// - A main symbol below 256 is a literal; otherwise it is a match header
//   with slot s = (x - 256) / 8 and h = (x - 256) % 8, where h = 7 means a
//   length-tree symbol y follows and the length is y + 9, else h + 2.
// - Slots 0, 1, 2 reuse R0, R1, R2 (1 and 2 swap with R0 first); slot s >= 3
//   carries footerBits[s] footer bits and distance = slotBase[s] - 2 +
//   footer, which pushes R0 -> R1 -> R2.
// - In an aligned block a footer of 3 or more bits sends its low 3 bits as
//   an aligned-tree symbol after the plain high bits.
// - The ring's first kMirrorBytes bytes are mirrored after its end, so a
//   match source that runs past the end reads the wrapped bytes directly.
#include <algorithm>
#include <array>
#include <cstring>

#include "cabinet/tp_assert.h"
#include "decompress/lzx/lzx_internal.h"

namespace treepak {

namespace lzxdec {
namespace {

constexpr auto kFooterBits = [] {
    std::array<uint8_t, LZX_MAX_SLOTS> bits{};
    for (uint32_t s = 0; s < LZX_MAX_SLOTS; ++s) bits[s] = LzxFooterBits(s);
    return bits;
}();

// First formatted offset of each slot minus 2: the distance of its footer 0.
constexpr auto kDistanceBase = [] {
    std::array<uint32_t, LZX_MAX_SLOTS> base{};
    for (uint32_t s = 0; s < LZX_MAX_SLOTS; ++s) base[s] = LzxSlotBase(s) - 2;
    return base;
}();

constexpr uint32_t kFirstExplicitSlot = 3;  // slots 0..2 are the repeated distances
constexpr uint32_t kHeadersPerSlot = 8;
constexpr uint32_t kChunk = 8;  // match copies move 8 bytes at a time when they do not overlap

// Copies a match of `length` bytes from `distance` back to window[p].
// Entry: p + length <= W (matches never pass a frame end, and frames never
// wrap the ring) and the source, taken modulo W, ends at most
// LZX_MAX_MATCH - 1 bytes past the ring, inside the mirror.
inline void CopyMatch(uint8_t* window, uint32_t mask, uint32_t p, uint32_t distance,
                      uint32_t length) {
    const uint32_t src = (p - distance) & mask;
    uint8_t* out = window + p;
    const uint8_t* from = window + src;
    if (src < p && p - src < kChunk) {
        // Overlapping copy: each byte may be one this copy just wrote.
        if (p - src == 1) {
            std::memset(out, *from, length);
            return;
        }
        for (uint32_t i = 0; i < length; ++i) out[i] = from[i];
        return;
    }
    // Either the source lies 8 or more bytes behind, or it lies ahead (a
    // wrapped source), whose bytes are read before this copy reaches them.
    uint32_t i = 0;
    for (; i + kChunk <= length; i += kChunk) {
        uint64_t v;
        std::memcpy(&v, from + i, kChunk);
        std::memcpy(out + i, &v, kChunk);
    }
    for (; i < length; ++i) out[i] = from[i];
}

// Same copy for destinations below kMirrorBytes, keeping the mirror current.
inline void CopyMatchMirrored(uint8_t* window, uint32_t windowSize, uint32_t p,
                              uint32_t distance, uint32_t length) {
    const uint32_t mask = windowSize - 1;
    const uint32_t src = (p - distance) & mask;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t b = window[src + i];
        window[p + i] = b;
        if (p + i < kMirrorBytes) window[windowSize + p + i] = b;
    }
}

// Decodes items at p while p < stopAt; no item may end past `end`.
// Entry: end <= W, so every write stays inside the ring (copies write
// exactly their length, no output slack); the bit reader fetches at most
// kInputSlack bytes past the frame's data and feeds zeros beyond, and an
// item may only start while its first bit lies inside the data.
template <bool kAligned, bool kMirror>
bool DecodeItems(LzxDecoder& d, FrameInput& in, uint32_t& position, uint32_t stopAt, uint32_t end) {
    TP_ASSERT(position <= stopAt && stopAt <= end && end <= d.windowSize);
    TP_ASSERT(!kMirror || stopAt <= kMirrorBytes);
    BitReader bits = in.bits;
    uint32_t r0 = d.r0, r1 = d.r1, r2 = d.r2;
    uint32_t p = position;
    uint8_t* const window = d.window;
    const uint32_t mask = d.windowMask;
    const DecodeTable mainTable = MainTable(d);
    const DecodeTable lengthTable = LengthTable(d);
    const DecodeTable alignedTable = AlignedTable(d);
    bool ok = true;

    while (p < stopAt) {
        if (bits.Consumed() >= in.dataBits) {
            ok = false;  // an item starting past the frame's data
            break;
        }
        bits.Refill();
        uint32_t symbol = DecodeSymbol(mainTable, bits);
        if (symbol < LZX_NUM_CHARS) {
            window[p] = static_cast<uint8_t>(symbol);
            if (kMirror && p < kMirrorBytes) window[d.windowSize + p] = static_cast<uint8_t>(symbol);
            ++p;
            continue;
        }
        symbol -= LZX_NUM_CHARS;
        const uint32_t slot = symbol / kHeadersPerSlot;
        uint32_t length = symbol % kHeadersPerSlot;
        if (length == LZX_NUM_PRIMARY_LENGTHS) {
            bits.Refill();
            length += DecodeSymbol(lengthTable, bits);
        }
        length += LZX_MIN_MATCH;

        uint32_t distance;
        if (slot >= kFirstExplicitSlot) {
            const uint32_t footerBits = kFooterBits[slot];
            uint32_t footer;
            if (kAligned && footerBits >= LZX_ALIGNED_BITS) {
                footer = bits.Read(footerBits - LZX_ALIGNED_BITS) << LZX_ALIGNED_BITS;
                bits.Refill();
                footer |= DecodeSymbol(alignedTable, bits);
            } else {
                footer = bits.Read(footerBits);
            }
            distance = kDistanceBase[slot] + footer;
            r2 = r1;
            r1 = r0;
            r0 = distance;
        } else {
            if (slot == 1) std::swap(r0, r1);
            if (slot == 2) std::swap(r0, r2);
            distance = r0;
        }

        if (length > end - p) {
            ok = false;  // a match crossing the end of its frame or block
            break;
        }
        if (kMirror)
            CopyMatchMirrored(window, d.windowSize, p, distance, length);
        else
            CopyMatch(window, mask, p, distance, length);
        p += length;
    }
    in.bits = bits;
    d.r0 = r0;
    d.r1 = r1;
    d.r2 = r2;
    position = p;
    return ok;
}

template <bool kAligned>
bool DecodeRun(LzxDecoder& d, FrameInput& in, uint32_t& p, uint32_t end) {
    if (p < kMirrorBytes && !DecodeItems<kAligned, true>(d, in, p, std::min(end, kMirrorBytes), end))
        return false;
    return DecodeItems<kAligned, false>(d, in, p, end, end);
}

}  // namespace

bool DecodeCompressedRun(LzxDecoder& d, FrameInput& in, uint32_t count) {
    TP_ASSERT(d.windowPosition + count <= d.windowSize);
    uint32_t p = d.windowPosition;
    const uint32_t end = p + count;
    const bool ok = d.blockType == LZX_BLOCK_ALIGNED ? DecodeRun<true>(d, in, p, end)
                                                     : DecodeRun<false>(d, in, p, end);
    d.windowPosition = p & d.windowMask;
    return ok;
}

bool CopyUncompressedRun(LzxDecoder& d, FrameInput& in, uint32_t count) {
    TP_ASSERT(d.windowPosition + count <= d.windowSize);
    if (count > static_cast<uint64_t>(in.dataEnd - d.rawInput)) return false;
    const uint32_t p = d.windowPosition;
    std::memcpy(d.window + p, d.rawInput, count);
    if (p < kMirrorBytes)
        std::memcpy(d.window + d.windowSize + p, d.rawInput, std::min(count, kMirrorBytes - p));
    d.rawInput += count;
    d.windowPosition = (p + count) & d.windowMask;
    return true;
}

}  // namespace lzxdec

}  // namespace treepak
