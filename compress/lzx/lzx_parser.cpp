// The parser: turns the bytes of each chunk into literal and match items.
// Matches of 50 bytes and more are taken greedily; shorter ones start an
// optimal-parse span of up to 3836 positions, priced in bits with the code
// lengths of the blocks being built. Items wait in the buffer until it fills
// (or the folder ends) and blocks are written from its front. Before the
// first block of a folder is written, the parse may restart once from the
// folder's start with prices measured on the first pass.
//
// Format facts: a match of length l (2..257) with formatted offset f in slot
// s costs the main code of header 256 + 8s + min(l - 2, 7), the length code
// of l - 9 when l >= 9, and the slot's footer bits; formatted offsets 0, 1, 2
// reuse R0, R1, R2 and update them as UpdateRepeats does.
#include <algorithm>
#include <cstring>

#include "cabinet/tp_assert.h"
#include "compress/lzx/lzx_encoder.h"

namespace treepak {

namespace lzxenc {
namespace {

// Distance-1 runs longer than this insert only their second position.
constexpr uint32_t kRunInsertLimit = 16;
constexpr uint32_t kDistanceOneOffset = 3;
// Far two-byte matches may be used inside the horizon but never extend it.
constexpr uint32_t kFarPairOffset = 2048;
// Positions taken out of the trees at a chunk's end (and put back at the
// next chunk's start), because they were inserted before the bytes after
// them were read.
constexpr uint32_t kTailPositions = 50;
constexpr uint32_t kRemoveLimitSlack = 54;
constexpr uint32_t kInsertLimitSlack = 4;

inline uint32_t LiteralPrice(const LzxEncoder* e, uint8_t byte) { return e->mainLengths[byte]; }

inline uint32_t MatchPrice(const LzxEncoder* e, uint32_t length, uint32_t formatted) {
    const uint32_t slot = SlotOf(e, formatted);
    const uint32_t header = LZX_NUM_CHARS + kHeaderStates * slot;
    const uint32_t h = length - LZX_MIN_MATCH;
    if (h < kLongLengthHeader) return e->mainLengths[header + h] + e->footerBits[slot];
    return e->mainLengths[header + kLongLengthHeader] + e->lengthLengths[h - kLongLengthHeader] +
           e->footerBits[slot];
}

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

// One optimal span from s, where a match of `length` (2..49) was found.
void ParseSpan(LzxEncoder* e, uint32_t s, uint32_t length, uint32_t end) {
    ParseNode* nodes = e->nodes;
    const uint8_t* window = WindowAt(e, s);
    uint32_t horizon = length;  // all node indexes are relative to s
    const uint32_t spanLimit = kSpanPositions;

    nodes[0].cost = 0;
    nodes[0].r0 = e->r0;
    nodes[0].r1 = e->r1;
    nodes[0].r2 = e->r2;
    nodes[1].cost = LiteralPrice(e, window[0]);
    nodes[1].link = 0;
    for (uint32_t l = LZX_MIN_MATCH; l <= length; ++l)
        nodes[l] = {e->bestRow->offsets[l], 0, 0, 0, 0, MatchPrice(e, l, e->bestRow->offsets[l])};

    uint32_t spanEnd = 0;
    for (uint32_t q = 1;; ++q) {
        ParseNode& node = nodes[q];
        if (node.link != q - 1) {
            const ParseNode& from = nodes[node.link];
            e->r0 = from.r0;
            e->r1 = from.r1;
            e->r2 = from.r2;
            UpdateRepeats(e->r0, e->r1, e->r2, node.offsetCode);
        }
        node.r0 = e->r0;
        node.r1 = e->r1;
        node.r2 = e->r2;
        if (q == horizon) {
            spanEnd = q;
            break;
        }
        const uint32_t p = s + q;
        const uint32_t len = MatchLengthAt(e, p, end);
        if (len > kLongMatch || q + len >= spanLimit) {
            TP_ASSERT(len >= LZX_MIN_MATCH);  // the horizon stays below spanLimit, so q does too
            const uint32_t f = OffsetOfLength(e->bestRow, len);
            nodes[q + len].offsetCode = f;
            nodes[q + len].link = q;
            InsertMatchPositions(e, p, len, f);
            UpdateRepeats(e->r0, e->r1, e->r2, f);
            spanEnd = q + len;
            break;
        }
        if (q + len > horizon &&
            (len > LZX_MIN_MATCH || (len == LZX_MIN_MATCH && e->bestRow->offsets[LZX_MIN_MATCH] < kFarPairOffset))) {
            for (uint32_t k = horizon + 1; k <= q + len; ++k) nodes[k].cost = kUnreached;
            horizon = q + len;
        }
        const uint32_t literalCost = node.cost + LiteralPrice(e, window[q]);
        if (literalCost < nodes[q + 1].cost) {
            nodes[q + 1].cost = literalCost;
            nodes[q + 1].link = q;
        }
        // Offsets come in runs over the lengths: the slot, header row and
        // footer price are looked up once per run (MatchPrice's sum).
        const uint32_t* bestOffset = e->bestRow->offsets;
        const uint8_t* mainLengths = e->mainLengths;
        const uint32_t base = node.cost;
        uint32_t runOffset = kUnreached;
        const uint8_t* header = nullptr;
        uint32_t footer = 0;
        for (uint32_t l = LZX_MIN_MATCH; l <= len; ++l) {
            const uint32_t f = bestOffset[l];
            if (f != runOffset) {
                runOffset = f;
                const uint32_t slot = SlotOf(e, f);
                header = mainLengths + LZX_NUM_CHARS + kHeaderStates * slot;
                footer = e->footerBits[slot];
            }
            const uint32_t h = l - LZX_MIN_MATCH;
            const uint32_t price = h < kLongLengthHeader
                                       ? header[h] + footer
                                       : header[kLongLengthHeader] + e->lengthLengths[h - kLongLengthHeader] + footer;
            const uint32_t cost = base + price;
            ParseNode& target = nodes[q + l];
            if (cost < target.cost) {
                target.offsetCode = f;
                target.link = q;
                target.cost = cost;
            }
        }
    }

    // Trace back, turning each node's link into the next node on the path.
    uint32_t k = 0;
    uint32_t at = spanEnd;
    uint32_t next = kUnreached;
    while (at != 0) {
        const uint32_t from = nodes[at].link;
        nodes[at].link = next;
        next = at;
        at = from;
        ++k;
    }
    nodes[0].link = next;
    if (e->itemCount + k >= kItemFlushLimit || e->matchCount + k >= kMatchFlushLimit) BlockOutputStep(e, s);
    // The buffers are sized so that this never repeats; it only guards memory.
    while (e->itemCount + k > kItemCapacity || e->matchCount + k > kMatchCapacity) BlockOutputStep(e, s);
    for (uint32_t q = 0; q != spanEnd; q = nodes[q].link) {
        const uint32_t to = nodes[q].link;
        if (to > q + 1)
            AddMatch(e, to - q, nodes[to].offsetCode);
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
