// Creation, reset and destruction of the LZX encoder record, and the code
// lengths the parser prices items with before real statistics exist.
//
// Format facts: slots 0..3 hold formatted offsets 0..3, then slots come in
// pairs of equal footer width laid end to end; `slotTable` maps formatted
// offsets below 1024 to their slot, and larger ones are derived from it by
// shifting (see SlotOf).
#include <cstring>

#include "compress/lzx/lzx_encoder.h"
#include "compress/lzx/lzx_search_job.h"

namespace treepak {

namespace lzxenc {
namespace {

// Pricing lengths used until the first statistics are measured, and the
// lengths given to unused symbols when measured lengths are patched.
constexpr uint8_t kResetLiteralLength = 8;
constexpr uint8_t kResetHeaderLength = 9;
constexpr uint8_t kResetLengthTreeLength = 6;
constexpr uint8_t kResetAlignedLength = 3;
constexpr uint8_t kPatchLiteralLength = 11;
constexpr uint8_t kPatchHeaderLength = 12;
constexpr uint8_t kPatchLengthTreeLength = 8;
// Two-byte matches from slot 34 on (formatted offsets of 131072 and more)
// never pay off; this price keeps them out of the parse.
constexpr uint32_t kFarPairFirstSlot = 34;
constexpr uint8_t kFarPairLength = 100;

void* AllocZeroed(LzxEncoder* e, uint32_t bytes) {
    void* block = e->alloc(bytes);
    if (block) std::memset(block, 0, bytes);
    return block;
}

void BuildSlotTable(uint8_t* table) {
    uint32_t entry = 0;
    for (; entry < 4; ++entry) table[entry] = static_cast<uint8_t>(entry);
    uint32_t run = 2;
    uint32_t slot = 4;
    while (entry < kSlotTableSize) {
        for (int pair = 0; pair < 2; ++pair, ++slot)
            for (uint32_t k = 0; k < run; ++k) table[entry++] = static_cast<uint8_t>(slot);
        run *= 2;
    }
}

// The parser's match prices: a match of length l (2..257) in slot s costs
// the main code of header 256 + 8s + min(l - 2, 7), the length code of
// l - 9 when l >= 9, and the slot's footer bits. The table holds the lengths
// the parser prices, up to kLongMatch (longer matches are taken whole).
// Two-byte matches far away are priced out first.
void FinishPricingLengths(LzxEncoder* e) {
    for (uint32_t s = kFarPairFirstSlot; s < e->slotCount; ++s)
        e->mainLengths[LZX_NUM_CHARS + kHeaderStates * s] = kFarPairLength;
    for (uint32_t s = 0; s < e->slotCount; ++s) {
        const uint8_t* header = e->mainLengths + LZX_NUM_CHARS + kHeaderStates * s;
        uint32_t* row = e->matchPrices[s];
        for (uint32_t l = LZX_MIN_MATCH; l <= kLongMatch; ++l) {
            const uint32_t h = l - LZX_MIN_MATCH;
            row[l] = e->footerBits[s] + (h < kLongLengthHeader ? header[h]
                                                                : header[kLongLengthHeader] +
                                                                      e->lengthLengths[h - kLongLengthHeader]);
        }
    }
}

}  // namespace

void ResetPricingLengths(LzxEncoder* e) {
    std::memset(e->mainLengths, kResetLiteralLength, LZX_NUM_CHARS);
    std::memset(e->mainLengths + LZX_NUM_CHARS, kResetHeaderLength, e->mainSymbols - LZX_NUM_CHARS);
    std::memset(e->lengthLengths, kResetLengthTreeLength, LZX_LENGTH_SYMBOLS);
    std::memset(e->alignedLengths, kResetAlignedLength, LZX_ALIGNED_SYMBOLS);
    FinishPricingLengths(e);
}

void PatchLengthsForPricing(LzxEncoder* e) {
    for (uint32_t x = 0; x < LZX_NUM_CHARS; ++x)
        if (e->mainLengths[x] == 0) e->mainLengths[x] = kPatchLiteralLength;
    for (uint32_t x = LZX_NUM_CHARS; x < e->mainSymbols; ++x)
        if (e->mainLengths[x] == 0) e->mainLengths[x] = kPatchHeaderLength;
    for (uint32_t x = 0; x < LZX_LENGTH_SYMBOLS; ++x)
        if (e->lengthLengths[x] == 0) e->lengthLengths[x] = kPatchLengthTreeLength;
    FinishPricingLengths(e);
}

bool LzxValidWindow(uint32_t windowSize) {
    return windowSize >= (1u << LZX_MIN_WINDOW_BITS) && windowSize <= (1u << LZX_MAX_WINDOW_BITS) &&
           (windowSize & (windowSize - 1)) == 0;
}

uint32_t LzxSlideSize(uint32_t requested) {
    uint32_t slideSize = requested - requested % LZX_FRAME_SIZE;
    if (slideSize < LZX_FRAME_SIZE) slideSize = LZX_FRAME_SIZE;
    // Bound the slide so the buffer sizes stay far inside 32 bits.
    if (slideSize > (1u << LZX_MAX_WINDOW_BITS)) slideSize = 1u << LZX_MAX_WINDOW_BITS;
    return slideSize;
}

LzxEncoder* LzxEncoderCreate(uint32_t windowSize, uint32_t slideSize, FCIAllocFn alloc, FCIFreeFn free,
                             LzxOutputCallback outputCallback, void* callbackContext) {
    if (!LzxValidWindow(windowSize)) return nullptr;
    slideSize = LzxSlideSize(slideSize);

    auto* e = static_cast<LzxEncoder*>(alloc(sizeof(LzxEncoder)));
    if (!e) return nullptr;
    std::memset(e, 0, sizeof(LzxEncoder));
    e->alloc = alloc;
    e->free = free;
    e->outputCallback = outputCallback;
    e->callbackContext = callbackContext;
    e->windowSize = windowSize;
    e->slideSize = slideSize;
    e->slotCount = LzxSlotCount(windowSize);
    e->mainSymbols = LzxMainSymbols(e->slotCount);

    const uint32_t bufferBytes = windowSize + slideSize + kWindowSlack;
    e->hashHeads = static_cast<uint32_t*>(AllocZeroed(e, kHashKeys * sizeof(uint32_t)));
    e->children = static_cast<uint32_t*>(AllocZeroed(e, 2 * (windowSize + kRingSlack) * sizeof(uint32_t)));
    e->windowBuffer = static_cast<uint8_t*>(AllocZeroed(e, bufferBytes));
    e->items = static_cast<uint8_t*>(AllocZeroed(e, kItemCapacity));
    e->matchOffsets = static_cast<uint32_t*>(AllocZeroed(e, kMatchCapacity * sizeof(uint32_t)));
    e->matchFlags = static_cast<uint8_t*>(AllocZeroed(e, kMatchFlagBytes));
    e->outBuffer = static_cast<uint8_t*>(AllocZeroed(e, kOutBufferSize));
    constexpr uint32_t nodeBytes = 3 * sizeof(uint32_t) + sizeof(ParseRepeats);
    e->nodes.cost = static_cast<uint32_t*>(AllocZeroed(e, kParseNodes * nodeBytes));
    if (!e->hashHeads || !e->children || !e->windowBuffer || !e->items ||
        !e->matchOffsets || !e->matchFlags || !e->outBuffer || !e->nodes.cost) {
        LzxEncoderDestroy(e);
        return nullptr;
    }
    e->outPtr = e->outBuffer;
    e->nodes.link = e->nodes.cost + kParseNodes;
    e->nodes.offsetCode = e->nodes.link + kParseNodes;
    e->nodes.repeats = reinterpret_cast<ParseRepeats*>(e->nodes.offsetCode + kParseNodes);

    BuildSlotTable(e->slotTable);
    for (uint32_t s = 0; s < LZX_MAX_SLOTS; ++s) {
        e->footerBits[s] = LzxFooterBits(s);
        e->footerMask[s] = (1u << e->footerBits[s]) - 1;
    }
    for (uint32_t b = 0; b < 256; ++b) e->setBitCount[b] = static_cast<uint8_t>(__builtin_popcount(b));
    e->initialized = 1;
    LzxEncoderReset(e);
    return e;
}

void LzxEncoderReset(LzxEncoder* e) {
    const uint32_t w = e->windowSize;
    std::memset(e->hashHeads, 0, kHashKeys * sizeof(uint32_t));
    ForgetSearchesAhead(e);
    DropSearchJob(e);
    e->windowOrigin = w;
    e->position = w;
    e->r0 = e->r1 = e->r2 = 1;
    e->outR0 = e->outR1 = e->outR2 = 1;
    e->redoAllowed = 1;
    e->statsFromScratch = 1;
    e->restartPosition = w;
    e->bitsFree = kBitBufferBits;
    e->bitBuffer = 0;
    e->outputOverflow = 0;
    std::memset(e->prevMainLengths, 0, e->mainSymbols);
    std::memset(e->prevLengthLengths, 0, LZX_LENGTH_SYMBOLS);
    ResetPricingLengths(e);
    e->blockStart = w;
    e->oldestPosition = w;
    e->streamStart = 1;
    e->frameBytes = 0;
    std::memset(e->matchFlags, 0, kMatchFlagBytes);
    e->itemCount = e->matchCount = 0;
    e->splitCount = 0;
    e->e8Offset = 0;
    e->chunkCount = 0;
    e->lastChunkShort = 0;
}

void LzxEncoderDestroy(LzxEncoder* e) {
    if (!e) return;
    void* blocks[] = {e->hashHeads, e->children, e->windowBuffer, e->items,
                      e->matchOffsets, e->matchFlags, e->outBuffer, e->nodes.cost, e->chunkDigests};
    for (void* block : blocks)
        if (block) e->free(block);
    e->initialized = 0;
    e->free(e);
}

}  // namespace lzxenc

}  // namespace treepak
