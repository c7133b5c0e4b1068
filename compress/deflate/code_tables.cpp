// The fixed codes of RFC 1951 and the lookup tables from match length and
// distance to their codes. Built once per compressor state.
//
// Fixed literal/length code lengths: 0..143 -> 8, 144..255 -> 9,
// 256..279 -> 7, 280..287 -> 8; fixed distance codes are 5 bits each.
#include "compress/deflate/code_tables.h"

namespace treepak {


namespace blockdeflate {

namespace {

constexpr uint32_t kFixedRange8a = 144;
constexpr uint32_t kFixedRange9 = 256;
constexpr uint32_t kFixedRange7 = 280;

void BuildFixedCodes(FixedTables& t) {
    uint16_t countOfLength[DEFLATE_MAX_CODE_BITS + 1] = {};
    for (uint32_t n = 0; n < kFixedLitLenCodes; ++n) {
        uint16_t len = n < kFixedRange8a ? 8 : n < kFixedRange9 ? 9 : n < kFixedRange7 ? 7 : 8;
        t.litLenLen[n] = len;
        ++countOfLength[len];
    }
    AssignCanonicalCodes(t.litLenLen, kFixedLitLenCodes - 1, countOfLength, t.litLenCode);

    for (uint32_t n = 0; n < kDistCodes; ++n) {
        t.distLen[n] = kFixedDistBits;
        t.distCode[n] = ReverseBits(n, kFixedDistBits);
    }
}

void BuildLengthAndDistanceLookups(FixedTables& t) {
    for (uint32_t code = 0; code < kLengthCodes; ++code) {
        uint32_t first = kDeflateLengthBase[code] - DEFLATE_MIN_MATCH;
        uint32_t count = 1u << kDeflateLengthExtra[code];
        for (uint32_t i = 0; i < count && first + i < std::size(t.lengthCode); ++i) {
            t.lengthCode[first + i] = static_cast<uint8_t>(code);
        }
    }
    // Length 258 lies in the range of code 284 too; code 285, filled last,
    // takes it over.

    for (uint32_t code = 0; code < kDistCodes; ++code) {
        uint32_t first = kDeflateDistBase[code] - 1;
        uint32_t count = 1u << kDeflateDistExtra[code];
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t d = first + i;
            if (d < kDistCodeSplit) {
                t.distCodeLow[d] = static_cast<uint8_t>(code);
            } else {
                t.distCodeHigh[d >> kDistCodeHighShift] = static_cast<uint8_t>(code);
            }
        }
    }
}

}  // namespace

uint16_t ReverseBits(uint32_t code, uint32_t length) {
    uint32_t reversed = 0;
    for (uint32_t i = 0; i < length; ++i) {
        reversed = (reversed << 1) | (code & 1);
        code >>= 1;
    }
    return static_cast<uint16_t>(reversed);
}

void AssignCanonicalCodes(const uint16_t* lens, int maxCode, const uint16_t* countOfLength,
                          uint16_t* codes) {
    uint16_t nextCode[DEFLATE_MAX_CODE_BITS + 1];
    uint32_t code = 0;
    nextCode[0] = 0;
    for (uint32_t bits = 1; bits <= DEFLATE_MAX_CODE_BITS; ++bits) {
        code = (code + countOfLength[bits - 1]) << 1;
        nextCode[bits] = static_cast<uint16_t>(code);
    }
    for (int n = 0; n <= maxCode; ++n) {
        uint32_t len = lens[n];
        if (len == 0) continue;
        codes[n] = ReverseBits(nextCode[len]++, len);
    }
}

void BuildFixedTables(FixedTables& t) {
    if (t.built) return;
    BuildFixedCodes(t);
    BuildLengthAndDistanceLookups(t);
    t.built = true;
}

}  // namespace blockdeflate

}  // namespace treepak
