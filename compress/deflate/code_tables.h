// Fixed RFC 1951 codes, canonical code assignment and the length/distance
// code lookups of the block deflate compressor.
#pragma once

#include <cstdint>

#include "compress/deflate/deflate_state.h"

namespace treepak {

namespace blockdeflate {

// Reverses the low `length` bits of code, so codes can be sent least
// significant bit first.
uint16_t ReverseBits(uint32_t code, uint32_t length);

// Canonical codes for the lengths of symbols 0..maxCode, given how many
// symbols have each length; codes come out bit-reversed.
void AssignCanonicalCodes(const uint16_t* lens, int maxCode, const uint16_t* countOfLength,
                          uint16_t* codes);

// Fills the fixed codes and the lookups on first use; later calls do nothing.
void BuildFixedTables(FixedTables& tables);

inline uint32_t LengthCodeOf(const FixedTables& t, uint32_t lengthMinus3) {
    return t.lengthCode[lengthMinus3];
}

inline uint32_t DistCodeOf(const FixedTables& t, uint32_t distanceMinus1) {
    return distanceMinus1 < kDistCodeSplit ? t.distCodeLow[distanceMinus1]
                                           : t.distCodeHigh[distanceMinus1 >> kDistCodeHighShift];
}

}  // namespace blockdeflate

}  // namespace treepak
