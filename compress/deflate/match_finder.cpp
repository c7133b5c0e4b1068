// Longest-match search over one hash chain: at most 4096 candidates, none
// at kMaxDistance or more behind the current position after the first, and a
// 258-byte match ends the search. A candidate is only compared in full when
// a quick check finds it agreeing with the current string at the start and
// at the length to beat, where a longer match must agree. Without a match
// in hand that is the first two bytes and the bytes at 1..2; once a match of
// best >= 3 bytes is in hand, the first four bytes and those at
// best - 3 .. best, all of them input since best < maxLength.
#include "compress/deflate/match_finder.h"

#include "cabinet/tp_assert.h"

namespace treepak {

namespace blockdeflate {

uint32_t LongestMatch(const uint8_t* window, const uint16_t* chain, uint32_t current, uint32_t candidate,
                      uint32_t lengthToBeat, uint32_t maxLength, uint32_t* matchPosition, SearchEffort* effort) {
    TP_ASSERT(lengthToBeat >= kNoMatchLength && maxLength <= DEFLATE_MAX_MATCH);
    TP_ASSERT(candidate != kNoPosition && candidate < current && current - candidate <= kMaxDistance);
    uint32_t best = lengthToBeat;
    // Only input bytes count, so nothing can beat a length that already
    // reaches the end of the input.
    if (best >= maxLength) return best;

    const uint8_t* scan = window + current;
    const uint32_t limit = current > kMaxDistance ? current - kMaxDistance : 0;
    uint32_t chainLeft = kMaxChain;
    const auto nextCandidate = [&] {
        candidate = chain[candidate & kChainMask];
        return candidate > limit && --chainLeft != 0;
    };
    const auto finish = [&] {
        effort->walked += kMaxChain + 1 - chainLeft;
        return best;
    };

    if (best < DEFLATE_MIN_MATCH) {
        const uint16_t scanStart = Load16(scan);
        const uint16_t scanEnd = Load16(scan + best - 1);
        for (;;) {
            const uint8_t* match = window + candidate;
            if (Load16(match + best - 1) == scanEnd && Load16(match) == scanStart) {
                const uint32_t len = CommonLength(scan, match, kTrustedPrefix, maxLength);
                if (len > best) {
                    *matchPosition = candidate;
                    best = len;
                    if (len >= maxLength) return finish();
                }
            }
            if (!nextCandidate()) return finish();
            if (best >= DEFLATE_MIN_MATCH) break;
        }
    }

    // The four bytes ending at offset best.
    uint32_t endOffset = best + 1 - kQuickCheckBytes;
    const uint32_t scanStart = Load32(scan);
    uint32_t scanEnd = Load32(scan + endOffset);
    do {
        const uint8_t* match = window + candidate;
        if (Load32(match + endOffset) != scanEnd || Load32(match) != scanStart) continue;
        const uint32_t len = CommonLength(scan, match, kQuickCheckBytes, maxLength);
        if (len > best) {
            *matchPosition = candidate;
            best = len;
            if (len >= maxLength) break;
            endOffset = best + 1 - kQuickCheckBytes;
            scanEnd = Load32(scan + endOffset);
        }
    } while (nextCandidate());
    return finish();
}

}  // namespace blockdeflate

}  // namespace treepak
