// Canonical Huffman decode tables.
//
// Codes are canonical: shorter codes first, and within one length in
// increasing symbol order; lengths run from 1 to 16, 0 meaning unused. A
// table of 2^k entries is indexed by the next k bits of the stream: an entry
// >= 0 is the symbol, an entry < 0 is the overflow node -(entry + 1), a pair
// of entries chosen by the following bits one at a time.
#pragma once

#include <cstdint>

#include "decompress/lzx/lzx_bit_reader.h"

namespace treepak {

namespace lzxdec {

struct DecodeTable {
    int16_t* table;         // 2^tableBits entries
    int16_t* overflow;      // 2 * overflowNodes entries
    const uint8_t* lengths; // code length of each symbol
    uint32_t tableBits;
    uint32_t overflowNodes;
};

// Builds the table from `symbols` lengths. Only complete codes are accepted
// (Kraft sum exactly 1), and the code of no symbol at all: every length 0
// gives a table that yields symbol 0 and consumes no bits.
bool BuildDecodeTable(const DecodeTable& t, uint32_t symbols);

// The reader must hold at least LZX_MAX_CODE_LENGTH bits (Refill).
inline uint32_t DecodeSymbol(const DecodeTable& t, BitReader& in) {
    int32_t entry = t.table[in.Peek(t.tableBits)];
    if (entry < 0) {
        uint64_t bits = in.buffer << t.tableBits;
        do {
            entry = t.overflow[2 * static_cast<uint32_t>(-(entry + 1)) + (bits >> 63)];
            bits <<= 1;
        } while (entry < 0);
    }
    in.Remove(t.lengths[entry]);
    return static_cast<uint32_t>(entry);
}

}  // namespace lzxdec

}  // namespace treepak
