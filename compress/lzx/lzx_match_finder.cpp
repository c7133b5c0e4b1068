// Binary-tree match finder. Every position is a node in the tree of its
// first two bytes; `hashHeads` holds each tree's root, the newest position.
// A tree is ordered by the byte strings starting at its positions, smaller
// strings under `smallerChild`, larger or equal ones under `largerChild`; a
// new position always becomes the root and the old tree is split around it.
// Newer positions sit nearer the root, so the first source reaching a
// length is also the nearest one.
//
// Format facts: a source q is usable from p only when q > p + 4 - W, so
// distances stay at most W - 5; formatted offsets are 0..2 for the repeated
// offsets and distance + 2 otherwise; no match may reach the last byte of a
// 32768-byte frame, so every frame ends with a literal.
#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

#include "compress/lzx/lzx_encoder.h"

namespace lzxenc {
namespace {

inline uint32_t KeyAt(const uint8_t* bytes) { return bytes[0] | (static_cast<uint32_t>(bytes[1]) << 8); }

inline bool AtOrBelow(uint32_t position, uint32_t limit) {
    return static_cast<int32_t>(position) <= static_cast<int32_t>(limit);
}

// Common length of two byte strings, from `known` on, at most `most`;
// eight bytes at a time (reads may run up to 7 bytes past `most`, inside
// the window's slack).
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t known, uint32_t most) {
    static_assert(std::endian::native == std::endian::little);
    uint32_t k = known;
    while (k + sizeof(uint64_t) <= most) {
        uint64_t x, y;
        std::memcpy(&x, a + k, sizeof x);
        std::memcpy(&y, b + k, sizeof y);
        if (const uint64_t diff = x ^ y) return k + static_cast<uint32_t>(std::countr_zero(diff) >> 3);
        k += sizeof(uint64_t);
    }
    while (k < most && a[k] == b[k]) ++k;
    return k;
}

// A hint only: the address may lie outside the buffer (a stale child), and
// a prefetch never faults.
inline void Prefetch(const uint8_t* window, uint32_t offset) {
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(window) + offset));
}

// Links p into the tree of its key as the new root and walks the old tree,
// comparing at most `most` bytes. A candidate equal over `replaceAt` bytes
// is replaced by p. Calls onLonger(cand, m) whenever m beats every earlier
// length. Returns the best length seen (2 when p had a usable predecessor,
// 0 when the tree was empty or too old).
template <typename OnLonger>
uint32_t WalkTree(LzxEncoder* e, uint32_t p, uint32_t limit, uint32_t most, OnLonger onLonger) {
    const uint32_t origin = e->windowOrigin;
    const uint8_t* window = e->windowBuffer;
    uint32_t* larger = e->largerChild;
    uint32_t* smaller = e->smallerChild;
    const uint8_t* cur = window + (p - origin);

    uint32_t& head = e->hashHeads[KeyAt(cur)];
    uint32_t cand = head;
    head = p;
    uint32_t* largerLink = &larger[p - origin];
    uint32_t* smallerLink = &smaller[p - origin];
    if (AtOrBelow(cand, limit)) {
        *largerLink = *smallerLink = 0;
        return 0;
    }
    uint32_t best = LZX_MIN_MATCH;
    uint32_t lenLarger = LZX_MIN_MATCH, lenSmaller = LZX_MIN_MATCH;
    for (;;) {
        const uint32_t at = cand - origin;
        const uint8_t* src = window + at;
        // Both children are loaded before comparing, and their bytes are
        // prefetched, so the cache misses of this step and the next overlap.
        const uint32_t candLarger = larger[at];
        const uint32_t candSmaller = smaller[at];
        const uint32_t known = std::min(lenLarger, lenSmaller);
        Prefetch(window, candLarger - origin + known);
        Prefetch(window, candSmaller - origin + known);
        const uint32_t m = CommonLength(src, cur, known, most);
        if (m > best) {
            onLonger(cand, best, m);
            best = m;
        }
        if (m >= kLongMatch) {
            *largerLink = candLarger;
            *smallerLink = candSmaller;
            return best;
        }
        uint32_t next;
        if (src[m] > cur[m]) {
            lenLarger = std::max(lenLarger, m);
            *largerLink = cand;
            largerLink = &smaller[at];
            next = candSmaller;
        } else {
            lenSmaller = std::max(lenSmaller, m);
            *smallerLink = cand;
            smallerLink = &larger[at];
            next = candLarger;
        }
        if (AtOrBelow(next, limit)) {
            *largerLink = *smallerLink = 0;
            return best;
        }
        cand = next;
    }
}

