// The parser: turns the bytes of each chunk into literal and match items.
// Matches of 50 bytes and more are taken greedily; shorter ones start an
// optimal-parse span of up to 3836 positions, priced in bits with the code
// lengths of the blocks being built. Items wait in the buffer until it fills
// (or the folder ends) and blocks are written from its front. Before the
// first block of a folder is written, the parse may restart once from the
// folder's start with prices measured on the first pass.
//
// Format facts: match prices per slot and length are in matchPrices (see
// FinishPricingLengths); formatted offsets 0, 1, 2 reuse R0, R1, R2 and
// update them as UpdateRepeats does.
#include <algorithm>
#include <cstring>

#include "cabinet/tp_assert.h"
#include "compress/lzx/lzx_encoder.h"

namespace treepak {

namespace lzxenc {
namespace {

constexpr uint32_t kDistanceOneOffset = 3;
// Far two-byte matches may be used inside the horizon but never extend it.
constexpr uint32_t kFarPairOffset = 2048;

inline uint32_t LiteralPrice(const LzxEncoder* e, uint8_t byte) { return e->mainLengths[byte]; }

void AddLiteral(LzxEncoder* e, uint8_t byte) {
    TP_ASSERT(e->itemCount < kItemCapacity);
    e->items[e->itemCount++] = byte;
}

void AddMatch(LzxEncoder* e, uint32_t length, uint32_t formatted) {
    TP_ASSERT(e->itemCount < kItemCapacity && e->matchCount < kMatchCapacity);
    const uint32_t i = e->itemCount++;
    e->items[i] = static_cast<uint8_t>(length - LZX_MIN_MATCH);
    e->matchFlags[i >> 3] |= static_cast<uint8_t>(1u << (i & 7));
    e->matchOffsets[e->matchCount++] = formatted;
}

// A match's inner positions go into the trees without searching them.
void InsertMatchPositions(LzxEncoder* e, uint32_t p, uint32_t length, uint32_t formatted) {
    if (formatted == kDistanceOneOffset && length > kRunInsertLimit) {
        InsertPositions(e, p + 1, p + 2, 0);
        return;
    }
    InsertPositions(e, p + 1, p + length, 0);
}

uint32_t MatchLengthAt(LzxEncoder* e, uint32_t p, uint32_t end) {
    uint32_t length = FindMatches(e, p, end);
    if (p + length > end) length = end - p;
    return length < LZX_MIN_MATCH ? 0 : length;
}

void BlockOutputStep(LzxEncoder* e, uint32_t at) {
    e->redoAllowed = 0;
    e->statsFromScratch = 1;
    OutputBlock(e);
    e->statsThreshold = e->itemCount < kStatsInterval ? kStatsInterval : e->itemCount + kStatsInterval;
    e->restartPosition = at;
}

// Restarts the folder's parse with prices measured on the items so far.
bool RedoFirstBlock(LzxEncoder* e) {
    e->redoAllowed = 0;
    const uint32_t w = e->windowSize;
    const uint32_t history = std::min(e->restartPosition - w, w);
    if (BufferOffset(e, e->position) < (e->position - e->restartPosition) + history) return false;
    const SplitPoint split = ChooseSplitPoint(e, e->itemCount, e->matchCount);
    CountStatistics(e, 0, split.items, 0, true);
    BuildPricingLengths(e);
    BuildCodeLengths(&e->huffman, LZX_ALIGNED_SYMBOLS, e->alignedFreq, e->alignedLengths, e->alignedCodes, false);
    PatchLengthsForPricing(e);
    std::memset(e->hashHeads, 0, kHashKeys * sizeof(uint32_t));
    ForgetSearchesAhead(e);
    std::memset(e->matchFlags, 0, kMatchFlagBytes);
    e->r0 = e->r1 = e->r2 = 1;
    e->outR0 = e->outR1 = e->outR2 = 1;
    e->statsFromScratch = 1;
    e->frameBytes = 0;
    e->itemCount = e->matchCount = 0;
    e->statsThreshold = split.items;
    e->position = e->restartPosition;
    return true;
}

inline uint32_t MatchPrice(const LzxEncoder* e, uint32_t length, uint32_t formatted) {
    return e->matchPrices[SlotOf(e, formatted)][length];
}

// Relaxation of the nodes a match from node q reaches: node q + l takes the
// cost from + price[l], the link from and the offset offset[l] where that
// cost is strictly below its own, and keeps all three otherwise. It runs on
// groups of Lanes::kCount consecutive lengths from 2; in the last group,
// lanes past len get cost kUnreached, which never wins, so the nodes there
// (at most kPriceLanes - 1 past the span, inside kParseNodes) are rewritten
// with their own values, and the price and offset entries read for them
// are never used. A group of lanes is a record of two operations: Relax,
// and LeavesRun (whether a valid lane's offset is not f).
#if (defined(__GNUC__) || defined(__clang__)) && !defined(TREEPAK_LZX_PORTABLE_RELAX)
// The compiler's generic vectors: 4 lanes fill an SSE2 register, x86-64's
// baseline (or another target's own vectors), 8 lanes an AVX2 register in
// code built for AVX2. No function takes or returns a vector, so none
// depends on the vector calling convention of the code around it. Lane
// numbers compare signed (they are small, and SSE2 has only signed lane
// comparisons); costs compare unsigned, so kUnreached stays the largest.
template <uint32_t N>
struct VectorLanes {
    static constexpr uint32_t kCount = N;
    typedef uint32_t Vector __attribute__((vector_size(sizeof(uint32_t) * N)));
    typedef int32_t Signed __attribute__((vector_size(sizeof(int32_t) * N)));
    static constexpr int32_t kLaneIndex[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    static_assert(N <= 8);

    static bool LeavesRun(const uint32_t* offset, uint32_t f, uint32_t validLanes) {
        Signed lane;
        Vector offsets;
        std::memcpy(&lane, kLaneIndex, sizeof lane);
        std::memcpy(&offsets, offset, sizeof offsets);
        const Vector differs = (offsets ^ f) & (Vector)(lane < static_cast<int32_t>(validLanes));
        // Folded to 16 bytes first: one register on every target with vectors.
        typedef uint64_t Folded __attribute__((vector_size(16)));
        Folded any = {0, 0};
        for (uint32_t k = 0; k < sizeof differs; k += sizeof any) {
            Folded part;
            std::memcpy(&part, reinterpret_cast<const char*>(&differs) + k, sizeof part);
            any |= part;
        }
        return (any[0] | any[1]) != 0;
    }

    static void Relax(ParseNodes nodes, uint32_t at, const uint32_t* price, const uint32_t* offset, uint32_t from,
                      uint32_t base, uint32_t validLanes) {
        Signed lane;
        Vector prices, taken, cost, link, offsetCode;
        std::memcpy(&lane, kLaneIndex, sizeof lane);
        std::memcpy(&prices, price, sizeof prices);
        std::memcpy(&taken, offset, sizeof taken);
        std::memcpy(&cost, nodes.cost + at, sizeof cost);
        std::memcpy(&link, nodes.link + at, sizeof link);
        std::memcpy(&offsetCode, nodes.offsetCode + at, sizeof offsetCode);
        const Vector candidate = (base + prices) | (Vector)(lane >= static_cast<int32_t>(validLanes));
        const Vector better = (Vector)(candidate < cost);  // unsigned: all ones where strictly cheaper
        cost = (cost & ~better) | (candidate & better);
        link = (link & ~better) | (from & better);
        offsetCode = (offsetCode & ~better) | (taken & better);
        std::memcpy(nodes.cost + at, &cost, sizeof cost);
        std::memcpy(nodes.link + at, &link, sizeof link);
        std::memcpy(nodes.offsetCode + at, &offsetCode, sizeof offsetCode);
    }
};
using BaselineLanes = VectorLanes<4>;
#else
// The same groups lane by lane, without branches on the costs.
struct PortableLanes {
    static constexpr uint32_t kCount = 4;

