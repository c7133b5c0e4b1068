// The LZX encoder's state record and the operations its files share.
//
// Positions are absolute 32-bit numbers: after a reset the folder's first
// byte has position W (the window size) and every byte adds one, so a
// position AND 32767 is its offset inside its 32768-byte frame. Position 0
// means "none" in the match finder's tables. The window buffer holds
// W + slideSize bytes of data plus slack for comparisons that run past the
// data; `windowOrigin` is the position stored at the buffer's first byte.
//
// Every allocation (all made at creation through the client's allocator) is
// zeroed there, and a reset leaves frequency tables, window bytes and child
// tables as they are: the bytes a new folder's match finder compares past
// its data, and the counts behind its first size estimate, come from the
// previous folder, and the output depends on them (no tree link of an
// earlier folder is followed again).
#pragma once

#include <cstdint>

#include "cabinet/block_digest.h"
#include "cabinet/lzx_format.h"
#include "compress/compressor.h"

namespace treepak {

namespace lzxenc {

struct SearchJob;  // lzx_search_job.h

// Buffers and limits of the encoder.
inline constexpr uint32_t kHashKeys = 65536;             // one binary tree per first two bytes
inline constexpr uint32_t kWindowSlack = 4353;           // room for comparisons past the data
inline constexpr uint32_t kItemCapacity = 65536;
// Kept matches after a split plus one span's matches can pass 32768.
inline constexpr uint32_t kMatchCapacity = 65536;
inline constexpr uint32_t kMatchFlagBytes = kItemCapacity / 8;
inline constexpr uint32_t kOutBufferSize = 38912;
inline constexpr uint32_t kOutSafeSize = 38848;          // the bit writer wraps (overflow) here
inline constexpr uint32_t kParseNodes = 4110;
inline constexpr uint32_t kSpanPositions = 3837;         // a span covers positions s .. s + 3836
inline constexpr uint32_t kMaxCompare = LZX_MAX_MATCH;   // FindMatches compares at most 257 bytes
inline constexpr uint32_t kLongMatch = 50;               // taken greedily; inserting compares this much
inline constexpr uint32_t kFrameMask = LZX_FRAME_SIZE - 1;
// The match finder searches up to this many positions ahead of the parser
// in one batch (see lzx_match_finder.cpp), walking this many trees at once.
inline constexpr uint32_t kSearchBatch = 16;
inline constexpr uint32_t kWalksInFlight = 4;
// Tree nodes beyond W in the ring; far more than any walk runs ahead.
inline constexpr uint32_t kRingSlack = 65536;
inline constexpr uint32_t kMaxChunks = LZX_E8_MAX_FRAMES;

// Tree work the parser does besides searching, which search jobs
// (lzx_search_job.h) repeat. Distance-1 runs longer than kRunInsertLimit
// put only their second position into the trees. At a chunk's end its last
// kTailPositions positions come out of the trees (limit: the position
// minus W plus kRemoveLimitSlack), because they were inserted before the
// bytes after them were read, and go back in at the next chunk's start
// (limit: its first position minus W plus kInsertLimitSlack).
inline constexpr uint32_t kRunInsertLimit = 16;
inline constexpr uint32_t kTailPositions = 50;
inline constexpr uint32_t kRemoveLimitSlack = 54;
inline constexpr uint32_t kInsertLimitSlack = 4;

// Item-buffer thresholds of the parser.
inline constexpr uint32_t kItemFlushLimit = 65528;
inline constexpr uint32_t kMatchFlushLimit = 32760;
inline constexpr uint32_t kRedoItemLimit = 65024;
inline constexpr uint32_t kRedoMatchLimit = 32256;
inline constexpr uint32_t kFirstStatsThreshold = 10000;
inline constexpr uint32_t kStatsInterval = 4096;

// Symbol tables.
inline constexpr uint32_t kSlotTableSize = 1024;
inline constexpr uint32_t kMainCapacity = 700;           // 256 + 8 * 51 symbols fit
inline constexpr uint32_t kLengthCapacity = 250;         // 249 symbols and one spare entry
inline constexpr uint32_t kHeaderStates = 8;             // match header symbols per slot
inline constexpr uint32_t kLongLengthHeader = LZX_NUM_PRIMARY_LENGTHS;  // h = 7: a length code follows
inline constexpr uint32_t kMaxCodeLength = 16;

// The bit writer: a 32-bit accumulator that leaves in 16-bit words.
inline constexpr int32_t kBitBufferBits = 32;
inline constexpr int32_t kWordBits = 16;

// Slots of formatted offsets from 1024 on: below 524288 the slot table is
// read at f >> 9 (plus 18); above, each slot covers 2^17 offsets from slot 38.
inline constexpr uint32_t kMidOffsetLimit = 1u << 19;
inline constexpr uint32_t kMidShift = 9;
inline constexpr uint32_t kMidSlotBias = 18;
inline constexpr uint32_t kFarShift = 17;
inline constexpr uint32_t kFarSlotBias = 34;
inline constexpr uint32_t kNumRepeats = 3;               // formatted offsets 0, 1, 2 reuse R0, R1, R2

// A search's formatted offset per length. Lengths up to kLongMatch are
// written out; longer ones, which the parser only ever takes whole, are kept
// as the fills that set them (a later fill wins): at most one from the walk
// (only its last candidate passes kLongMatch) and three from the repeated
// offsets.
inline constexpr uint32_t kMaxLongFills = 4;
inline constexpr uint32_t kFillBlock = 8;  // a walk's fills write whole blocks (see FillWalkOffsets)
struct LongFill {
    uint32_t from, to, offset;
};
struct OffsetRow {
    uint32_t offsets[kLongMatch + kFillBlock];
    uint32_t longFills;
    LongFill longFill[kMaxLongFills];
};

// The optimal parse's nodes, one per position of a span (indexes relative
// to its start), kept as parallel arrays so that the price loop compares and
// blends the nodes of consecutive lengths at once. For node k: cost[k] is the
// price in bits of the cheapest path found to it (kUnreached if none), link[k]
// the node it comes from (after the trace back, the next node on the path),
// offsetCode[k] the formatted offset of the match ending there, and
// repeats[k] R0, R1, R2 once the path to it is settled. All four arrays are
// carved, in this order, from the one block that `cost` points to.
struct ParseRepeats {
    uint32_t r0, r1, r2;
};
struct ParseNodes {
    uint32_t* cost;
    uint32_t* link;
    uint32_t* offsetCode;
    ParseRepeats* repeats;
};
inline constexpr uint32_t kUnreached = 0xFFFFFFFF;
// The price loop handles this many lengths at once at most, so it may touch
// up to kPriceLanes - 1 nodes past a span's last position.
inline constexpr uint32_t kPriceLanes = 8;
static_assert(kSpanPositions + kPriceLanes <= kParseNodes);

// Scratch of BuildCodeLengths, kept in the record so that code construction
// needs no memory of its own.
struct HuffmanScratch {
    uint16_t heap[kMainCapacity + 1];
    uint16_t sortList[kMainCapacity];
    uint16_t children[kMainCapacity][2];
    uint16_t stack[2 * kMainCapacity];
    uint16_t stackDepth[2 * kMainCapacity];
    uint16_t lengthCount[kMaxCodeLength + 1];
};

struct LzxEncoder {
    uint32_t windowOrigin;  // position kept at windowBuffer[0]
    uint32_t windowSize;
    uint32_t slideSize;
    uint32_t* hashHeads;
    // The match finder's tree links, a ring of R = W + kRingSlack nodes:
    // position q keeps its larger child at [2 * (q mod R)] and its smaller
    // child beside it, so one cache line brings both. Only positions above
    // a walk's limit (q > p + 4 - W) are followed, and no walk starts more
    // than a long match (257) past another still running, so no slot is
    // reused while its position may still be followed and the ring never
    // needs to slide.
    uint32_t* children;
    uint8_t* windowBuffer;

