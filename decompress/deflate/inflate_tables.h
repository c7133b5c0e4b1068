// Two-level Huffman decode tables for the block-deflate decoder.
//
// A table is indexed by the next `rootBits` bits of input (DEFLATE sends
// Huffman codes most significant bit first, so the table is indexed by the
// bit-reversed code). An entry either decodes a symbol whose code fits in the
// root bits, or points at a subtable indexed by the following bits. Codes are
// at most 15 bits and the root is at least 6 bits wide, so two levels always
// suffice.
//
// Entry layout (32 bits), chosen so that the decode loop needs one flag test
// per entry and decodes a length or distance with its extra bits in one
// step: value + (bits & mask(consume)) >> codeBits.
//   bits 0-7   bits the entry consumes: code length plus extra bits (in a
//              subtable, the length beyond the root); for a subtable pointer
//              the root width
//   bits 8-11  code bits among them (the extra bits follow), or the index
//              width of the subtable a pointer leads to
//   bits 12-15 flags
//   bits 16-31 value: literal byte, base length, base distance, code-length
//              symbol, or the subtable's offset in the table
#pragma once

#include <cstdint>

#include "cabinet/deflate_format.h"

namespace treepak {

inline constexpr uint32_t kEntryConsumeMask = 0xFF;
inline constexpr uint32_t kEntryCodeBitsShift = 8;
inline constexpr uint32_t kEntryCodeBitsMask = 0xF;
inline constexpr uint32_t kEntryValueShift = 16;

// A literal byte, or a code-length symbol.
inline constexpr uint32_t kEntryLiteral = 1u << 15;
// Anything but a literal, a length or a distance: end of block, subtable
// pointer or invalid code; the decode loop tests this once per entry.
inline constexpr uint32_t kEntryExceptional = 1u << 14;
inline constexpr uint32_t kEntrySubtable = 1u << 13;
inline constexpr uint32_t kEntryEndOfBlock = 1u << 12;
inline constexpr uint32_t kEntryInvalid = kEntryExceptional;

constexpr uint32_t MakeEntry(uint32_t flags, uint32_t value, uint32_t codeBits, uint32_t consume) {
    return (value << kEntryValueShift) | flags | (codeBits << kEntryCodeBitsShift) | consume;
}
constexpr uint32_t EntryConsume(uint32_t entry) { return entry & kEntryConsumeMask; }
constexpr uint32_t EntryCodeBits(uint32_t entry) { return (entry >> kEntryCodeBitsShift) & kEntryCodeBitsMask; }
constexpr uint32_t EntryValue(uint32_t entry) { return entry >> kEntryValueShift; }

// The symbol's value plus its extra bits, taken from `bits` (the input
// before the entry is consumed).
constexpr uint32_t EntryDecode(uint32_t entry, uint64_t bits) {
    const uint64_t consumed = bits & ((uint64_t{1} << EntryConsume(entry)) - 1);
    return EntryValue(entry) + static_cast<uint32_t>(consumed >> EntryCodeBits(entry));
}

// Index widths of the first level; the fixed code's tables have the same,
// so that the decode loop's masks are constants.
inline constexpr uint32_t kLitLenRootBits = 11;
inline constexpr uint32_t kDistRootBits = 8;
inline constexpr uint32_t kCodeLengthRootBits = 7;
inline constexpr uint32_t kMaxRootBits = kLitLenRootBits;

// Storage a table may need: the root plus its subtables. A subtable of width
// w is covered by a complete code of depth w, which has at least w + 1
// codes; since 2^w / (w + 1) grows with w, the worst case spends every
// symbol on subtables of the widest kind. So storage never rejects a valid
// code; the builder still checks every subtable against it.
constexpr uint32_t DecodeTableCapacity(uint32_t rootBits, uint32_t symbolCount) {
    const uint32_t widest = DEFLATE_MAX_CODE_BITS - rootBits;
    return (1u << rootBits) + (symbolCount / (widest + 1) + 1) * (1u << widest);
}
inline constexpr uint32_t kLitLenTableCapacity = DecodeTableCapacity(kLitLenRootBits, DEFLATE_LITLEN_SYMBOLS);
inline constexpr uint32_t kDistTableCapacity = DecodeTableCapacity(kDistRootBits, DEFLATE_DIST_SYMBOLS);
static_assert(kLitLenTableCapacity >= (1u << kCodeLengthRootBits));

// Which alphabet a table decodes; selects the entry made for each symbol.
enum class Alphabet { CodeLength, LitLen, Distance };

// Builds a decode table from code lengths (0 = symbol unused). Fails when the
// code is over-subscribed, when it is incomplete (a lone 1-bit code is
// accepted, and so is a distance code with no codes at all, whose table marks
// every entry invalid), or when it needs more than `capacity` entries.
bool BuildDecodeTable(Alphabet alphabet, const uint8_t* lengths, uint32_t symbolCount,
                      uint32_t rootBits, uint32_t* table, uint32_t capacity);

// A block's two tables side by side, so that the decode loop reaches both
// from one base address.
struct DecodeTables {
    uint32_t litLen[kLitLenTableCapacity];
    uint32_t dist[kDistTableCapacity];
};

// The fixed code's tables, built at compile time and shared read-only.
const DecodeTables& FixedDecodeTables();

}  // namespace treepak