    static uint32_t Past(uint32_t i, uint32_t validLanes) { return 0u - static_cast<uint32_t>(i >= validLanes); }

    static bool LeavesRun(const uint32_t* offset, uint32_t f, uint32_t validLanes) {
        uint32_t differs = 0;
        for (uint32_t i = 0; i < kCount; ++i) differs |= (offset[i] ^ f) & ~Past(i, validLanes);
        return differs != 0;
    }

    static void Relax(ParseNodes nodes, uint32_t at, const uint32_t* price, const uint32_t* offset, uint32_t from,
                      uint32_t base, uint32_t validLanes) {
        for (uint32_t i = 0; i < kCount; ++i) {
            const uint32_t cost = (base + price[i]) | Past(i, validLanes);
            const uint32_t better = 0u - static_cast<uint32_t>(cost < nodes.cost[at + i]);
            nodes.cost[at + i] = (nodes.cost[at + i] & ~better) | (cost & better);
            nodes.link[at + i] = (nodes.link[at + i] & ~better) | (from & better);
            nodes.offsetCode[at + i] = (nodes.offsetCode[at + i] & ~better) | (offset[i] & better);
        }
    }
};
using BaselineLanes = PortableLanes;
#endif

// Eight lanes where the processor has AVX2 (checked once at run time).
// TREEPAK_LZX_NO_AVX2 leaves the baseline lanes alone, and
// TREEPAK_LZX_PORTABLE_RELAX the portable ones, for testing them on a
// machine with AVX2.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(TREEPAK_LZX_PORTABLE_RELAX) && \
    !defined(TREEPAK_LZX_NO_AVX2)
#define TREEPAK_LZX_AVX2 1
// Everything it calls is inlined, so the lanes are built for AVX2 too.
__attribute__((target("avx2"), flatten)) void RelaxLengthsAvx2(LzxEncoder* e, uint32_t q, uint32_t len);

bool HasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

// Offsets come in runs over the lengths, and a group inside the run of the
// group before it reads its prices straight from that run's slot row. The
// node arrays are copied out of the record: vector stores may alias it, and
// its fields would be reloaded after each one.
template <class Lanes>
void RelaxLengths(LzxEncoder* e, uint32_t q, uint32_t len) {
    constexpr uint32_t lanes = Lanes::kCount;
    // Lengths reach kLongMatch, and a group from there reads `lanes` entries.
    static_assert(lanes <= kFillBlock && lanes <= kPriceLanes);
    const ParseNodes nodes = e->nodes;
    const uint32_t* offsets = e->bestRow->offsets;
    const uint32_t base = nodes.cost[q];
    uint32_t runOffset = kUnreached;  // no formatted offset is this large
    const uint32_t* row = nullptr;
    const auto startRun = [&](uint32_t f) {
        runOffset = f;
        row = e->matchPrices[SlotOf(e, f)];
    };
    uint32_t mixed[lanes] = {};
    for (uint32_t l = LZX_MIN_MATCH; l <= len; l += lanes) {
        const uint32_t validLanes = std::min(len + 1 - l, lanes);
        bool oneRun = true;
        if (Lanes::LeavesRun(offsets + l, runOffset, validLanes)) {
            startRun(offsets[l]);
            oneRun = !Lanes::LeavesRun(offsets + l, runOffset, validLanes);
        }
        if (!oneRun) {
            // A run ends inside the group: each lane is priced in its own
            // slot, lanes past len with offset 0 (any valid slot will do).
            for (uint32_t i = 0; i < lanes; ++i) {
                const uint32_t f = i < validLanes ? offsets[l + i] : 0;
                mixed[i] = e->matchPrices[SlotOf(e, f)][l + i];
            }
            startRun(offsets[l + validLanes - 1]);
        }
        Lanes::Relax(nodes, q + l, oneRun ? row + l : mixed, offsets + l, q, base, validLanes);
    }
}

#ifdef TREEPAK_LZX_AVX2
void RelaxLengthsAvx2(LzxEncoder* e, uint32_t q, uint32_t len) { RelaxLengths<VectorLanes<8>>(e, q, len); }
#endif

// One optimal span from s, where a match of `length` (2..49) was found.
void ParseSpan(LzxEncoder* e, uint32_t s, uint32_t length, uint32_t end) {
    const ParseNodes nodes = e->nodes;
    const uint8_t* window = WindowAt(e, s);
    uint32_t horizon = length;  // all node indexes are relative to s
    const uint32_t spanLimit = kSpanPositions;
#ifdef TREEPAK_LZX_AVX2
    static const bool avx2 = HasAvx2();
#endif

    nodes.cost[0] = 0;
    nodes.repeats[0] = {e->r0, e->r1, e->r2};
    nodes.cost[1] = LiteralPrice(e, window[0]);
    nodes.link[1] = 0;
    for (uint32_t l = LZX_MIN_MATCH; l <= length; ++l) {
        nodes.cost[l] = MatchPrice(e, l, e->bestRow->offsets[l]);
        nodes.link[l] = 0;
        nodes.offsetCode[l] = e->bestRow->offsets[l];
    }

    uint32_t spanEnd = 0;
    for (uint32_t q = 1;; ++q) {
        const uint32_t link = nodes.link[q];
        if (link != q - 1) {
            const ParseRepeats& from = nodes.repeats[link];
            e->r0 = from.r0;
            e->r1 = from.r1;
            e->r2 = from.r2;
            UpdateRepeats(e->r0, e->r1, e->r2, nodes.offsetCode[q]);
        }
        nodes.repeats[q] = {e->r0, e->r1, e->r2};
        if (q == horizon) {
            spanEnd = q;
            break;
        }
        const uint32_t p = s + q;
        const uint32_t len = MatchLengthAt(e, p, end);
        if (len > kLongMatch || q + len >= spanLimit) {
            TP_ASSERT(len >= LZX_MIN_MATCH);  // the horizon stays below spanLimit, so q does too
            const uint32_t f = OffsetOfLength(e->bestRow, len);
            nodes.offsetCode[q + len] = f;
            nodes.link[q + len] = q;
            InsertMatchPositions(e, p, len, f);
            UpdateRepeats(e->r0, e->r1, e->r2, f);
            spanEnd = q + len;
            break;
        }
        if (q + len > horizon &&
            (len > LZX_MIN_MATCH || (len == LZX_MIN_MATCH && e->bestRow->offsets[LZX_MIN_MATCH] < kFarPairOffset))) {
            for (uint32_t k = horizon + 1; k <= q + len; ++k) nodes.cost[k] = kUnreached;
            horizon = q + len;
        }
        const uint32_t literalCost = nodes.cost[q] + LiteralPrice(e, window[q]);
        if (literalCost < nodes.cost[q + 1]) {
            nodes.cost[q + 1] = literalCost;
            nodes.link[q + 1] = q;
        }
#ifdef TREEPAK_LZX_AVX2
        if (avx2) {
            RelaxLengthsAvx2(e, q, len);
            continue;
        }
#endif
        RelaxLengths<BaselineLanes>(e, q, len);
    }

    // Trace back, turning each node's link into the next node on the path.
    uint32_t k = 0;
    uint32_t at = spanEnd;
    uint32_t next = kUnreached;
    while (at != 0) {
        const uint32_t from = nodes.link[at];
        nodes.link[at] = next;
        next = at;
        at = from;
        ++k;
    }
    nodes.link[0] = next;
    if (e->itemCount + k >= kItemFlushLimit || e->matchCount + k >= kMatchFlushLimit) BlockOutputStep(e, s);
    // The buffers are sized so that this never repeats; it only guards memory.
    while (e->itemCount + k > kItemCapacity || e->matchCount + k > kMatchCapacity) BlockOutputStep(e, s);
    for (uint32_t q = 0; q != spanEnd; q = nodes.link[q]) {
        const uint32_t to = nodes.link[q];
        if (to > q + 1)
            AddMatch(e, to - q, nodes.offsetCode[to]);
        else
            AddLiteral(e, window[q]);
    }
    e->position = s + spanEnd;

    if (e->itemCount >= e->statsThreshold) {
        RefreshCostModel(e);
        e->statsThreshold += kStatsInterval;
    }
    if (e->redoAllowed && (e->itemCount >= kRedoItemLimit || e->matchCount >= kRedoMatchLimit)) {
        if (!RedoFirstBlock(e)) BlockOutputStep(e, e->position);
    }
}

void ParseRange(LzxEncoder* e, uint32_t end) {
    while (e->position < end) {
        const uint32_t p = e->position;
        const uint32_t len = MatchLengthAt(e, p, end);
        if (len == 0) {
            AddLiteral(e, *WindowAt(e, p));
            e->position = p + 1;
            if (e->itemCount >= kItemFlushLimit) BlockOutputStep(e, e->position);
        } else if (len >= kLongMatch) {
            const uint32_t f = OffsetOfLength(e->bestRow, len);
            InsertMatchPositions(e, p, len, f);
            AddMatch(e, len, f);
            UpdateRepeats(e->r0, e->r1, e->r2, f);
            e->position = p + len;
            if (e->itemCount >= kItemFlushLimit || e->matchCount >= kMatchFlushLimit)
                BlockOutputStep(e, e->position);
        } else {
            ParseSpan(e, p, len, end);
        }
    }
}

// Keeps the last W bytes at the buffer's start (the tree links are a ring
// indexed by position and stay where they are).
void SlideWindow(LzxEncoder* e) {
    const uint32_t slide = e->slideSize;
    const uint32_t keep = e->windowSize;
    std::memmove(e->windowBuffer, e->windowBuffer + slide, keep);
    e->windowOrigin += slide;
}

}  // namespace

void RefreshCostModel(LzxEncoder* e) {
    if (e->itemCount == 0) return;
    if (e->statsFromScratch) {
        CountStatistics(e, 0, e->itemCount, 0, true);
        e->statsFromScratch = 0;
    } else {
        CountStatistics(e, e->statsItems, e->itemCount, e->statsMatches, false);
    }
    BuildPricingLengths(e);
    BuildCodeLengths(&e->huffman, LZX_ALIGNED_SYMBOLS, e->alignedFreq, e->alignedLengths, e->alignedCodes, false);
    PatchLengthsForPricing(e);
    e->statsItems = e->itemCount;
    e->statsMatches = e->matchCount;
}

void ParseChunk(LzxEncoder* e, uint32_t bytes) {
    const uint32_t w = e->windowSize;
    const uint32_t end = e->position + bytes;
    // Searches ahead never pass a chunk's end, and the tail positions put
    // back here were taken out of the trees after they were searched.
    ForgetSearchesAhead(e);
    if (e->chunkCount > 1) {
        const uint32_t first = e->position;
        InsertPositions(e, first - kTailPositions, first, first - w + kInsertLimitSlack);
    }
    for (;;) {
        ParseRange(e, end);
        e->oldestPosition = e->position - w;
        if (bytes < LZX_FRAME_SIZE) {
            if (e->redoAllowed && RedoFirstBlock(e)) continue;
            return;
        }
        for (uint32_t k = 1; k <= kTailPositions; ++k)
            RemovePosition(e, e->position - k, e->position - w + kRemoveLimitSlack);
        if (BufferOffset(e, e->position) >= w + e->slideSize) {
            if (e->redoAllowed && RedoFirstBlock(e)) continue;
            SlideWindow(e);
            e->oldestPosition = e->position - w;
        }
        return;
    }
}

}  // namespace lzxenc

}  // namespace treepak
