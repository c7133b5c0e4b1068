// Tree sections: code lengths sent as deltas against the lengths the same
// tree had in the last block that sent trees, through a 20-symbol pretree.
//
// Format facts: pretree symbol d in 0..16 gives one length (prev - d) mod 17;
// 17 + 4 bits z gives z + 4 zeros; 18 + 5 bits z gives z + 20 zeros; 19 +
// 1 bit z + a delta symbol gives z + 4 equal lengths. A section starts with
// the 20 pretree lengths, 4 bits each. A run symbol needs the entry and at
// least four equal ones after it.
#include <algorithm>

#include "cabinet/tp_assert.h"
#include "compress/lzx/lzx_encoder.h"

namespace treepak {

namespace lzxenc {
namespace {

constexpr uint32_t kDeltaModulus = 17;
constexpr uint32_t kShortZeroRun = 17;
constexpr uint32_t kLongZeroRun = 18;
constexpr uint32_t kSameRun = 19;
constexpr uint32_t kMinRunAfter = 4;        // equal entries needed after the first one
constexpr uint32_t kShortZeroBase = 4, kShortZeroBits = 4;
constexpr uint32_t kLongZeroBase = 20, kLongZeroBits = 5, kLongZeroMax = 51;
constexpr uint32_t kSameBase = 4, kSameBits = 1, kSameMax = 5;

struct PretreeItem {
    uint32_t symbol;
    uint32_t run;    // entries covered
    uint32_t delta;  // delta symbol following symbol 19
};

inline uint32_t DeltaSymbol(uint32_t prev, uint32_t cur) {
    return (prev + kDeltaModulus - cur) % kDeltaModulus;
}

// The walk both passes share: one pretree item at entry i.
PretreeItem NextItem(const uint8_t* cur, const uint8_t* prev, uint32_t i, uint32_t n) {
    uint32_t equalAfter = 0;
    while (i + 1 + equalAfter < n && cur[i + 1 + equalAfter] == cur[i]) ++equalAfter;
    if (equalAfter < kMinRunAfter) return {DeltaSymbol(prev[i], cur[i]), 1, 0};
    if (cur[i] == 0) {
        const uint32_t run = std::min(equalAfter, kLongZeroMax);
        return {run < kLongZeroBase ? kShortZeroRun : kLongZeroRun, run, 0};
    }
    const uint32_t run = std::min(equalAfter, kSameMax);
    return {kSameRun, run, DeltaSymbol(prev[i], cur[i])};
}

}  // namespace

void WriteTreeLengths(LzxEncoder* e, uint8_t* cur, uint8_t* prev, uint32_t n) {
    uint16_t freq[2 * LZX_PRETREE_SYMBOLS] = {};
    uint8_t lengths[LZX_PRETREE_SYMBOLS];
    uint16_t codes[LZX_PRETREE_SYMBOLS];

    for (uint32_t i = 0; i < n;) {
        const PretreeItem item = NextItem(cur, prev, i, n);
        ++freq[item.symbol];
        if (item.symbol == kSameRun) ++freq[item.delta];
        i += item.run;
    }
    BuildCodeLengths(&e->huffman, LZX_PRETREE_SYMBOLS, freq, lengths, codes, true);
    for (uint32_t x = 0; x < LZX_PRETREE_SYMBOLS; ++x) {
        TP_ASSERT(lengths[x] < (1u << LZX_PRETREE_LENGTH_BITS));
        PutBits(e, LZX_PRETREE_LENGTH_BITS, lengths[x]);
    }

    for (uint32_t i = 0; i < n;) {
        const PretreeItem item = NextItem(cur, prev, i, n);
        PutBits(e, lengths[item.symbol], codes[item.symbol]);
        if (item.symbol == kShortZeroRun) {
            PutBits(e, kShortZeroBits, item.run - kShortZeroBase);
        } else if (item.symbol == kLongZeroRun) {
            PutBits(e, kLongZeroBits, item.run - kLongZeroBase);
        } else if (item.symbol == kSameRun) {
            PutBits(e, kSameBits, item.run - kSameBase);
            PutBits(e, lengths[item.delta], codes[item.delta]);
        }
        i += item.run;
    }
    for (uint32_t i = 0; i < n; ++i) prev[i] = cur[i];
}

}  // namespace lzxenc

}  // namespace treepak
