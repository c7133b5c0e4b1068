// Working state of the block deflate compressor and the constants that fix
// its output. Every cabinet data block becomes "CK" followed by one complete
// RFC 1951 stream. The window is 65536 bytes: the block being compressed
// lies at 32768.., and when the previous call compressed a full 32768-byte
// block of the same folder, that block lies at 0..32767 as history that
// matches may reach into. Positions in the hash tables are window offsets
// that fit 16 bits; 0 means "no position".
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "cabinet/deflate_format.h"
#include "cabinet/format.h"

namespace treepak {

namespace blockdeflate {

// Window and hash tables.
inline constexpr uint32_t kHalfWindow = DEFLATE_HISTORY_SIZE;   // 32768
inline constexpr uint32_t kWindowSize = 2 * kHalfWindow;        // 65536
inline constexpr uint32_t kHashSize = 32768;
inline constexpr uint32_t kHashMask = kHashSize - 1;
inline constexpr uint32_t kHashShift = 5;  // three shifts push a byte out of 15 bits
inline constexpr uint32_t kChainSize = 32768;
inline constexpr uint32_t kChainMask = kChainSize - 1;
inline constexpr uint16_t kNoPosition = 0;
// Second chains over four-byte strings, a search aid that leaves the output
// alone: once a match of three bytes is in hand only candidates agreeing in
// four bytes can beat it, and these chains lead from one to the next
// without visiting the others. They pay where three-byte chains are long
// and four-byte strings varied (code, tables); on text of few words they
// only cost, so each call decides from the previous one whether to use them.
inline constexpr uint32_t kHash4Bits = 15;
inline constexpr uint32_t kHash4Size = 1u << kHash4Bits;
inline constexpr uint32_t kHash4Multiplier = 0x9E3779B1;  // odd, bits well spread
inline constexpr uint32_t kHash4Bytes = 4;
inline constexpr uint32_t kLongChainHops = 128;   // average links per search that turn them on
// Kept on while the three-byte walks, as far as the searches saw them,
// would have taken at least 23/20 the links: on text of few words they take
// about 1.1, on machine code 1.2 and more. (The walks seen end early, so
// these ratios are below the true ones.)
inline constexpr uint32_t kSavedRatioNumerator = 23;
inline constexpr uint32_t kSavedRatioDenominator = 20;
inline constexpr uint32_t kOffCallsAfterPoorSaving = 16;  // calls before they are tried again

// Matching limits. The distance limit keeps a maximal match and the
// minimum lookahead inside the 32768-byte half window: 32768 - 262 = 32506.
inline constexpr uint32_t kMaxChain = 4096;
inline constexpr uint32_t kMaxDistance = kHalfWindow - (DEFLATE_MAX_MATCH + DEFLATE_MIN_MATCH + 1);
static_assert(kMaxDistance == 32506);
inline constexpr uint32_t kTooFarForMinMatch = 4096;  // a 3-byte match beyond this costs more than literals
inline constexpr uint32_t kMaxLazyLength = 32;        // a previous match this long is taken without looking further
inline constexpr uint32_t kSearchEnd = kWindowSize - DEFLATE_MIN_MATCH;  // no search from here on
inline constexpr uint32_t kNoMatchLength = DEFLATE_MIN_MATCH - 1;

// Tallies and the early end of a deflate block.
inline constexpr uint32_t kTallyBufferBytes = 32768;  // each of the two tally buffers
inline constexpr uint32_t kLiteralBufferSize = kTallyBufferBytes;
inline constexpr uint32_t kMaxTallies = kLiteralBufferSize - 1;
inline constexpr uint32_t kMaxDistanceTallies = 32768;
// A deflate block never outlives the call that started it and every match
// covers at least three input bytes, so one block holds fewer distances
// than the distance buffer's entries: the distance-count limit above can
// never be the one that ends a block.
inline constexpr uint32_t kDistanceBufferEntries = kTallyBufferBytes / sizeof(uint16_t);
static_assert(CAB_BLOCK_SIZE / DEFLATE_MIN_MATCH < kDistanceBufferEntries);
inline constexpr uint32_t kEstimateInterval = 4096;  // tallies between two looks at the block's worth
inline constexpr uint32_t kEstimateDistanceBits = 5;  // assumed cost of a distance code

// Alphabets.
inline constexpr uint32_t kLiterals = 256;
inline constexpr uint32_t kLengthCodes = std::size(kDeflateLengthBase);   // 29
inline constexpr uint32_t kLitLenCodes = kLiterals + 1 + kLengthCodes;   // 286
inline constexpr uint32_t kDistCodes = std::size(kDeflateDistBase);       // 30
inline constexpr uint32_t kCodeLenCodes = DEFLATE_CODELEN_SYMBOLS;        // 19
inline constexpr uint32_t kFixedLitLenCodes = DEFLATE_LITLEN_SYMBOLS;     // 288, reserved ones included
inline constexpr uint32_t kFixedDistBits = 5;

// Code-length alphabet: repeat symbols and their ranges.
inline constexpr uint32_t kRepeatPrevious = 16;   // 3..6 copies of the previous length, 2 extra bits
inline constexpr uint32_t kRepeatZeroShort = 17;  // 3..10 zeros, 3 extra bits
inline constexpr uint32_t kRepeatZeroLong = 18;   // 11..138 zeros, 7 extra bits
inline constexpr uint32_t kRepeatPreviousMin = 3;
inline constexpr uint32_t kRepeatPreviousMax = 6;
inline constexpr uint32_t kRepeatZeroShortMin = 3;
inline constexpr uint32_t kRepeatZeroShortMax = 10;
inline constexpr uint32_t kRepeatZeroLongMin = 11;
inline constexpr uint32_t kRepeatZeroLongMax = 138;
inline constexpr uint8_t kCodeLenExtraBits[kCodeLenCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                             0, 0, 0, 0, 0, 0, 2, 3, 7};

// Block header fields.
inline constexpr uint32_t kBlockHeaderBits = 3;  // BFINAL + BTYPE
inline constexpr uint32_t kLitLenCountBits = 5;
inline constexpr uint32_t kDistCountBits = 5;
inline constexpr uint32_t kCodeLenCountBits = 4;
inline constexpr uint32_t kCodeLenLengthBits = 3;
inline constexpr uint32_t kMinCodeLenCodesSent = 4;
inline constexpr uint32_t kLitLenCountBase = 257;
inline constexpr uint32_t kStoredLengthBytes = 4;  // LEN and NLEN
// Bits added to a cost before rounding it to bytes: the block header plus
// rounding up.
inline constexpr uint32_t kCostRoundingBits = kBlockHeaderBits + 7;

// Huffman building: the heap holds every leaf and internal node of the
// largest alphabet.
inline constexpr uint32_t kHeapSize = 2 * kLitLenCodes + 1;
inline constexpr uint32_t kHeapTop = 1;  // the heap is 1-based

// One alphabet's tree: leaves 0..elems-1, internal nodes above them.
// After building, len[]/code[] of the leaves are the code (codes bit-reversed
// so they can be sent least significant bit first).
struct HuffmanTree {
    uint32_t freq[kHeapSize];
    uint16_t len[kHeapSize];
    uint16_t code[kHeapSize];
    uint16_t parent[kHeapSize];
    int maxCode;  // highest symbol with a non-zero count after building
};

// Distance code lookup: distance - 1 below the split indexes the low table;
// above it every distance code spans whole multiples of 128, so
// (distance - 1) >> 7 indexes the high table.
inline constexpr uint32_t kDistCodeSplit = 256;
inline constexpr uint32_t kDistCodeHighShift = 7;
inline constexpr uint32_t kDistCodeHighEntries = (DEFLATE_WINDOW_SIZE >> kDistCodeHighShift);

struct FixedTables {
    bool built;
    uint16_t litLenCode[kFixedLitLenCodes];
    uint16_t litLenLen[kFixedLitLenCodes];
    uint16_t distCode[kDistCodes];
    uint16_t distLen[kDistCodes];
    // match length - 3 -> length code index (0..28)
    uint8_t lengthCode[DEFLATE_MAX_MATCH - DEFLATE_MIN_MATCH + 1];
    uint8_t distCodeLow[kDistCodeSplit];
    uint8_t distCodeHigh[kDistCodeHighEntries];
};

struct BitWriter {
    uint64_t bits;       // pending bits, least significant first
    uint32_t bitCount;   // number of pending bits (< 64 between calls)
    uint8_t* out;
    uint32_t count;      // bytes written
    uint32_t capacity;
    bool overflow;       // a byte did not fit and was dropped
};

// The four-byte chains and, per position, its rank in its three-byte chain
// (one more than the position it links to). Built from the three-byte
// tables at the start of every call that uses them, so they carry nothing
// from call to call.
struct LongerChains {
    uint16_t head4[kHash4Size];
    uint16_t chain4[kChainSize];
    uint16_t rank[kChainSize];
    uint64_t inserted[kHalfWindow / 64];  // history positions found in the chains
};

// Chain links walked by the searches of one call, and, with the four-byte
// chains on, the links a walk of the three-byte chains alone would have
// taken. Only steers the choice of search.
struct SearchEffort {
    uint64_t searches;
    uint64_t walked;
    uint64_t threeByteWalk;
    bool useLonger;
    uint32_t offCallsLeft;
};

struct DeflateState {
    // Matching.
    uint32_t hash;
    uint32_t position;        // current window position
    uint32_t blockStart;      // window position where the pending deflate block starts
    uint32_t end;             // window position one past the input
    uint32_t matchLength;
    uint32_t matchPosition;

    // Tallies of the pending deflate block; literalBuffer/distanceBuffer live
    // in the handle, the flag bits here (one bit per tally, 1 = match).
    uint8_t* literalBuffer;
    uint16_t* distanceBuffer;
    uint32_t tallyCount;
    uint32_t distanceCount;
    uint8_t matchFlags[kLiteralBufferSize / 8];

    // Frequencies and codes of the pending deflate block.
    HuffmanTree litLenTree;
    HuffmanTree distTree;
    HuffmanTree codeLenTree;

    // Scratch of the Huffman builder.
    uint16_t heap[kHeapSize];
    uint8_t depth[kHeapSize];
    uint32_t heapKey[kHeapSize];  // per heap slot: its node's count << 8 | depth, the order in one number
    uint16_t lengthCount[DEFLATE_MAX_CODE_BITS + 1];
    uint32_t heapLength;
    uint32_t heapMax;

    // Running costs, in bits, of all deflate blocks of the current call.
    int64_t dynamicCost;
    int64_t fixedCost;

    FixedTables fixed;
    BitWriter writer;
    SearchEffort effort;
    LongerChains longer;
};

}  // namespace blockdeflate

}  // namespace treepak
