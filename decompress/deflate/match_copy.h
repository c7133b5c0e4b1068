// Match copies inside the uncompressed buffer, which is also the history: a
// ring of `ringSize` bytes (32768 in practice) whose bytes after the output
// cursor still hold the previous data block. A match whose distance reaches
// before the buffer's start takes its source from that tail and continues at
// the buffer's start when the source reaches the ring's end.
//
// Copies write exactly the match's bytes and nothing after them: the bytes
// past the cursor are history that later matches of the same block may
// still read, so the usual trick of overwriting a few bytes beyond the match
// is not available here (no output slack).
#pragma once

#include <cassert>
#include <cstdint>
#include <cstring>

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

// Copies `length` bytes to buffer[position...] from `distance` back in the
// ring. Preconditions: 1 <= distance <= ringSize, position + length <= ringSize.
inline void CopyMatch(uint8_t* buffer, uint32_t position, uint32_t distance, uint32_t length,
                      uint32_t ringSize) {
    assert(distance >= 1 && distance <= ringSize && position + length <= ringSize);
    if (distance <= position) {
        CopyBehind(buffer + position, distance, length);
        return;
    }
    // Source in the previous block's tail, at or after the cursor: those
    // bytes are read before the copy reaches them (memmove semantics).
    const uint32_t source = position + ringSize - distance;
    const uint32_t tailRun = ringSize - source < length ? ringSize - source : length;
    std::memmove(buffer + position, buffer + source, tailRun);
    if (tailRun < length) {
        // The source wrapped to the buffer's start, now exactly `distance`
        // behind the cursor.
        CopyBehind(buffer + position + tailRun, distance, length - tailRun);
    }
}

}  // namespace matchcopy
