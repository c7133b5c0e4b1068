// Recording literals and matches of the pending deflate block, and the rule
// that asks for the block to be ended early.
//
// Every 4096 tallies the block's worth is estimated (8 bits per tally plus
// 5 bits and the extra bits per distance); when matches are under half the
// tallies and the estimate is under half the bytes covered so far, a new
// block with fresh codes is likely to pay. A block also ends when the
// literal buffer is one short of full.
#pragma once

#include <cstdint>

#include "cabinet/tp_assert.h"
#include "compress/deflate/code_tables.h"
#include "compress/deflate/deflate_state.h"

namespace treepak {

namespace blockdeflate {

// Clears the counts and tallies for the next deflate block (the running
// costs stay: they cover the whole call).
void ResetBlockTallies(DeflateState& s);

// True when the estimate says the pending block should end here.
bool EstimateSaysEndBlock(const DeflateState& s);

inline bool TallyRequestsEnd(const DeflateState& s) {
    if (s.tallyCount % kEstimateInterval == 0 && EstimateSaysEndBlock(s)) return true;
    return s.tallyCount == kMaxTallies || s.distanceCount == kMaxDistanceTallies;
}

// A literal's flag bit is already clear: the flags are cleared with the
// counts at the start of each block.
inline bool TallyLiteral(DeflateState& s, uint8_t byte) {
    uint32_t t = s.tallyCount;
    TP_ASSERT(t < kLiteralBufferSize);
    TP_ASSERT((s.matchFlags[t >> 3] & (1u << (t & 7))) == 0);
    s.literalBuffer[t] = byte;
    ++s.litLenTree.freq[byte];
    s.tallyCount = t + 1;
    return TallyRequestsEnd(s);
}

inline bool TallyMatch(DeflateState& s, uint32_t distance, uint32_t length) {
    uint32_t t = s.tallyCount;
    TP_ASSERT(t < kLiteralBufferSize && s.distanceCount < kDistanceBufferEntries);
    TP_ASSERT(distance >= 1 && distance <= kMaxDistance);
    TP_ASSERT(length >= DEFLATE_MIN_MATCH && length <= DEFLATE_MAX_MATCH);
    uint32_t lengthMinus3 = length - DEFLATE_MIN_MATCH;
    uint32_t distanceMinus1 = distance - 1;
    s.literalBuffer[t] = static_cast<uint8_t>(lengthMinus3);
    s.distanceBuffer[s.distanceCount++] = static_cast<uint16_t>(distanceMinus1);
    s.matchFlags[t >> 3] = static_cast<uint8_t>(s.matchFlags[t >> 3] | (1u << (t & 7)));
    ++s.litLenTree.freq[kLiterals + 1 + LengthCodeOf(s.fixed, lengthMinus3)];
    ++s.distTree.freq[DistCodeOf(s.fixed, distanceMinus1)];
    s.tallyCount = t + 1;
    return TallyRequestsEnd(s);
}

}  // namespace blockdeflate

}  // namespace treepak