    uint32_t bitBuffer;
    int32_t bitsFree;
    uint32_t outputOverflow;

    uint32_t itemCount, matchCount;
    uint32_t* matchOffsets;
    uint8_t* items;
    uint8_t* matchFlags;

    uint32_t outR0, outR1, outR2;
    uint32_t r0, r1, r2;
    const OffsetRow* bestRow;  // offsetRows entry of the position last searched
    // Searches done ahead: positions specFirst .. specEnd - 1 are in the
    // trees, and each one's longest length and formatted offsets per length
    // (before the repeated offsets are preferred) wait here.
    uint32_t specFirst, specEnd;
    uint32_t afterLongMatch;  // the last position asked for had a match of kLongMatch or more
    uint32_t specBest[kSearchBatch];
    OffsetRow offsetRows[kSearchBatch];
    uint32_t position;
    uint8_t slotTable[kSlotTableSize];
    uint8_t footerBits[LZX_MAX_SLOTS];
    uint32_t footerMask[LZX_MAX_SLOTS];

    uint8_t* outBuffer;
    uint8_t* outPtr;
    uint32_t frameBytes;
    uint32_t restartPosition;
    uint32_t slotCount;
    uint32_t mainSymbols;
    uint32_t e8Size;
    uint32_t initialized;
    uint32_t splitCount;
    uint8_t setBitCount[256];
    uint32_t redoAllowed;
    uint32_t statsFromScratch;
    uint32_t streamStart;
    uint32_t oldestPosition;
    uint32_t blockStart;
    uint32_t e8Offset;
    uint32_t chunkCount;
    uint32_t lastChunkShort;  // a short chunk ends the folder; more input is refused

