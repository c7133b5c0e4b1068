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

#include <cstdint>
#include <cstring>

#include "cabinet/deflate_format.h"
#include "cabinet/tp_assert.h"

namespace treepak {

namespace matchcopy {

inline constexpr uint32_t kWordBytes = sizeof(uint64_t);
inline constexpr uint32_t kHalfWordBytes = sizeof(uint32_t);

inline void CopyWord(uint8_t* to, const uint8_t* from) {
    uint64_t word;
    std::memcpy(&word, from, sizeof(word));
    std::memcpy(to, &word, sizeof(word));
}

inline void CopyHalfWord(uint8_t* to, const uint8_t* from) {
    uint32_t word;
    std::memcpy(&word, from, sizeof(word));
    std::memcpy(to, &word, sizeof(word));
}

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

// The fast copy: five words cover the usual match with no length test.
inline constexpr uint32_t kFastCopyWords = 5;
inline constexpr uint32_t kFastCopyBytes = kFastCopyWords * kWordBytes;
inline constexpr uint32_t kCopyOverrunBytes = kFastCopyBytes - DEFLATE_MIN_MATCH;
inline constexpr uint64_t kByteBroadcast = 0x0101010101010101;

// Copies whole words until `length` bytes are covered, reading and writing
// up to kCopyOverrunBytes past them. The source lies at least a word behind
// `to`, so every word read holds final bytes.
// Precondition: length >= DEFLATE_MIN_MATCH.
inline void CopyWordsFast(uint8_t* to, const uint8_t* from, uint32_t length) {
    TP_ASSERT(length >= DEFLATE_MIN_MATCH);
    uint8_t* const end = to + length;
    for (uint32_t i = 0; i < kFastCopyWords; ++i) CopyWord(to + i * kWordBytes, from + i * kWordBytes);
    to += kFastCopyBytes;
    from += kFastCopyBytes;
    // Two words a turn: half the loop tests on long matches.
    while (to < end) {
        CopyWord(to, from);
        CopyWord(to + kWordBytes, from + kWordBytes);
        to += 2 * kWordBytes;
        from += 2 * kWordBytes;
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
    if (distance >= kWordBytes) {
        CopyWordsFast(to, to - distance, length);
        return;
    }
    uint8_t* const end = to + length;
    if (distance == 1) {
        // A run of one byte, the most common short distance.
        const uint64_t run = uint64_t{to[-1]} * kByteBroadcast;
        for (uint32_t i = 0; i < kFastCopyWords; ++i) std::memcpy(to + i * kWordBytes, &run, kWordBytes);
        for (to += kFastCopyBytes; to < end; to += kWordBytes) std::memcpy(to, &run, kWordBytes);
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
