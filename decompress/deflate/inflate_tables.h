// Two-level Huffman decode tables for the block-deflate decoder.
//
// A table is indexed by the next `rootBits` bits of input (DEFLATE sends
// Huffman codes most significant bit first, so the table is indexed by the
// bit-reversed code). An entry either decodes a symbol whose code fits in the
// root bits, or points at a subtable indexed by the following bits. Codes are
// at most 15 bits and the root is at least 6 bits wide, so two levels always
// suffice.
//
// Entry layout (32 bits):
//   bits 0-7   bits the entry consumes (code length; for a subtable pointer
//              the root width; in a subtable the length beyond the root)
//   bits 8-12  extra bits that follow (length / distance), or the index width
//              of the subtable a pointer entry leads to
//   bits 13-15 entry kind
//   bits 16-31 value: literal byte, base length, base distance, code-length
//              symbol, or the subtable's offset in the table
#pragma once

#include <cstdint>

enum class EntryKind : uint32_t {
    Literal = 0,   // literal byte, or a code-length symbol
    Length = 1,    // length base + extra bits
    Distance = 2,  // distance base + extra bits
    EndOfBlock = 3,
    Subtable = 4,
    Invalid = 5,   // unused code space or a reserved symbol
};

inline constexpr uint32_t kEntryConsumeMask = 0xFF;
inline constexpr uint32_t kEntryExtraShift = 8;
inline constexpr uint32_t kEntryExtraMask = 0x1F;
inline constexpr uint32_t kEntryKindShift = 13;
inline constexpr uint32_t kEntryKindMask = 0x7;
inline constexpr uint32_t kEntryValueShift = 16;

constexpr uint32_t MakeEntry(EntryKind kind, uint32_t value, uint32_t extra, uint32_t consume) {
    return (value << kEntryValueShift) | (static_cast<uint32_t>(kind) << kEntryKindShift) |
           (extra << kEntryExtraShift) | consume;
}
constexpr uint32_t EntryConsume(uint32_t entry) { return entry & kEntryConsumeMask; }
constexpr uint32_t EntryExtra(uint32_t entry) { return (entry >> kEntryExtraShift) & kEntryExtraMask; }
constexpr EntryKind EntryKindOf(uint32_t entry) {
    return static_cast<EntryKind>((entry >> kEntryKindShift) & kEntryKindMask);
}
constexpr uint32_t EntryValue(uint32_t entry) { return entry >> kEntryValueShift; }

// Index widths of the first level.
inline constexpr uint32_t kLitLenRootBits = 9;
inline constexpr uint32_t kDistRootBits = 6;
inline constexpr uint32_t kFixedLitLenRootBits = 9;
inline constexpr uint32_t kFixedDistRootBits = 5;
inline constexpr uint32_t kCodeLengthRootBits = 7;

// Storage per table. These are the largest sizes any complete code of at most
// 15 bits needs with these root widths (286 literal/length symbols at 9 bits,
// 30 distance symbols at 6 bits), so storage never rejects a valid code; the
// builder still checks every subtable against them.
inline constexpr uint32_t kLitLenTableCapacity = 852;
inline constexpr uint32_t kDistTableCapacity = 592;

// Which alphabet a table decodes; selects the entry made for each symbol.
enum class Alphabet { CodeLength, LitLen, Distance };

// Builds a decode table from code lengths (0 = symbol unused). Fails when the
// code is over-subscribed, when it is incomplete (a lone 1-bit code is
// accepted, and so is a distance code with no codes at all, whose table marks
// every entry invalid), or when it needs more than `capacity` entries.
bool BuildDecodeTable(Alphabet alphabet, const uint8_t* lengths, uint32_t symbolCount,
                      uint32_t rootBits, uint32_t* table, uint32_t capacity);

// The fixed code's tables, built at compile time and shared read-only.
const uint32_t* FixedLitLenTable();
const uint32_t* FixedDistTable();
