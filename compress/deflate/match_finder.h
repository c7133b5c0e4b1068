// Hash chains and the longest-match search of the block deflate compressor.
//
// The hash of position p covers window[p..p+2]: h = ((h << 5) ^ byte) & 0x7FFF
// applied once per byte, so after three steps the oldest byte has been
// shifted out. head[h] is the latest position with hash h, chain[p & 0x7FFF]
// the previous one; 0 ends a chain. Positions with equal hash and equal
// first two bytes also share their third byte, so the search may trust it.
#pragma once

#include <cstdint>
#include <cstring>

#include "cabinet/tp_assert.h"
#include "compress/deflate/deflate_state.h"

namespace treepak {

namespace blockdeflate {

inline uint32_t UpdateHash(uint32_t hash, uint8_t byte) { return ((hash << kHashShift) ^ byte) & kHashMask; }

// Hash state before the first insertion of a block at `start`.
inline uint32_t StartHash(const uint8_t* window, uint32_t start) {
    return UpdateHash(UpdateHash(0, window[start]), window[start + 1]);
}

inline constexpr uint32_t kTrustedPrefix = 2;  // bytes checked before the full comparison
inline constexpr uint32_t kQuickCheckBytes = 4;  // the 32-bit quick check, once a match is in hand

inline uint16_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline uint32_t Hash4(uint32_t fourBytes) { return (fourBytes * kHash4Multiplier) >> (32 - kHash4Bits); }

// Inserts position p (whose three bytes lie in the input, which ends at
// `end`) and returns the previous position with the same hash, kNoPosition
// if none. `hash` is the running hash, kept by the caller so that it stays
// in a register. With kLonger the position also goes into the four-byte
// chains (see longer_chains.h).
template <bool kLonger>
inline uint32_t InsertPosition(LongerChains& longer, const uint8_t* window, uint16_t* head, uint16_t* chain,
                               uint32_t& hash, uint32_t p, uint32_t end) {
    TP_ASSERT(p < kWindowSize && p + DEFLATE_MIN_MATCH <= end);
    hash = UpdateHash(hash, window[p + 2]);
    const uint16_t candidate = head[hash];
    chain[p & kChainMask] = candidate;
    head[hash] = static_cast<uint16_t>(p);
    if constexpr (kLonger) {
        longer.rank[p & kChainMask] = static_cast<uint16_t>(longer.rank[candidate & kChainMask] + 1);
        // A position whose fourth byte is not input yet can be no candidate
        // in this call; the next call's rebuild places it.
        if (p + kHash4Bytes <= end) {
            const uint32_t h4 = Hash4(Load32(window + p));
            longer.chain4[p & kChainMask] = longer.head4[h4];
            longer.head4[h4] = static_cast<uint16_t>(p);
        }
    } else {
        (void)longer;
    }
    return candidate;
}

// Number of equal bytes of a and b from offset `from`, at most `limit`.
// Reads nothing at or beyond offset `limit`.
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t from, uint32_t limit) {
    uint32_t len = from;
    while (len + sizeof(uint64_t) <= limit) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, a + len, sizeof x);
        std::memcpy(&y, b + len, sizeof y);
        if (uint64_t diff = x ^ y; diff != 0) {
            // Little-endian load: the first differing byte is the lowest.
            return len + static_cast<uint32_t>(__builtin_ctzll(diff)) / 8;
        }
        len += sizeof(uint64_t);
    }
    while (len < limit && a[len] == b[len]) ++len;
    return len;
}

// Settles, without a branch per candidate, the search that incompressible
// input asks for most: no match in hand yet, at most two candidates within
// reach, and neither agreeing with the current string in its first three
// bytes, so no match exists. Returns the number of candidates LongestMatch
// would look at (0..2) when that is the case, kUnsettled otherwise. Needs
// current >= kHalfWindow, which puts kNoPosition out of reach, and
// current < kSearchEnd, so that the four bytes loaded at current lie in the
// window (the fourth is masked off).
inline constexpr uint32_t kUnsettled = ~0u;
inline constexpr uint32_t kFirstThreeBytes = 0x00FFFFFF;  // of a little-endian 32-bit load

inline uint32_t ScreenShortChain(const uint8_t* window, const uint16_t* chain, uint32_t current,
                                 uint32_t candidate) {
    static_assert(kHalfWindow > kMaxDistance);
    TP_ASSERT(current >= kHalfWindow && current < kSearchEnd && candidate < current);
    const uint32_t limit = current - kMaxDistance;
    const uint32_t scan3 = Load32(window + current) & kFirstThreeBytes;
    // The first candidate may lie at the limit, later ones must lie above
    // it. Only a candidate in reach owns its chain entry, so the second is
    // read through the first only when the first is in reach; the third is
    // only compared, never dereferenced.
    const bool firstIn = candidate >= limit;
    // A mask rather than a condition: compilers turn the latter into the
    // very branch this screen is there to avoid.
    const uint32_t second = chain[candidate & kChainMask] & (0u - static_cast<uint32_t>(firstIn));
    const bool secondIn = second > limit;
    const bool thirdIn = chain[second & kChainMask] > limit;
    const bool firstAgrees = (Load32(window + candidate) & kFirstThreeBytes) == scan3;
    const bool secondAgrees = (Load32(window + second) & kFirstThreeBytes) == scan3;
    if ((firstIn & firstAgrees) | (secondIn & (secondAgrees | thirdIn))) return kUnsettled;
    return static_cast<uint32_t>(firstIn) + static_cast<uint32_t>(secondIn);
}

// Walks the chain from `candidate` (already known to be within
// kMaxDistance) looking for a match longer than `lengthToBeat` of at most
// maxLength bytes, which are all input. Returns the best length
// (lengthToBeat if none is longer) and sets *matchPosition when it finds a
// longer one. Adds the links it walked to *effort.
uint32_t LongestMatch(const uint8_t* window, const uint16_t* chain, uint32_t current, uint32_t candidate,
                      uint32_t lengthToBeat, uint32_t maxLength, uint32_t* matchPosition, SearchEffort* effort);

}  // namespace blockdeflate

}  // namespace treepak
