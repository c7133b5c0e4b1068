// Canonical decode-table construction; see lzx_huffman.h for the layout.
#include "decompress/lzx/lzx_huffman.h"

#include <cstring>

#include "cabinet/lzx_format.h"

namespace treepak {

namespace lzxdec {
namespace {

constexpr int16_t kUnfilled = INT16_MAX;  // never a symbol: symbols are < kMainCapacity
constexpr uint32_t kKraftTotal = 1u << LZX_MAX_CODE_LENGTH;

int16_t NodeEntry(uint32_t node) { return static_cast<int16_t>(-static_cast<int32_t>(node) - 1); }
uint32_t EntryNode(int16_t entry) { return static_cast<uint32_t>(-(entry + 1)); }

}  // namespace

bool BuildDecodeTable(const DecodeTable& t, uint32_t symbols) {
    uint32_t lengthCount[LZX_MAX_CODE_LENGTH + 1] = {};
    for (uint32_t s = 0; s < symbols; ++s) {
        if (t.lengths[s] > LZX_MAX_CODE_LENGTH) return false;
        ++lengthCount[t.lengths[s]];
    }
    const uint32_t tableSize = 1u << t.tableBits;
    if (lengthCount[0] == symbols) {
        // A tree no symbol uses: any lookup yields symbol 0 of length 0.
        std::memset(t.table, 0, tableSize * sizeof(t.table[0]));
        return true;
    }
    uint32_t kraft = 0;
    for (uint32_t len = 1; len <= LZX_MAX_CODE_LENGTH; ++len)
        kraft += lengthCount[len] << (LZX_MAX_CODE_LENGTH - len);
    if (kraft != kKraftTotal) return false;

    uint32_t nextCode[LZX_MAX_CODE_LENGTH + 1] = {};
    for (uint32_t len = 1; len < LZX_MAX_CODE_LENGTH; ++len)
        nextCode[len + 1] = (nextCode[len] + lengthCount[len]) << 1;

    for (uint32_t i = 0; i < tableSize; ++i) t.table[i] = kUnfilled;
    uint32_t nodesUsed = 0;
    for (uint32_t s = 0; s < symbols; ++s) {
        const uint32_t len = t.lengths[s];
        if (len == 0) continue;
        const uint32_t code = nextCode[len]++;
        if (len <= t.tableBits) {
            const uint32_t first = code << (t.tableBits - len);
            const uint32_t span = 1u << (t.tableBits - len);
            if (first + span > tableSize) return false;
            for (uint32_t i = 0; i < span; ++i) t.table[first + i] = static_cast<int16_t>(s);
            continue;
        }
        // Long code: its first tableBits bits pick the table entry, each
        // further bit one side of an overflow node.
        int16_t* slot = &t.table[code >> (len - t.tableBits)];
        for (uint32_t bit = len - t.tableBits; bit-- > 0;) {
            if (*slot == kUnfilled) {
                if (nodesUsed == t.overflowNodes) return false;
                t.overflow[2 * nodesUsed] = kUnfilled;
                t.overflow[2 * nodesUsed + 1] = kUnfilled;
                *slot = NodeEntry(nodesUsed++);
            } else if (*slot >= 0) {
                return false;  // a shorter code is a prefix of this one
            }
            slot = &t.overflow[2 * EntryNode(*slot) + ((code >> bit) & 1)];
        }
        if (*slot != kUnfilled) return false;
        *slot = static_cast<int16_t>(s);
    }
    // A complete code fills every entry; a gap would be a wild lookup.
    for (uint32_t i = 0; i < tableSize; ++i)
        if (t.table[i] == kUnfilled) return false;
    for (uint32_t i = 0; i < 2 * nodesUsed; ++i)
        if (t.overflow[i] == kUnfilled) return false;
    return true;
}

}  // namespace lzxdec

}  // namespace treepak
