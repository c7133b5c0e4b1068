// Canonical Huffman decode tables (RFC 1951 section 3.2.2): codes of each
// length are consecutive integers assigned in symbol order, shorter codes
// first. The table builder is constexpr so that the fixed code's tables are
// made by the compiler, with no start-up work and nothing mutable shared
// between decoders.
#include "decompress/deflate/inflate_tables.h"

#include <algorithm>

#include "cabinet/deflate_format.h"

namespace treepak {

namespace {

constexpr uint32_t kLengthSymbolBase = DEFLATE_END_OF_BLOCK + 1;
constexpr uint32_t kLengthSymbolCount = sizeof(kDeflateLengthBase) / sizeof(kDeflateLengthBase[0]);
constexpr uint32_t kDistanceSymbolCount = sizeof(kDeflateDistBase) / sizeof(kDeflateDistBase[0]);
constexpr uint32_t kInvalidEntry = MakeEntry(kEntryInvalid, 0, 0, 0);

// The entry a symbol decodes to before its code length is known: the
// consume field holds only the extra bits.
constexpr uint32_t SymbolEntry(Alphabet alphabet, uint32_t symbol) {
    switch (alphabet) {
    case Alphabet::CodeLength:
        return MakeEntry(kEntryLiteral, symbol, 0, 0);
    case Alphabet::LitLen:
        if (symbol < DEFLATE_END_OF_BLOCK) return MakeEntry(kEntryLiteral, symbol, 0, 0);
        if (symbol == DEFLATE_END_OF_BLOCK) return MakeEntry(kEntryExceptional | kEntryEndOfBlock, 0, 0, 0);
        if (symbol - kLengthSymbolBase < kLengthSymbolCount) {
            const uint32_t index = symbol - kLengthSymbolBase;
            return MakeEntry(0, kDeflateLengthBase[index], 0, kDeflateLengthExtra[index]);
        }
        return kInvalidEntry;  // 286 and 287 exist only in the fixed code
    case Alphabet::Distance:
        if (symbol < kDistanceSymbolCount)
            return MakeEntry(0, kDeflateDistBase[symbol], 0, kDeflateDistExtra[symbol]);
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

// Interleaved counting and sorting runs in the table builder.
constexpr uint32_t kLanes = 4;

// Completes a symbol's entry with the code bits it takes in its table.
constexpr uint32_t WithCode(uint32_t symbolEntry, uint32_t codeBits) {
    return symbolEntry + codeBits + (codeBits << kEntryCodeBitsShift);
}

constexpr bool BuildTable(Alphabet alphabet, const uint8_t* lengths, uint32_t symbolCount,
                          uint32_t rootBits, uint32_t* table, uint32_t capacity) {
    const uint32_t rootEntries = 1u << rootBits;
    if (rootBits > kMaxRootBits || rootEntries > capacity) return false;
    if (symbolCount > SymbolCapacity(alphabet)) return false;
    const uint32_t* const symbolEntries = SymbolEntriesOf(alphabet);

    // Lengths are counted, and later sorted, in kLanes interleaved runs
    // over consecutive stretches of symbols: each lane has counters of its
    // own, so that a run of equal lengths does not make every increment
    // wait for the one before it.
    const uint32_t laneSymbols = (symbolCount + kLanes - 1) / kLanes;
    uint32_t laneCount[kLanes][DEFLATE_MAX_CODE_BITS + 1] = {};
    uint32_t lengthBitsSeen = 0;
    for (uint32_t i = 0; i < laneSymbols; ++i) {
        for (uint32_t lane = 0; lane < kLanes; ++lane) {
            const uint32_t symbol = lane * laneSymbols + i;
            if (symbol >= symbolCount) break;
            const uint32_t length = lengths[symbol];
            lengthBitsSeen |= length;
            ++laneCount[lane][length & DEFLATE_MAX_CODE_BITS];
        }
    }
    static_assert((DEFLATE_MAX_CODE_BITS & (DEFLATE_MAX_CODE_BITS + 1)) == 0, "lengths are masked to 4 bits");
    if (lengthBitsSeen > DEFLATE_MAX_CODE_BITS) return false;
    uint32_t countOfLength[DEFLATE_MAX_CODE_BITS + 1] = {};
    uint32_t longest = 0;
    for (uint32_t length = 0; length <= DEFLATE_MAX_CODE_BITS; ++length) {
        for (uint32_t lane = 0; lane < kLanes; ++lane) countOfLength[length] += laneCount[lane][length];
        if (countOfLength[length] != 0) longest = length;
    }
    const uint32_t unusedSymbols = countOfLength[0];

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

    uint32_t firstCode[DEFLATE_MAX_CODE_BITS + 1] = {};
    countOfLength[0] = 0;
    for (uint32_t length = 1, code = 0; length <= DEFLATE_MAX_CODE_BITS; ++length) {
        code = (code + countOfLength[length - 1]) << 1;
        firstCode[length] = code;
    }

    // Symbols in canonical order: by code length, then by symbol; the
    // unused ones (length 0) sort first and are skipped.
    uint32_t laneSlot[kLanes][DEFLATE_MAX_CODE_BITS + 1];
    for (uint32_t length = 0, slot = 0; length <= DEFLATE_MAX_CODE_BITS; ++length) {
        for (uint32_t lane = 0; lane < kLanes; ++lane) {
            laneSlot[lane][length] = slot;
            slot += laneCount[lane][length];
        }
    }
    uint16_t sorted[DEFLATE_LITLEN_SYMBOLS];
    for (uint32_t i = 0; i < laneSymbols; ++i) {
        for (uint32_t lane = 0; lane < kLanes; ++lane) {
            const uint32_t symbol = lane * laneSymbols + i;
            if (symbol >= symbolCount) break;
            sorted[laneSlot[lane][lengths[symbol]]++] = static_cast<uint16_t>(symbol);
        }
    }

    // Codes up to the root width, length by length. While the codes of
    // length L are placed the table spans 2^L entries; doubling it repeats
    // every entry over the next index bit, which is what a shorter code
    // needs, and the codes of the next length then take the entries no
    // shorter code covers. Only a lone 1-bit code leaves an entry unused.
    table[0] = kInvalidEntry;
    table[1] = kInvalidEntry;
    uint32_t next = unusedSymbols;  // position in `sorted`
    for (uint32_t length = 1, span = 2; length <= rootBits; ++length) {
        if (length > 1) {
            std::copy(table, table + span, table + span);
            span *= 2;
        }
        for (uint32_t k = 0; k < countOfLength[length]; ++k)
            table[ReverseBits(firstCode[length] + k, length)] = WithCode(symbolEntries[sorted[next++]], length);
    }
    if (longest <= rootBits) return true;

    // Codes longer than the root go to subtables, one per root prefix. In
    // canonical order their prefixes ascend and each prefix's codes are
    // consecutive, its last code the longest, which sets the subtable's
    // width: one walk finds the widths, a second places the codes.
    uint8_t runBits[DEFLATE_LITLEN_SYMBOLS];
    uint32_t runs = 0;
    for (uint32_t length = rootBits + 1, previous = ~0u; length <= longest; ++length) {
        const uint32_t beyondRoot = length - rootBits;
        for (uint32_t k = 0; k < countOfLength[length]; ++k) {
            const uint32_t prefix = (firstCode[length] + k) >> beyondRoot;
            if (prefix != previous) ++runs;
            previous = prefix;
            runBits[runs - 1] = static_cast<uint8_t>(beyondRoot);
        }
    }
    uint32_t used = rootEntries;
    uint32_t subtableOffset = 0;
    for (uint32_t length = rootBits + 1, previous = ~0u, run = 0; length <= longest; ++length) {
        const uint32_t beyondRoot = length - rootBits;
        for (uint32_t k = 0; k < countOfLength[length]; ++k) {
            const uint32_t code = firstCode[length] + k;
            const uint32_t prefix = code >> beyondRoot;
            if (prefix != previous) {
                const uint32_t bits = runBits[run++];
                if ((1u << bits) > capacity - used) return false;
                subtableOffset = used;
                table[ReverseBits(prefix, rootBits)] =
                    MakeEntry(kEntryExceptional | kEntrySubtable, used, bits, rootBits);
                used += 1u << bits;
                previous = prefix;
            }
            const uint32_t entry = WithCode(symbolEntries[sorted[next++]], beyondRoot);
            const uint32_t subEntries = 1u << runBits[run - 1];
            for (uint32_t i = ReverseBits(code, length) >> rootBits; i < subEntries; i += 1u << beyondRoot)
                table[subtableOffset + i] = entry;
        }
    }
    return true;
}

// The fixed code: literal/length lengths 8, 9, 7, 8 over four ranges;
// 32 distance codes of 5 bits (30 and 31 never occur in valid data).
constexpr uint32_t kFixedLengthRangeEnd[4] = {144, 256, 280, DEFLATE_LITLEN_SYMBOLS};
constexpr uint8_t kFixedLengthOfRange[4] = {8, 9, 7, 8};
constexpr uint8_t kFixedDistLength = 5;

struct FixedTables {
    bool built;
    DecodeTables tables;
};

constexpr FixedTables MakeFixedTables() {
    FixedTables fixed{};
    uint8_t litLenLengths[DEFLATE_LITLEN_SYMBOLS] = {};
    for (uint32_t symbol = 0, range = 0; symbol < DEFLATE_LITLEN_SYMBOLS; ++symbol) {
        if (symbol == kFixedLengthRangeEnd[range]) ++range;
        litLenLengths[symbol] = kFixedLengthOfRange[range];
    }
    uint8_t distLengths[DEFLATE_DIST_SYMBOLS] = {};
    for (uint32_t symbol = 0; symbol < DEFLATE_DIST_SYMBOLS; ++symbol) distLengths[symbol] = kFixedDistLength;
    fixed.built = BuildTable(Alphabet::LitLen, litLenLengths, DEFLATE_LITLEN_SYMBOLS, kLitLenRootBits,
                             fixed.tables.litLen, kLitLenTableCapacity) &&
                  BuildTable(Alphabet::Distance, distLengths, DEFLATE_DIST_SYMBOLS, kDistRootBits,
                             fixed.tables.dist, kDistTableCapacity);
    return fixed;
}

constexpr FixedTables kFixedTables = MakeFixedTables();
static_assert(kFixedTables.built, "the fixed code must build");

}  // namespace

bool BuildDecodeTable(Alphabet alphabet, const uint8_t* lengths, uint32_t symbolCount,
                      uint32_t rootBits, uint32_t* table, uint32_t capacity) {
    return BuildTable(alphabet, lengths, symbolCount, rootBits, table, capacity);
}

const DecodeTables& FixedDecodeTables() { return kFixedTables.tables; }

}  // namespace treepak
