// Counts and the early end-of-block estimate of the pending deflate block.
#include "compress/deflate/tally.h"

#include <cstring>

namespace treepak {

namespace blockdeflate {

inline constexpr uint32_t kEstimateLiteralBits = 8;

void ResetBlockTallies(DeflateState& s) {
    for (uint32_t n = 0; n < kLitLenCodes; ++n) s.litLenTree.freq[n] = 0;
    for (uint32_t n = 0; n < kDistCodes; ++n) s.distTree.freq[n] = 0;
    for (uint32_t n = 0; n < kCodeLenCodes; ++n) s.codeLenTree.freq[n] = 0;
    s.litLenTree.freq[DEFLATE_END_OF_BLOCK] = 1;
    std::memset(s.matchFlags, 0, sizeof s.matchFlags);
    s.tallyCount = 0;
    s.distanceCount = 0;
}

bool EstimateSaysEndBlock(const DeflateState& s) {
    uint64_t bits = static_cast<uint64_t>(s.tallyCount) * kEstimateLiteralBits;
    for (uint32_t code = 0; code < kDistCodes; ++code) {
        bits += static_cast<uint64_t>(s.distTree.freq[code]) * (kEstimateDistanceBits + kDeflateDistExtra[code]);
    }
    uint64_t bytes = bits / 8;
    uint32_t bytesCovered = s.position - s.blockStart;
    return s.distanceCount < s.tallyCount / 2 && bytes < bytesCovered / 2;
}

}  // namespace blockdeflate

}  // namespace treepak
