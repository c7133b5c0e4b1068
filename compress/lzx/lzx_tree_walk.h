// The binary trees' walk, shared by the encoder's match finder and the
// search jobs that build the same trees on another thread (see
// lzx_match_finder.cpp for the trees and lzx_search_job.cpp for the jobs).
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>

#include "cabinet/tp_assert.h"
#include "compress/lzx/lzx_encoder.h"

namespace treepak {

namespace lzxenc {

// Internal to each file that walks trees, so that nothing of it is
// exported from the library.
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

// Hints only: a prefetch never faults.
inline void Prefetch(const void* base, uint32_t offset) {
    __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(base) + offset));
}

inline void AddLongFill(OffsetRow* row, uint32_t from, uint32_t to, uint32_t value) {
    if (to > kLongMatch) {
        TP_ASSERT(row->longFills < kMaxLongFills);
        row->longFill[row->longFills++] = {std::max(from, kLongMatch + 1), to, value};
    }
}

inline void FillOffsets(OffsetRow* row, uint32_t from, uint32_t to, uint32_t value) {
    const uint32_t top = std::min(to, kLongMatch);
    for (uint32_t l = from; l <= top; ++l) row->offsets[l] = value;
    AddLongFill(row, from, to, value);
}

// A walk's fills run up the lengths, each from where the last one ended, so
// they may write whole blocks past their end: only the next fill, or lengths
// past the best that nobody reads, lie there. Most fills are then one block,
// and the loop's exit is no longer a guess.
inline void FillWalkOffsets(OffsetRow* row, uint32_t from, uint32_t to, uint32_t value) {
    const uint32_t top = std::min(to, kLongMatch);
    for (uint32_t l = from; l <= top; l += kFillBlock)
        for (uint32_t k = 0; k < kFillBlock; ++k) row->offsets[l + k] = value;
    AddLongFill(row, from, to, value);
}

// The trees' storage as one walk sees it: node slots are positions modulo
// the ring size R = W + kRingSlack. Every position a walk touches lies in
// [p - W, p + kRingSlack) for the p it starts from, so with `base` a
// multiple of R at most p - W, q - base is below 2R and one conditional
// subtraction gives the slot.
struct Trees {
    const uint8_t* window;
    uint32_t* heads;
    uint32_t* children;
    uint32_t origin;
    uint32_t base;
    uint32_t ring;

    uint32_t SlotOf(uint32_t q) const {
        const uint32_t i = q - base;
        return i >= ring ? i - ring : i;
    }
    uint32_t* Node(uint32_t q) const { return children + 2 * SlotOf(q); }
};

inline Trees TreesOf(LzxEncoder* e, uint32_t p) {
    const uint32_t ring = e->windowSize + kRingSlack;
    const uint32_t low = p - e->windowSize;
    return {e->windowBuffer, e->hashHeads, e->children, e->windowOrigin, low - low % ring, ring};
}

// One walk of a tree: p becomes the tree's new root and the old tree is
// split around it, comparing at most `most` bytes per candidate; a
// candidate equal over kLongMatch bytes is replaced by p. An insertion
// (kInsert) notes nothing; a search (kSearch) gives every length that beats
// the earlier ones the candidate's formatted offset in an OffsetRow; a
// noting walk (kNote) lists those lengths and candidates in WalkNotes. All
// three change the tree the same way. The record is meant to live in
// registers: BeginWalk and StepWalk inline into their loops.
enum class WalkMode { kInsert, kSearch, kNote };

// The improvements of one noting walk: the nearest source (length 2) first,
// then each candidate that beat the lengths before it. Lengths grow by at
// least one from 2 and stop at the compare limit, so the list is bounded.
struct WalkNotes {
    uint32_t count;
    uint32_t length[kLongMatch];
    uint32_t source[kLongMatch];
};
struct Walk {
    const uint8_t* cur;  // p's bytes
    uint32_t pos;
    uint32_t cand;
    uint32_t limit;
    uint32_t* largerLink;  // where the next candidate larger than p goes
    uint32_t* smallerLink;
    uint32_t lenLarger, lenSmaller;  // known common lengths on each side
    uint32_t best;
};

