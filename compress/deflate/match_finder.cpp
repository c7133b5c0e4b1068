// Longest-match search over one hash chain: at most 4096 candidates, none
// at kMaxDistance or more behind the current position after the first, and a
// 258-byte match ends the search. A candidate is only compared in full when
// its bytes at the length to beat and one before it, and its first two
// bytes, agree with the current string: a longer match must pass all four.
#include "compress/deflate/match_finder.h"

namespace blockdeflate {

uint32_t LongestMatch(const uint8_t* window, const uint16_t* chain, uint32_t current, uint32_t candidate,
                      uint32_t lengthToBeat, uint32_t maxLength, uint32_t* matchPosition, SearchEffort* effort) {
    assert(lengthToBeat >= kNoMatchLength && maxLength <= DEFLATE_MAX_MATCH);
    assert(candidate != kNoPosition && candidate < current && current - candidate <= kMaxDistance);
    uint32_t best = lengthToBeat;
    // Only input bytes count, so nothing can beat a length that already
    // reaches the end of the input.
    if (best >= maxLength) return best;

    const uint8_t* scan = window + current;
    const uint32_t limit = current > kMaxDistance ? current - kMaxDistance : 0;
    uint32_t chainLeft = kMaxChain;
    // The four bytes of the quick check as two 16-bit words: the first two
    // bytes, and the bytes at best - 1 and best.
    const uint16_t scanStart = Load16(scan);
    uint16_t scanEnd = Load16(scan + best - 1);

    do {
        const uint8_t* match = window + candidate;
        if (Load16(match + best - 1) != scanEnd || Load16(match) != scanStart) continue;
        uint32_t len = CommonLength(scan, match, kTrustedPrefix, maxLength);
        if (len > best) {
            *matchPosition = candidate;
            best = len;
            if (len >= maxLength) break;
            scanEnd = Load16(scan + best - 1);
        }
    } while ((candidate = chain[candidate & kChainMask]) > limit && --chainLeft != 0);
    effort->walked += kMaxChain + 1 - chainLeft;
    return best;
}

}  // namespace blockdeflate
