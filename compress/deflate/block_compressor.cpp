// One cabinet data block into "CK" + one deflate stream, by lazy matching.
//
// A match found at position p is held back one step: if p + 1 starts a
// longer match, p goes out as a literal and the new match is held instead.
// The look one step further is skipped once the held match is 32 bytes or
// longer. A 3-byte match more than 4096 bytes back is not worth its
// distance code and is dropped. The last two positions of the input are
// never inserted into the hash, and no search starts in the last three bytes
// of the window.
#include "compress/deflate/block_compressor.h"

#include <cstring>

#include "cabinet/tp_assert.h"
#include "compress/deflate/bit_writer.h"
#include "compress/deflate/block_writer.h"
#include "compress/deflate/code_tables.h"
#include "compress/deflate/longer_chains.h"
#include "compress/deflate/match_finder.h"
#include "compress/deflate/tally.h"

namespace treepak {

namespace blockdeflate {

namespace {

// Moves the hash tables down with the window: positions of the previous
// block become 0..32767 and anything older is forgotten.
void SlideTable(uint16_t* table, uint32_t entries) {
    for (uint32_t i = 0; i < entries; ++i) {
        uint32_t p = table[i];
        table[i] = static_cast<uint16_t>(p >= kHalfWindow ? p - kHalfWindow : kNoPosition);
    }
}

void EndBlockEarly(DeflateState& s, const uint8_t* window) {
    EndDeflateBlock(s, window, false);
    s.blockStart = s.position;
}

// Searches and links of the screened searches, counted in registers and
// added to the call's account at its end.
struct ScreenedEffort {
    uint64_t searches = 0;
    uint64_t walked = 0;
};

// The match at `current` to hold instead of one of prevLength bytes,
// kNoMatchLength if none. Chains of at most two candidates that hold no
// match, the rule on incompressible input, are settled by a screen without
// a branch per candidate; every other search walks the chain.
template <bool kLonger>
inline uint32_t Search(DeflateState& s, const uint8_t* window, const uint16_t* chain, uint32_t current,
                       uint32_t candidate, uint32_t prevLength, uint32_t remaining, uint32_t* matchPosition,
                       ScreenedEffort& screened) {
    if (prevLength == kNoMatchLength) {
        const uint32_t walked = ScreenShortChain(window, chain, current, candidate);
        if (walked != kUnsettled) {
            screened.searches += walked != 0;
            screened.walked += walked;
            return kNoMatchLength;
        }
    }
    if (current - candidate > kMaxDistance) return kNoMatchLength;
    const uint32_t maxLength = remaining < DEFLATE_MAX_MATCH ? remaining : DEFLATE_MAX_MATCH;
    ++s.effort.searches;
    uint32_t matchLength;
    if constexpr (kLonger) {
        matchLength = LongestMatchLonger(window, chain, s.longer, current, candidate, prevLength, maxLength,
                                         matchPosition, &s.effort);
    } else {
        matchLength = LongestMatch(window, chain, current, candidate, prevLength, maxLength, matchPosition, &s.effort);
    }
    if (matchLength > remaining) matchLength = remaining;
    if (matchLength == DEFLATE_MIN_MATCH && current - *matchPosition > kTooFarForMinMatch) return kNoMatchLength;
    return matchLength;
}

// The lazy matching loop over the input at s.position .. s.end; with
// kLonger the searches use the four-byte chains. The running hash and the
// position live in locals; s.position is kept current for the early-end
// estimate and the block writer.
template <bool kLonger>
void MatchAndTally(DeflateState& s, const uint8_t* window, uint16_t* head, uint16_t* chain) {
    bool literalWaiting = false;
    uint32_t matchLength = kNoMatchLength;
    uint32_t matchPosition = 0;
    uint32_t hash = s.hash;
    const uint32_t end = s.end;
    ScreenedEffort screened;

    uint32_t current = s.position;
    while (current < end) {
        s.position = current;
        const uint32_t remaining = end - current;
        uint32_t candidate = kNoPosition;
        if (remaining >= DEFLATE_MIN_MATCH) {
            candidate = InsertPosition<kLonger>(s.longer, window, head, chain, hash, current, end);
            // The chain entry the next position's search starts from, on its
            // way before a mispredicted branch here can hold it up.
            if (remaining > DEFLATE_MIN_MATCH) {
                const uint32_t nextHash = UpdateHash(hash, window[current + DEFLATE_MIN_MATCH]);
                __builtin_prefetch(chain + (head[nextHash] & kChainMask));
            }
        }

        const uint32_t prevLength = matchLength;
        const uint32_t prevPosition = matchPosition;
        matchLength = kNoMatchLength;

        if (prevLength < kMaxLazyLength && remaining >= DEFLATE_MIN_MATCH && current < kSearchEnd) {
            matchLength = Search<kLonger>(s, window, chain, current, candidate, prevLength, remaining, &matchPosition,
                                          screened);
        }

        if (prevLength >= DEFLATE_MIN_MATCH && matchLength <= prevLength) {
            // The held match wins; it began one byte back.
            bool endBlock = TallyMatch(s, current - 1 - prevPosition, prevLength);
            const uint32_t afterMatch = current - 1 + prevLength;
            if (end - afterMatch >= DEFLATE_MIN_MATCH) {
                for (uint32_t p = current + 1; p < afterMatch; ++p) {
                    InsertPosition<kLonger>(s.longer, window, head, chain, hash, p, end);
                }
            }
            current = afterMatch;
            literalWaiting = false;
            matchLength = kNoMatchLength;
            if (endBlock) {
                s.position = current;
                EndBlockEarly(s, window);
            }
        } else if (literalWaiting) {
            if (TallyLiteral(s, window[current - 1])) EndBlockEarly(s, window);
            ++current;
        } else {
            literalWaiting = true;
            ++current;
        }
    }
    s.position = current;
    s.effort.searches += screened.searches;
    s.effort.walked += screened.walked;
    if constexpr (kLonger) s.effort.threeByteWalk += screened.walked;
    if (literalWaiting) TallyLiteral(s, window[s.position - 1]);
    s.hash = hash;
}

}  // namespace

bool CompressBlock(DeflateState& s, uint8_t* window, uint16_t* head, uint16_t* chain, uint32_t inputSize,
                   bool history, uint8_t* output, uint32_t outputCapacity, uint32_t* outputSize) {
    TP_ASSERT(inputSize <= CAB_BLOCK_SIZE);
    StartBitWriter(s.writer, output, outputCapacity);
    BuildFixedTables(s.fixed);
    s.dynamicCost = 0;
    s.fixedCost = 0;

    if (history) {
        SlideTable(head, kHashSize);
        SlideTable(chain, kChainSize);
    } else {
        std::memcpy(window + kHalfWindow, window, inputSize);
        std::memset(head, 0, kHashSize * sizeof(uint16_t));
    }

    s.position = kHalfWindow;
    s.blockStart = kHalfWindow;
    s.end = kHalfWindow + inputSize;
    s.hash = StartHash(window, kHalfWindow);
    ResetBlockTallies(s);

    SendBits(s.writer, DEFLATE_BLOCK_MAGIC[0], 8);
    SendBits(s.writer, DEFLATE_BLOCK_MAGIC[1], 8);

    if (s.effort.useLonger) {
        RebuildLongerChains(s.longer, window, head, chain, history);
        MatchAndTally<true>(s, window, head, chain);
    } else {
        MatchAndTally<false>(s, window, head, chain);
    }
    ChooseSearch(s.effort);
    EndDeflateBlock(s, window, true);

    // Keep this block where the next call looks for its history.
    if (history) std::memcpy(window, window + kHalfWindow, kHalfWindow);

    *outputSize = s.writer.count;
    return !s.writer.overflow;
}

}  // namespace blockdeflate

}  // namespace treepak