// Makes p its tree's root; false when the tree had no usable candidate.
template <WalkMode kMode>
inline bool BeginWalk(const Trees& t, uint32_t p, uint32_t limit, void* noted, Walk* w) {
    w->cur = t.window + (p - t.origin);
    uint32_t& head = t.heads[KeyAt(w->cur)];
    const uint32_t cand = head;
    head = p;
    w->largerLink = t.Node(p);
    w->smallerLink = w->largerLink + 1;
    if (AtOrBelow(cand, limit)) {
        *w->largerLink = *w->smallerLink = 0;
        return false;
    }
    // The nearest source always gives the two-byte match.
    if constexpr (kMode == WalkMode::kSearch) {
        OffsetRow* row = static_cast<OffsetRow*>(noted);
        row->offsets[LZX_MIN_MATCH] = p + 2 - cand;  // formatted offset = distance + 2
        row->longFills = 0;
    } else if constexpr (kMode == WalkMode::kNote) {
        WalkNotes* notes = static_cast<WalkNotes*>(noted);
        notes->length[0] = LZX_MIN_MATCH;
        notes->source[0] = cand;
        notes->count = 1;
    }
    w->pos = p;
    w->cand = cand;
    w->limit = limit;
    w->lenLarger = w->lenSmaller = LZX_MIN_MATCH;
    w->best = LZX_MIN_MATCH;
    return true;
}

// The tree update of a step once the candidate's common length m with p is
// known; false once the walk has ended. A candidate equal over kLongMatch
// bytes takes p's place; otherwise it goes to its side and the walk follows
// its child on the other.
inline bool FinishStep(Walk* w, uint32_t* node, const uint8_t* src, uint32_t m, uint32_t candLarger,
                       uint32_t candSmaller) {
    if (m >= kLongMatch) {
        *w->largerLink = candLarger;
        *w->smallerLink = candSmaller;
        return false;
    }
    uint32_t next;
    if (src[m] > w->cur[m]) {
        w->lenLarger = std::max(w->lenLarger, m);
        *w->largerLink = w->cand;
        w->largerLink = node + 1;
        next = candSmaller;
    } else {
        w->lenSmaller = std::max(w->lenSmaller, m);
        *w->smallerLink = w->cand;
        w->smallerLink = node;
        next = candLarger;
    }
    if (AtOrBelow(next, w->limit)) {
        *w->largerLink = *w->smallerLink = 0;
        return false;
    }
    w->cand = next;
    return true;
}

// One candidate of a walk, comparing at most `most` bytes; false once the
// walk has ended. Each length that beats the walk's best so far goes to
// `noted` (kSearch: the offset row; kNote: the list of improvements).
template <WalkMode kMode>
inline bool StepWalk(const Trees& t, uint32_t most, void* noted, Walk* w) {
    const uint32_t cand = w->cand;
    const uint8_t* src = t.window + (cand - t.origin);
    uint32_t* const node = t.Node(cand);
    // Both children are loaded before comparing and their bytes are
    // prefetched, so the cache misses of this step and the next overlap.
    const uint32_t candLarger = node[0];
    const uint32_t candSmaller = node[1];
    const uint32_t known = std::min(w->lenLarger, w->lenSmaller);
    Prefetch(t.window, candLarger - t.origin + known);
    Prefetch(t.window, candSmaller - t.origin + known);
    const uint32_t m = CommonLength(src, w->cur, known, most);
    if constexpr (kMode != WalkMode::kInsert) {
        if (m > w->best) {
            if constexpr (kMode == WalkMode::kSearch) {
                FillWalkOffsets(static_cast<OffsetRow*>(noted), w->best + 1, m, w->pos + 2 - cand);
            } else {
                WalkNotes* notes = static_cast<WalkNotes*>(noted);
                notes->length[notes->count] = m;
                notes->source[notes->count++] = cand;
            }
            w->best = m;
        }
    }
    return FinishStep(w, node, src, m, candLarger, candSmaller);
}

// A whole walk; returns the best length (2 when p had a usable
// predecessor, 0 when the tree was empty or too old).
template <WalkMode kMode>
uint32_t WalkOne(const Trees t, uint32_t p, uint32_t limit, uint32_t most, void* noted) {
    Walk w{};
    if (!BeginWalk<kMode>(t, p, limit, noted, &w)) return 0;
    while (StepWalk<kMode>(t, most, noted, &w)) {
    }
    return w.best;
}

}  // namespace

}  // namespace lzxenc

}  // namespace treepak