inline void FillOffsets(uint32_t* bestOffset, uint32_t from, uint32_t to, uint32_t value) {
    for (uint32_t l = from; l <= to; ++l) bestOffset[l] = value;
}

// A repeated offset that matches as far as the best match is always the
// cheaper way to code it, so such lengths are rewritten to use it.
void PreferRepeats(LzxEncoder* e, uint32_t p, uint32_t best) {
    uint32_t* bestOffset = e->bestOffset;
    const uint8_t* cur = WindowAt(e, p);
    const uint32_t m0 = CommonLength(cur - e->r0, cur, 0, best);
    if (m0 == best) {
        FillOffsets(bestOffset, LZX_MIN_MATCH, best, 0);
        return;
    }
    if (m0 >= LZX_MIN_MATCH) FillOffsets(bestOffset, LZX_MIN_MATCH, m0, 0);
    if (m0 > kLongMatch) return;
    const uint32_t m1 = CommonLength(cur - e->r1, cur, 0, best);
    if (m1 == best) {
        FillOffsets(bestOffset, LZX_MIN_MATCH, best, 1);
        return;
    }
    if (m1 > m0) FillOffsets(bestOffset, std::max(m0 + 1, LZX_MIN_MATCH), m1, 1);
    const uint32_t m2 = CommonLength(cur - e->r2, cur, 0, best);
    const uint32_t covered = std::max(m0, m1);
    if (m2 == best)
        FillOffsets(bestOffset, LZX_MIN_MATCH, best, 2);
    else if (m2 > covered)
        FillOffsets(bestOffset, std::max(covered + 1, LZX_MIN_MATCH), m2, 2);
}

}  // namespace

uint32_t FindMatches(LzxEncoder* e, uint32_t p) {
    uint32_t* bestOffset = e->bestOffset;
    const uint32_t formattedBase = p + 2;  // formatted offset = distance + 2
    const uint32_t limit = p + 4 - e->windowSize;
    const uint32_t headBefore = e->hashHeads[KeyAt(WindowAt(e, p))];
    uint32_t best = WalkTree(e, p, limit, kMaxCompare, [&](uint32_t cand, uint32_t from, uint32_t to) {
        FillOffsets(bestOffset, from + 1, to, formattedBase - cand);
    });
    if (best == 0) return 0;
    // The nearest source always gives the two-byte match.
    bestOffset[LZX_MIN_MATCH] = formattedBase - headBefore;
    PreferRepeats(e, p, best);

    const uint32_t room = kFrameMask - (p & kFrameMask);
    if (best > room) best = room < LZX_MIN_MATCH ? 0 : room;
    return best;
}

void InsertPosition(LzxEncoder* e, uint32_t p, uint32_t limit) {
    WalkTree(e, p, limit, kLongMatch, [](uint32_t, uint32_t, uint32_t) {});
}

void RemovePosition(LzxEncoder* e, uint32_t p, uint32_t limit) {
    const uint32_t origin = e->windowOrigin;
    uint32_t& head = e->hashHeads[KeyAt(WindowAt(e, p))];
    if (head != p) return;
    uint32_t* larger = e->largerChild;
    uint32_t* smaller = e->smallerChild;
    if (p <= limit) {
        head = 0;
        larger[p - origin] = smaller[p - origin] = 0;
        return;
    }
    uint32_t a = larger[p - origin];
    uint32_t b = smaller[p - origin];
    if (a <= limit) a = 0;
    if (b <= limit) b = 0;
    // Merge the two subtrees by recency: the newer root goes up first.
    uint32_t* slot = &head;
    for (;;) {
        if (b < a) {
            if (a <= limit) {
                *slot = 0;
                return;
            }
            *slot = a;
            slot = &smaller[a - origin];
            a = *slot;
        } else {
            if (b <= limit) {
                *slot = 0;
                return;
            }
            *slot = b;
            slot = &larger[b - origin];
            b = *slot;
        }
    }
}

}  // namespace lzxenc