    // Search jobs (lzx_search_use.cpp): digests of the last chunks, kept
    // once jobs are enabled, and the job whose results positions jobFrom ..
    // jobTo - 1 take; from jobOwnFrom on they go into these trees again.
    BlockDigest* chunkDigests;
    uint32_t digestRing;
    const SearchJob* job;
    uint32_t jobFrom, jobTo, jobOwnFrom;
    uint32_t cursorChunk;  // the job chunk whose records the cursor reads
    uint32_t cursorPosition;
    const uint8_t* cursor;
    uint32_t cursorRunTaken;  // positions already read from the run record at the cursor

    uint32_t statsThreshold, statsItems, statsMatches;
    ParseNodes nodes;
    // Price in bits of a match per slot and length (2..kLongMatch) under the
    // pricing lengths, rebuilt whenever those change; the entries past
    // kLongMatch only pad what a vector of lengths reads.
    uint32_t matchPrices[LZX_MAX_SLOTS][kLongMatch + kPriceLanes];

    // Code tables; frequency tables have room for the internal nodes' weights.
    uint8_t mainLengths[kMainCapacity];
    uint8_t lengthLengths[kLengthCapacity];
    uint16_t mainFreq[2 * kMainCapacity];
    uint16_t mainCodes[kMainCapacity];
    uint8_t prevMainLengths[kMainCapacity];
    uint16_t lengthFreq[2 * kLengthCapacity];
    uint16_t lengthCodes[kLengthCapacity];
    uint8_t prevLengthLengths[kLengthCapacity];
    uint16_t alignedFreq[2 * LZX_ALIGNED_SYMBOLS];
    uint16_t alignedCodes[LZX_ALIGNED_SYMBOLS];
    uint8_t alignedLengths[LZX_ALIGNED_SYMBOLS];
    HuffmanScratch huffman;

