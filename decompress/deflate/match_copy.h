// Match copies for the block-deflate decoder. The decoder writes a data
// block into its own window right after the history (the ring as it was
// before the block), so every match source is simply `distance` bytes behind
// the cursor, in the history or in the block itself.
//
// Two kinds of copy: exact ones write the match's bytes and nothing more;
// the fast one writes whole words and may write up to kCopyOverrunBytes past
// the match, which the bytes that follow overwrite in turn (the window has
// that much room past its end; what lies past the block's end is never
// handed out).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "cabinet/deflate_format.h"
#include "cabinet/tp_assert.h"

namespace treepak {

namespace matchcopy {

inline constexpr uint32_t kWordBytes = sizeof(uint64_t);
inline constexpr uint32_t kHalfWordBytes = sizeof(uint32_t);

// One load and one store of kBytes, read wholly before it is written.
template <uint32_t kBytes>
inline void CopyChunk(uint8_t* to, const uint8_t* from) {
    uint8_t chunk[kBytes];
    std::memcpy(chunk, from, kBytes);
    std::memcpy(to, chunk, kBytes);
}
inline void CopyWord(uint8_t* to, const uint8_t* from) { CopyChunk<kWordBytes>(to, from); }
inline void CopyHalfWord(uint8_t* to, const uint8_t* from) { CopyChunk<kHalfWordBytes>(to, from); }

// Source `distance` bytes behind `to`, inside the buffer; the source may
// overlap the destination (distance < length repeats a pattern).
inline void CopyBehind(uint8_t* to, uint32_t distance, uint32_t length) {
    const uint8_t* from = to - distance;
    if (distance >= kWordBytes) {
        // Every word read lies wholly before the word written, so it holds
        // final bytes; the last word may overlap the one before it.
        if (length >= kWordBytes) {
            uint32_t done = 0;
            for (; done + kWordBytes <= length; done += kWordBytes) CopyWord(to + done, from + done);
            if (done < length) CopyWord(to + length - kWordBytes, from + length - kWordBytes);
        } else if (length >= kHalfWordBytes) {
            CopyHalfWord(to, from);
            CopyHalfWord(to + length - kHalfWordBytes, from + length - kHalfWordBytes);
        } else {
            for (uint32_t i = 0; i < length; ++i) to[i] = from[i];
        }
    } else if (distance == 1) {
        std::memset(to, from[0], length);
    } else {
        // The pattern of `distance` bytes repeats; each copied run doubles
        // the stretch that can serve as a non-overlapping source.
        uint32_t done = 0;
        uint32_t step = distance;
        while (done < length) {
            const uint32_t run = length - done < step ? length - done : step;
            std::memcpy(to + done, to + done - step, run);
            done += run;
            step *= 2;
        }
    }
}

// The fast copies write whole chunks, the first few with no length test
// (they cover the usual match), then two a turn (half the loop tests on long
// matches). Sixteen-byte chunks take a source at least that far behind;
// nearer ones copy words.
template <uint32_t kChunkBytes, uint32_t kFirstChunks>
struct FastChunks {
    static constexpr uint32_t kChunk = kChunkBytes;
    static constexpr uint32_t kFirst = kFirstChunks;
    // Past a match of the least length, or the last turn's second chunk.
    static constexpr uint32_t kOverrun = std::max(kFirstChunks * kChunkBytes - DEFLATE_MIN_MATCH, 2 * kChunkBytes - 1);
};
using FastWords = FastChunks<kWordBytes, 5>;
using FastWide = FastChunks<16, 3>;
inline constexpr uint32_t kCopyOverrunBytes = std::max(FastWords::kOverrun, FastWide::kOverrun);
inline constexpr uint64_t kByteBroadcast = 0x0101010101010101;

// Copies whole chunks until `length` bytes are covered, reading and writing
// up to Chunks::kOverrun past them. The source lies at least a chunk behind
// `to`, so every chunk read holds final bytes.
// Precondition: length >= DEFLATE_MIN_MATCH.
template <typename Chunks>
inline void CopyChunksFast(uint8_t* to, const uint8_t* from, uint32_t length) {
    constexpr uint32_t kChunk = Chunks::kChunk;
    TP_ASSERT(length >= DEFLATE_MIN_MATCH && to - from >= static_cast<ptrdiff_t>(kChunk));
    uint8_t* const end = to + length;
    for (uint32_t i = 0; i < Chunks::kFirst; ++i) CopyChunk<kChunk>(to + i * kChunk, from + i * kChunk);
    to += Chunks::kFirst * kChunk;
    from += Chunks::kFirst * kChunk;
    while (to < end) {
        CopyChunk<kChunk>(to, from);
        CopyChunk<kChunk>(to + kChunk, from + kChunk);
        to += 2 * kChunk;
        from += 2 * kChunk;
    }
}

// For each distance below a word, the largest whole number of its periods
// that fits in a word (a table: a division would cost more than the copy).
struct PatternSteps {
    uint8_t bytes[kWordBytes];
};
constexpr PatternSteps MakePatternSteps() {
    PatternSteps steps{};
    for (uint32_t distance = 1; distance < kWordBytes; ++distance)
        steps.bytes[distance] = static_cast<uint8_t>(kWordBytes / distance * distance);
    return steps;
}
inline constexpr PatternSteps kPatternStep = MakePatternSteps();

// As CopyBehind, but may write up to kCopyOverrunBytes past the match.
// Precondition: length >= DEFLATE_MIN_MATCH.
inline void CopyBehindFast(uint8_t* to, uint32_t distance, uint32_t length) {
    if (distance >= FastWide::kChunk) {
        CopyChunksFast<FastWide>(to, to - distance, length);
        return;
    }
    if (distance >= kWordBytes) {
        CopyChunksFast<FastWords>(to, to - distance, length);
        return;
    }
    uint8_t* const end = to + length;
    if (distance == 1) {
        // A run of one byte, the most common short distance.
        const uint64_t run = uint64_t{to[-1]} * kByteBroadcast;
        for (uint32_t i = 0; i < FastWords::kFirst; ++i) std::memcpy(to + i * kWordBytes, &run, kWordBytes);
        for (to += FastWords::kFirst * kWordBytes; to < end; to += kWordBytes) std::memcpy(to, &run, kWordBytes);
        return;
    }
    // A pattern of 2..7 bytes: lay down one word of it byte by byte, then
    // repeat words from `step` back, the largest whole number of periods in
    // a word, so each word read holds only bytes already final.
    const uint8_t* const from = to - distance;
    for (uint32_t i = 0; i < kWordBytes; ++i) to[i] = from[i];
    const uint32_t step = kPatternStep.bytes[distance];
    for (to += step; to < end; to += step) CopyWord(to, to - step);
}

}  // namespace matchcopy

}  // namespace treepak
