// Four-byte chains: their rebuild at the start of a call, the search over
// them, and the choice whether the next call uses them.
//
// The search gives the result of walking the three-byte chain candidate by
// candidate, the nearest of the longest matches winning. Until a match of
// three bytes is in hand it walks that chain itself; from then on only
// candidates agreeing in four bytes can win, and it walks the four-byte
// chain of the current string instead: those candidates lie on it in the
// same order, and a candidate's rank tells whether the three-byte walk would
// have reached it within its 4096 candidates.
#include "compress/deflate/longer_chains.h"

#include <cstring>

#include "cabinet/tp_assert.h"
#include "compress/deflate/match_finder.h"

namespace treepak {

namespace blockdeflate {

namespace {

constexpr uint32_t kBitsPerWord = 64;
constexpr uint32_t kRankCheckInterval = 32;  // four-byte links between two looks at the rank

}  // namespace

void RebuildLongerChains(LongerChains& l, const uint8_t* window, const uint16_t* head, const uint16_t* chain,
                         bool history) {
    std::memset(l.head4, 0, sizeof l.head4);
    if (!history) return;
    // After the slide every chain runs through history positions only,
    // newest first, and ends in kNoPosition.
    std::memset(l.inserted, 0, sizeof l.inserted);
    for (uint32_t h = 0; h < kHashSize; ++h) {
        uint16_t rank = 0;
        for (uint32_t p = head[h]; p != kNoPosition; p = chain[p]) {
            TP_ASSERT(p < kHalfWindow && chain[p] < p);
            l.rank[p] = rank--;
            l.inserted[p / kBitsPerWord] |= uint64_t{1} << (p % kBitsPerWord);
        }
    }
    // Oldest first, so that each four-byte chain runs newest first.
    for (uint32_t word = 0; word < kHalfWindow / kBitsPerWord; ++word) {
        for (uint64_t bits = l.inserted[word]; bits != 0; bits &= bits - 1) {
            const uint32_t p = word * kBitsPerWord + static_cast<uint32_t>(__builtin_ctzll(bits));
            const uint32_t h4 = Hash4(Load32(window + p));
            l.chain4[p] = l.head4[h4];
            l.head4[h4] = static_cast<uint16_t>(p);
        }
    }
}

uint32_t LongestMatchLonger(const uint8_t* window, const uint16_t* chain, const LongerChains& longer,
                            uint32_t current, uint32_t candidate, uint32_t lengthToBeat, uint32_t maxLength,
                            uint32_t* matchPosition, SearchEffort* effort) {
    TP_ASSERT(lengthToBeat >= kNoMatchLength && maxLength <= DEFLATE_MAX_MATCH);
    TP_ASSERT(candidate != kNoPosition && candidate < current && current - candidate <= kMaxDistance);
    uint32_t best = lengthToBeat;
    if (best >= maxLength) return best;

    const uint8_t* scan = window + current;
    const uint32_t limit = current > kMaxDistance ? current - kMaxDistance : 0;
    const uint16_t firstRank = longer.rank[candidate & kChainMask];
    // The first candidate is looked at even when it lies at the limit.
    const uint32_t walkLimit = candidate == limit ? limit - 1 : limit;
    uint32_t below = current;  // the four-byte walk starts below this position
    uint32_t walked = 1;

    if (best < DEFLATE_MIN_MATCH) {
        // No match yet: the first candidate agreeing in three bytes is the
        // first to beat the length to beat.
        const uint16_t scanStart = Load16(scan);
        const uint16_t scanEnd = Load16(scan + best - 1);
        for (uint32_t chainLeft = kMaxChain;;) {
            const uint8_t* match = window + candidate;
            if (Load16(match + best - 1) == scanEnd && Load16(match) == scanStart) {
                best = CommonLength(scan, match, kTrustedPrefix, maxLength);
                TP_ASSERT(best > lengthToBeat);
                *matchPosition = candidate;
                below = candidate;
                break;
            }
            candidate = chain[candidate & kChainMask];
            if (candidate <= limit || --chainLeft == 0) {
                effort->walked += walked;
                effort->threeByteWalk += walked;
                return best;
            }
            ++walked;
        }
    }
    uint32_t threeByteWalk = walked;

    // best >= 3, so unless it already reaches maxLength the four bytes at
    // scan are input.
    if (best < maxLength) {
        const uint32_t scanFirst4 = Load32(scan);
        uint16_t scanEnd = Load16(scan + best - 1);
        uint32_t q = longer.head4[Hash4(scanFirst4)];
        while (q >= below) q = longer.chain4[q & kChainMask];
        for (; q > walkLimit; q = longer.chain4[q & kChainMask]) {
            ++walked;
            const uint8_t* match = window + q;
            // Most candidates fail at the length to beat; their ranks are
            // looked at only now and then, to end the walk where the
            // three-byte walk would have ended.
            const bool mayBeat = Load16(match + best - 1) == scanEnd;
            if (!mayBeat && walked % kRankCheckInterval != 0) continue;
            if (Load32(match) != scanFirst4) continue;  // another string of the same hash
            // q lies on the current three-byte chain; past 4096 candidates
            // that walk would have stopped, and the rest lie further still.
            const uint32_t links = static_cast<uint16_t>(firstRank - longer.rank[q & kChainMask]);
            if (links >= kMaxChain) {
                threeByteWalk = kMaxChain;
                break;
            }
            threeByteWalk = links + 1;
            if (!mayBeat) continue;
            uint32_t len = CommonLength(scan, match, kHash4Bytes, maxLength);
            if (len > best) {
                *matchPosition = q;
                best = len;
                if (len >= maxLength) break;
                scanEnd = Load16(scan + best - 1);
            }
        }
    }
    effort->walked += walked;
    effort->threeByteWalk += threeByteWalk;
    return best;
}

void ChooseSearch(SearchEffort& effort) {
    const uint64_t longWalks = uint64_t{kLongChainHops} * effort.searches;
    if (effort.useLonger) {
        if (2 * effort.threeByteWalk < longWalks) {
            effort.useLonger = false;  // short chains again: the upkeep would cost more than it saves
        } else if (kSavedRatioDenominator * effort.threeByteWalk < kSavedRatioNumerator * effort.walked) {
            effort.useLonger = false;
            effort.offCallsLeft = kOffCallsAfterPoorSaving;
        }
    } else if (effort.offCallsLeft > 0) {
        --effort.offCallsLeft;
    } else if (effort.walked >= longWalks && effort.searches != 0) {
        effort.useLonger = true;
    }
    effort.searches = 0;
    effort.walked = 0;
    effort.threeByteWalk = 0;
}

}  // namespace blockdeflate

}  // namespace treepak