    void* callbackContext;
    FCIAllocFn alloc;
    FCIFreeFn free;
    LzxOutputCallback outputCallback;
};

// Buffer index helpers.
inline uint8_t* WindowAt(LzxEncoder* e, uint32_t p) { return e->windowBuffer + (p - e->windowOrigin); }
inline uint32_t BufferOffset(const LzxEncoder* e, uint32_t p) { return p - e->windowOrigin; }

inline uint32_t SlotOf(const LzxEncoder* e, uint32_t formatted) {
    if (formatted < kSlotTableSize) return e->slotTable[formatted];
    if (formatted < kMidOffsetLimit) return e->slotTable[formatted >> kMidShift] + kMidSlotBias;
    return (formatted >> kFarShift) + kFarSlotBias;
}

inline bool IsMatchItem(const LzxEncoder* e, uint32_t i) { return (e->matchFlags[i >> 3] >> (i & 7)) & 1; }

// Repeated-offset update for one formatted offset.
inline void UpdateRepeats(uint32_t& r0, uint32_t& r1, uint32_t& r2, uint32_t formatted) {
    if (formatted >= kNumRepeats) {
        r2 = r1;
        r1 = r0;
        r0 = formatted - 2;
    } else if (formatted == 1) {
        uint32_t t = r0; r0 = r1; r1 = t;
    } else if (formatted == 2) {
        uint32_t t = r0; r0 = r2; r2 = t;
    }
}

// Encoder record lifecycle (lzx_encoder.cpp). A window is a power of two
// within the format's bounds; the slide is made a whole number of frames.
bool LzxValidWindow(uint32_t windowSize);
uint32_t LzxSlideSize(uint32_t requested);
LzxEncoder* LzxEncoderCreate(uint32_t windowSize, uint32_t slideSize, FCIAllocFn alloc, FCIFreeFn free,
                             LzxOutputCallback outputCallback, void* callbackContext);
void LzxEncoderReset(LzxEncoder* e);
void LzxEncoderDestroy(LzxEncoder* e);
void ResetPricingLengths(LzxEncoder* e);
void PatchLengthsForPricing(LzxEncoder* e);

// Chunk intake and flush (lzx_chunk.cpp). Status 0 = fine, 2 = output lost.
inline constexpr int kChunkOk = 0;
inline constexpr int kChunkOverflow = 2;
inline constexpr int kChunkRefused = 3;
int LzxEncodeChunk(LzxEncoder* e, const uint8_t* data, uint32_t length, uint32_t e8Size, uint32_t* estimate);
bool LzxEncoderFlush(LzxEncoder* e);

// E8 call translation of one chunk in place (lzx_e8.cpp).
void TranslateE8(uint8_t* chunk, uint32_t size, uint32_t* e8Offset, uint32_t translationSize);

// Match finder (lzx_match_finder.cpp). FindMatches searches p, which must
// not lie below an earlier search; positions up to `end` (exclusive) may be
// searched ahead. InsertPositions puts first .. last - 1 into the trees,
// leaving out those already searched ahead; `fixedLimit` 0 gives each
// position q the usual limit q + 4 - W. ForgetSearchesAhead drops the
// searches ahead when the trees are emptied.
uint32_t FindMatches(LzxEncoder* e, uint32_t p, uint32_t end);
uint32_t OffsetOfLength(const OffsetRow* row, uint32_t length);
void InsertPositions(LzxEncoder* e, uint32_t first, uint32_t last, uint32_t fixedLimit);
void ForgetSearchesAhead(LzxEncoder* e);
void RemovePosition(LzxEncoder* e, uint32_t p, uint32_t limit);

// Parser (lzx_parser.cpp).
void ParseChunk(LzxEncoder* e, uint32_t bytes);
void RefreshCostModel(LzxEncoder* e);

// Statistics and block shaping (lzx_stats.cpp).
uint32_t CountStatistics(LzxEncoder* e, uint32_t first, uint32_t last, uint32_t firstMatch, bool fromScratch);
struct SplitPoint {
    uint32_t items;
    uint32_t matches;
};
SplitPoint ChooseSplitPoint(LzxEncoder* e, uint32_t itemCount, uint32_t matchCount);
uint32_t DistributionDistance(const LzxEncoder* e, uint32_t firstA, uint32_t matchA, uint32_t firstB,
                              uint32_t matchB);
uint32_t ChooseBlockType(LzxEncoder* e, uint32_t matches);
uint32_t EstimateBlockBytes(const LzxEncoder* e);

// Huffman code lengths limited to 16 bits (lzx_huffman.cpp).
void BuildCodeLengths(HuffmanScratch* scratch, uint32_t n, uint16_t* freq, uint8_t* lengths, uint16_t* codes,
                      bool makeCodes);
void BuildPricingLengths(LzxEncoder* e);  // main and length trees, no codes

// Block output and bit writer (lzx_block_output.cpp, lzx_bit_writer.cpp).
void OutputBlock(LzxEncoder* e);
void WriteTreeLengths(LzxEncoder* e, uint8_t* cur, uint8_t* prev, uint32_t n);
void WriteUncompressedBlock(LzxEncoder* e, uint32_t start, uint32_t size);
void FlushFrame(LzxEncoder* e);

// Bits go out in 16-bit little-endian words, most significant bit first.
// n is at most 16 and value fits in n bits.
inline void PutBits(LzxEncoder* e, uint32_t n, uint32_t value) {
    if (n == 0) return;
    e->bitsFree -= static_cast<int32_t>(n);
    e->bitBuffer |= value << e->bitsFree;
    while (e->bitsFree <= kWordBits) {
        if (e->outPtr >= e->outBuffer + kOutSafeSize) {
            e->outputOverflow = 1;
            e->outPtr = e->outBuffer;
        }
        e->outPtr[0] = static_cast<uint8_t>(e->bitBuffer >> kWordBits);  // low byte of the word first
        e->outPtr[1] = static_cast<uint8_t>(e->bitBuffer >> (kWordBits + 8));
        e->outPtr += 2;
        e->bitBuffer <<= kWordBits;
        e->bitsFree += kWordBits;
    }
}

// Footers of the far slots are 17 bits wide: two calls, same bits.
inline void PutWideBits(LzxEncoder* e, uint32_t n, uint32_t value) {
    constexpr uint32_t word = kWordBits;
    if (n > word) {
        PutBits(e, n - word, value >> word);
        PutBits(e, word, value & ((1u << word) - 1));
    } else {
        PutBits(e, n, value);
    }
}

}  // namespace lzxenc

}  // namespace treepak
