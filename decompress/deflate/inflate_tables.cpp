// Canonical Huffman decode tables (RFC 1951 section 3.2.2): codes of each
// length are consecutive integers assigned in symbol order, shorter codes
// first. The table builder is constexpr so that the fixed code's tables are
// made by the compiler, with no start-up work and nothing mutable shared
// between decoders.
#include "decompress/deflate/inflate_tables.h"

#include "cabinet/deflate_format.h"

namespace {

constexpr uint32_t kMaxRootBits = 9;
constexpr uint32_t kMaxRootEntries = 1u << kMaxRootBits;
constexpr uint32_t kLengthSymbolBase = DEFLATE_END_OF_BLOCK + 1;
constexpr uint32_t kLengthSymbolCount = sizeof(kDeflateLengthBase) / sizeof(kDeflateLengthBase[0]);
constexpr uint32_t kDistanceSymbolCount = sizeof(kDeflateDistBase) / sizeof(kDeflateDistBase[0]);
constexpr uint32_t kInvalidEntry = MakeEntry(EntryKind::Invalid, 0, 0, 0);

// The entry a symbol decodes to, without its consume count.
constexpr uint32_t SymbolEntry(Alphabet alphabet, uint32_t symbol) {
    switch (alphabet) {
    case Alphabet::CodeLength:
        return MakeEntry(EntryKind::Literal, symbol, 0, 0);
    case Alphabet::LitLen:
        if (symbol < DEFLATE_END_OF_BLOCK) return MakeEntry(EntryKind::Literal, symbol, 0, 0);
        if (symbol == DEFLATE_END_OF_BLOCK) return MakeEntry(EntryKind::EndOfBlock, 0, 0, 0);
        if (symbol - kLengthSymbolBase < kLengthSymbolCount) {
            const uint32_t index = symbol - kLengthSymbolBase;
            return MakeEntry(EntryKind::Length, kDeflateLengthBase[index], kDeflateLengthExtra[index], 0);
        }
        return kInvalidEntry;  // 286 and 287 exist only in the fixed code
    case Alphabet::Distance:
        if (symbol < kDistanceSymbolCount)
            return MakeEntry(EntryKind::Distance, kDeflateDistBase[symbol], kDeflateDistExtra[symbol], 0);
        return kInvalidEntry;  // 30 and 31 exist only in the fixed code
    }
    return kInvalidEntry;
}

// SymbolEntry for every symbol of each alphabet, so that the table builder's
// inner loop makes no decisions per symbol.
template <Alphabet alphabet, uint32_t symbolCount>
struct SymbolEntries {
    uint32_t entry[symbolCount];
};
template <Alphabet alphabet, uint32_t symbolCount>
constexpr SymbolEntries<alphabet, symbolCount> MakeSymbolEntries() {
    SymbolEntries<alphabet, symbolCount> entries{};
    for (uint32_t symbol = 0; symbol < symbolCount; ++symbol) entries.entry[symbol] = SymbolEntry(alphabet, symbol);
    return entries;
}
constexpr auto kCodeLengthEntries = MakeSymbolEntries<Alphabet::CodeLength, DEFLATE_CODELEN_SYMBOLS>();
constexpr auto kLitLenEntries = MakeSymbolEntries<Alphabet::LitLen, DEFLATE_LITLEN_SYMBOLS>();
constexpr auto kDistEntries = MakeSymbolEntries<Alphabet::Distance, DEFLATE_DIST_SYMBOLS>();

constexpr const uint32_t* SymbolEntriesOf(Alphabet alphabet) {
    switch (alphabet) {
    case Alphabet::CodeLength:
        return kCodeLengthEntries.entry;
    case Alphabet::LitLen:
        return kLitLenEntries.entry;
    case Alphabet::Distance:
        return kDistEntries.entry;
    }
    return kDistEntries.entry;
}

constexpr uint32_t SymbolCapacity(Alphabet alphabet) {
    switch (alphabet) {
    case Alphabet::CodeLength:
        return DEFLATE_CODELEN_SYMBOLS;
    case Alphabet::LitLen:
        return DEFLATE_LITLEN_SYMBOLS;
    case Alphabet::Distance:
        return DEFLATE_DIST_SYMBOLS;
    }
    return 0;
}

constexpr uint32_t kByteValues = 256;
struct ByteReversal {
    uint8_t reversed[kByteValues];
};
constexpr ByteReversal MakeByteReversal() {
    ByteReversal table{};
    for (uint32_t value = 0; value < kByteValues; ++value)
        for (uint32_t bit = 0; bit < 8; ++bit)
            if (value & (1u << bit)) table.reversed[value] |= static_cast<uint8_t>(0x80u >> bit);
    return table;
}
constexpr ByteReversal kByteReversal = MakeByteReversal();

// Codes are at most 15 bits: reverse as 16 bits, then drop the low padding.
constexpr uint32_t ReverseBits(uint32_t code, uint32_t length) {
    const uint32_t reversed16 = (static_cast<uint32_t>(kByteReversal.reversed[code & 0xFF]) << 8) |
                                kByteReversal.reversed[(code >> 8) & 0xFF];
    return reversed16 >> (16 - length);
}

constexpr bool BuildTable(Alphabet alphabet, const uint8_t* lengths, uint32_t symbolCount,
                          uint32_t rootBits, uint32_t* table, uint32_t capacity) {
    const uint32_t rootEntries = 1u << rootBits;
    if (rootBits > kMaxRootBits || rootEntries > capacity) return false;
    if (symbolCount > SymbolCapacity(alphabet)) return false;
    const uint32_t* const symbolEntries = SymbolEntriesOf(alphabet);

    uint32_t countOfLength[DEFLATE_MAX_CODE_BITS + 1] = {};
    uint32_t longest = 0;
    for (uint32_t symbol = 0; symbol < symbolCount; ++symbol) {
        const uint32_t length = lengths[symbol];
        if (length > DEFLATE_MAX_CODE_BITS) return false;
        ++countOfLength[length];
        if (length > longest) longest = length;
    }

    if (longest == 0) {
        // A block without matches may send no distance codes at all; any
        // length/distance pair in it then meets an invalid entry.
        for (uint32_t i = 0; i < rootEntries; ++i) table[i] = kInvalidEntry;
        return alphabet == Alphabet::Distance;
    }

    // Code space left after each length: negative means over-subscribed.
    int32_t spaceLeft = 1;
    for (uint32_t length = 1; length <= DEFLATE_MAX_CODE_BITS; ++length) {
        spaceLeft = spaceLeft * 2 - static_cast<int32_t>(countOfLength[length]);
        if (spaceLeft < 0) return false;
    }
    // Incomplete codes are refused, except a single 1-bit code.
    if (spaceLeft > 0 && longest != 1) return false;
    // A complete code covers every root entry and every subtable entry, so
    // only the lone 1-bit code leaves entries to mark invalid.
    if (spaceLeft > 0)
        for (uint32_t i = 0; i < rootEntries; ++i) table[i] = kInvalidEntry;

    uint32_t firstCode[DEFLATE_MAX_CODE_BITS + 1] = {};
    countOfLength[0] = 0;
    for (uint32_t length = 1, code = 0; length <= DEFLATE_MAX_CODE_BITS; ++length) {
        code = (code + countOfLength[length - 1]) << 1;
        firstCode[length] = code;
    }

    // First pass: the widest code behind each root prefix sizes its subtable.
    // Codes of one length are consecutive and lengths ascend, so the codes
    // longer than the root are walked by length, one step per distinct
    // prefix, and the last width written for a prefix is its widest.
    const uint32_t rootMask = rootEntries - 1;
    uint8_t subtableBits[kMaxRootEntries] = {};
    uint32_t subtableOffset[kMaxRootEntries] = {};
    uint32_t used = rootEntries;
    if (longest > rootBits) {
        for (uint32_t length = rootBits + 1; length <= longest; ++length) {
            if (countOfLength[length] == 0) continue;
            const uint32_t beyondRoot = length - rootBits;
            const uint32_t firstPrefix = firstCode[length] >> beyondRoot;
            const uint32_t lastPrefix = (firstCode[length] + countOfLength[length] - 1) >> beyondRoot;
            for (uint32_t prefix = firstPrefix; prefix <= lastPrefix; ++prefix)
                subtableBits[ReverseBits(prefix, rootBits)] = static_cast<uint8_t>(beyondRoot);
        }
        for (uint32_t prefix = 0; prefix < rootEntries; ++prefix) {
            if (subtableBits[prefix] == 0) continue;
            const uint32_t size = 1u << subtableBits[prefix];
            if (size > capacity - used) return false;
            subtableOffset[prefix] = used;
            table[prefix] = MakeEntry(EntryKind::Subtable, used, subtableBits[prefix], rootBits);
            used += size;
        }
    }
    uint32_t nextCode[DEFLATE_MAX_CODE_BITS + 1] = {};

    // Second pass: replicate each code over every index whose low bits are
    // the reversed code.
    for (uint32_t length = 0; length <= DEFLATE_MAX_CODE_BITS; ++length) nextCode[length] = firstCode[length];
    for (uint32_t symbol = 0; symbol < symbolCount; ++symbol) {
        const uint32_t length = lengths[symbol];
        if (length == 0) continue;
        const uint32_t reversed = ReverseBits(nextCode[length]++, length);
        if (length <= rootBits) {
            const uint32_t entry = symbolEntries[symbol] | length;
            for (uint32_t i = reversed; i < rootEntries; i += 1u << length) table[i] = entry;
        } else {
            const uint32_t prefix = reversed & rootMask;
            const uint32_t subLength = length - rootBits;
            const uint32_t entry = symbolEntries[symbol] | subLength;
            const uint32_t subEntries = 1u << subtableBits[prefix];
            for (uint32_t i = reversed >> rootBits; i < subEntries; i += 1u << subLength)
                table[subtableOffset[prefix] + i] = entry;
        }
    }
    return true;
}

// The fixed code: literal/length lengths 8, 9, 7, 8 over four ranges;
// 32 distance codes of 5 bits (30 and 31 never occur in valid data).
constexpr uint32_t kFixedLitLenEntries = 1u << kFixedLitLenRootBits;
constexpr uint32_t kFixedDistEntries = 1u << kFixedDistRootBits;
constexpr uint32_t kFixedLengthRangeEnd[4] = {144, 256, 280, DEFLATE_LITLEN_SYMBOLS};
constexpr uint8_t kFixedLengthOfRange[4] = {8, 9, 7, 8};
constexpr uint8_t kFixedDistLength = 5;

struct FixedTables {
    bool built;
    uint32_t litLen[kFixedLitLenEntries];
    uint32_t dist[kFixedDistEntries];
};

constexpr FixedTables MakeFixedTables() {
    FixedTables tables{};
    uint8_t litLenLengths[DEFLATE_LITLEN_SYMBOLS] = {};
    for (uint32_t symbol = 0, range = 0; symbol < DEFLATE_LITLEN_SYMBOLS; ++symbol) {
        if (symbol == kFixedLengthRangeEnd[range]) ++range;
        litLenLengths[symbol] = kFixedLengthOfRange[range];
    }
    uint8_t distLengths[DEFLATE_DIST_SYMBOLS] = {};
    for (uint32_t symbol = 0; symbol < DEFLATE_DIST_SYMBOLS; ++symbol) distLengths[symbol] = kFixedDistLength;
    tables.built = BuildTable(Alphabet::LitLen, litLenLengths, DEFLATE_LITLEN_SYMBOLS, kFixedLitLenRootBits,
                              tables.litLen, kFixedLitLenEntries) &&
                   BuildTable(Alphabet::Distance, distLengths, DEFLATE_DIST_SYMBOLS, kFixedDistRootBits,
                              tables.dist, kFixedDistEntries);
    return tables;
}

constexpr FixedTables kFixedTables = MakeFixedTables();
static_assert(kFixedTables.built, "the fixed code must build");

}  // namespace

bool BuildDecodeTable(Alphabet alphabet, const uint8_t* lengths, uint32_t symbolCount,
                      uint32_t rootBits, uint32_t* table, uint32_t capacity) {
    return BuildTable(alphabet, lengths, symbolCount, rootBits, table, capacity);
}

const uint32_t* FixedLitLenTable() { return kFixedTables.litLen; }
const uint32_t* FixedDistTable() { return kFixedTables.dist; }
