// Item statistics and block shaping: symbol counts, where to cut a block,
// which block type to use and how many bytes a block will take.
//
// Format facts: main-tree symbols are the 256 literals followed by eight
// header symbols per position slot (h = length - 2, or 7 for lengths 9 and
// more, which add a length-tree symbol length - 9); aligned-offset blocks
// code the low three footer bits of slots with at least three footer bits
// (formatted offsets of 16 and more) with their own 8-symbol tree.
#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>

#include "compress/lzx/lzx_encoder.h"

namespace treepak {

namespace lzxenc {
namespace {

// Split search: 1024-item windows on a 1024-item grid, refined on a
// 64-item grid, at most four content splits between two frame ends.
constexpr uint32_t kSplitMinItems = 6144;
constexpr uint32_t kMaxSplitsPerFrame = 4;
constexpr uint32_t kSplitWindow = 1024;
constexpr uint32_t kSplitGrid = 64;
constexpr uint32_t kSplitFirstCut = 3072;
constexpr uint32_t kSplitTailItems = 4096;
constexpr uint32_t kSplitMinFront = 4096;
constexpr uint32_t kCoarseDistance = 1400;
constexpr uint32_t kFineDistance = 1700;
constexpr uint32_t kRefineBefore = 512;
constexpr uint32_t kRefineAfter = 1472;
constexpr uint32_t kMatchTableEntries = kItemCapacity / kSplitGrid + 1;

// Aligned blocks need this many matches and one low-bit value above a fifth.
constexpr uint32_t kAlignedMinMatches = 100;
constexpr uint32_t kAlignedShareDivisor = 5;
constexpr uint32_t kAlignedMinOffset = 16;
// Block header and trees, as counted by the size estimate.
constexpr uint32_t kBlockOverheadBits = 1200;

inline uint32_t HeaderSymbol(uint32_t slot, uint32_t h) {
    return LZX_NUM_CHARS + kHeaderStates * slot + std::min(h, kLongLengthHeader);
}

inline uint32_t SignificantBits(uint32_t c) { return c == 0 ? 0 : 32 - __builtin_clz(c); }

void Histogram(const LzxEncoder* e, uint32_t first, uint32_t match, uint16_t* counts) {
    std::memset(counts, 0, e->mainSymbols * sizeof(uint16_t));
    for (uint32_t i = first; i < first + kSplitWindow; ++i) {
        if (IsMatchItem(e, i))
            ++counts[HeaderSymbol(SlotOf(e, e->matchOffsets[match++]), e->items[i])];
        else
            ++counts[e->items[i]];
    }
}

}  // namespace

uint32_t CountStatistics(LzxEncoder* e, uint32_t first, uint32_t last, uint32_t firstMatch, bool fromScratch) {
    if (fromScratch) {
        std::memset(e->mainFreq, 0, e->mainSymbols * sizeof(uint16_t));
        std::memset(e->lengthFreq, 0, LZX_LENGTH_SYMBOLS * sizeof(uint16_t));
    }
    uint32_t bytes = 0;
    uint32_t j = firstMatch;
    for (uint32_t i = first; i < last; ++i) {
        const uint32_t item = e->items[i];
        if (!IsMatchItem(e, i)) {
            ++e->mainFreq[item];
            ++bytes;
            continue;
        }
        const uint32_t slot = SlotOf(e, e->matchOffsets[j++]);
        ++e->mainFreq[HeaderSymbol(slot, item)];
        if (item >= kLongLengthHeader) ++e->lengthFreq[item - kLongLengthHeader];
        bytes += item + LZX_MIN_MATCH;
    }
    return bytes;
}

uint32_t DistributionDistance(const LzxEncoder* e, uint32_t firstA, uint32_t matchA, uint32_t firstB,
                              uint32_t matchB) {
    uint16_t a[kMainCapacity];
    uint16_t b[kMainCapacity];
    Histogram(e, firstA, matchA, a);
    Histogram(e, firstB, matchB, b);
    uint32_t distance = 0;
    for (uint32_t c = 0; c < e->mainSymbols; ++c) {
        const int32_t ba = static_cast<int32_t>(SignificantBits(a[c]));
        const int32_t bb = static_cast<int32_t>(SignificantBits(b[c]));
        distance += static_cast<uint32_t>(std::abs(ba * ba - bb * bb));
    }
    return distance;
}

SplitPoint ChooseSplitPoint(LzxEncoder* e, uint32_t itemCount, uint32_t matchCount) {
    const SplitPoint whole{itemCount, matchCount};
    if (itemCount < kSplitMinItems || e->splitCount >= kMaxSplitsPerFrame) return whole;

    // Matches before every multiple of 64 items.
    uint32_t matchesBefore[kMatchTableEntries];
    matchesBefore[0] = 0;
    const uint32_t entries = itemCount / kSplitGrid + 1;
    for (uint32_t k = 1; k < entries; ++k) {
        uint32_t sum = matchesBefore[k - 1];
        for (uint32_t byte = (k - 1) * (kSplitGrid / 8); byte < k * (kSplitGrid / 8); ++byte)
            sum += e->setBitCount[e->matchFlags[byte]];
        matchesBefore[k] = sum;
    }
    auto distanceAround = [&](uint32_t cut, uint32_t gap) {
        const uint32_t left = cut - gap - kSplitWindow;
        const uint32_t right = cut + gap;
        return DistributionDistance(e, left, matchesBefore[left / kSplitGrid], right,
                                    matchesBefore[right / kSplitGrid]);
    };

    for (uint32_t x = kSplitFirstCut; static_cast<int32_t>(x - kSplitWindow) <
                                      static_cast<int32_t>(itemCount - kSplitTailItems);
         x += kSplitWindow) {
        if (distanceAround(x, 0) <= kCoarseDistance || distanceAround(x, kSplitWindow) <= kCoarseDistance ||
            distanceAround(x, 2 * kSplitWindow) <= kCoarseDistance)
            continue;
        uint32_t bestCut = 0, bestDistance = 0;
        for (uint32_t b = x - kRefineBefore; b <= x + kRefineAfter; b += kSplitGrid) {
            const uint32_t d = distanceAround(b, 0);
            if (bestCut == 0 || d > bestDistance) {
                bestCut = b;
                bestDistance = d;
            }
        }
        if (bestDistance >= kFineDistance && bestCut >= kSplitMinFront) {
            ++e->splitCount;
            return {bestCut, matchesBefore[bestCut / kSplitGrid]};
        }
    }
    return whole;
}

uint32_t ChooseBlockType(LzxEncoder* e, uint32_t matches) {
    std::memset(e->alignedFreq, 0, sizeof(e->alignedFreq));
    for (uint32_t j = 0; j < matches; ++j) {
        const uint32_t f = e->matchOffsets[j];
        if (f >= kAlignedMinOffset) ++e->alignedFreq[f & (LZX_ALIGNED_SYMBOLS - 1)];
    }
    uint32_t total = 0, top = 0;
    for (uint32_t a = 0; a < LZX_ALIGNED_SYMBOLS; ++a) {
        total += e->alignedFreq[a];
        top = std::max<uint32_t>(top, e->alignedFreq[a]);
    }
    return matches >= kAlignedMinMatches && top > total / kAlignedShareDivisor ? LZX_BLOCK_ALIGNED
                                                                               : LZX_BLOCK_VERBATIM;
}

uint32_t EstimateBlockBytes(const LzxEncoder* e) {
    uint32_t bits = kBlockOverheadBits;
    for (uint32_t x = 0; x < LZX_NUM_CHARS; ++x) bits += e->mainLengths[x] * e->mainFreq[x];
    for (uint32_t x = LZX_NUM_CHARS; x < e->mainSymbols; ++x) {
        const uint32_t slot = (x - LZX_NUM_CHARS) / kHeaderStates;
        bits += (e->mainLengths[x] + e->footerBits[slot]) * e->mainFreq[x];
    }
    for (uint32_t x = 0; x < LZX_LENGTH_SYMBOLS; ++x) bits += e->lengthLengths[x] * e->lengthFreq[x];
    return (bits + 7) / 8;
}

}  // namespace lzxenc

}  // namespace treepak
