// Writing one block from the front of the item buffer.
//
// Format facts: a block starts with 3 bits of type and 24 bits of
// uncompressed size (three 8-bit fields, high first). Aligned blocks then
// send the 8 aligned-tree lengths in 3 bits each; verbatim and aligned blocks
// send three tree sections (main literals, main match headers, length tree).
// An item is a main code; a header symbol with h = 7 adds a length code;
// then the slot's footer: plain bits, except that aligned blocks send the
// low three bits of footers at least three bits wide as an aligned code.
// Uncompressed blocks carry the repeated offsets as they stand after the
// block, so they are advanced over the block's matches before it is written.
#include <cstring>

#include "cabinet/tp_assert.h"
#include "compress/lzx/lzx_encoder.h"

namespace treepak {

namespace lzxenc {
namespace {

constexpr uint32_t kBlockTypeBits = 3;
constexpr int kSizeFieldBits = 8;  // the 24-bit block size goes out as three fields
constexpr uint32_t kAlignedLengthBits = 3;
constexpr uint32_t kAlignedLowMask = LZX_ALIGNED_SYMBOLS - 1;

void FinishItemBytes(LzxEncoder* e, uint32_t bytes) {
    e->frameBytes += bytes;
    TP_ASSERT(e->frameBytes <= LZX_FRAME_SIZE);
    if (e->frameBytes == LZX_FRAME_SIZE) {
        FlushFrame(e);
        e->splitCount = 0;
    }
}

void WriteItems(LzxEncoder* e, uint32_t count, bool aligned) {
    uint32_t j = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t item = e->items[i];
        if (!IsMatchItem(e, i)) {
            PutBits(e, e->mainLengths[item], e->mainCodes[item]);
            FinishItemBytes(e, 1);
            continue;
        }
        const uint32_t f = e->matchOffsets[j++];
        const uint32_t slot = SlotOf(e, f);
        const uint32_t h = item < kLongLengthHeader ? item : kLongLengthHeader;
        const uint32_t symbol = LZX_NUM_CHARS + kHeaderStates * slot + h;
        PutBits(e, e->mainLengths[symbol], e->mainCodes[symbol]);
        if (item >= kLongLengthHeader) {
            const uint32_t x = item - kLongLengthHeader;
            PutBits(e, e->lengthLengths[x], e->lengthCodes[x]);
        }
        const uint32_t bits = e->footerBits[slot];
        const uint32_t footer = f & e->footerMask[slot];
        if (!aligned || bits < LZX_ALIGNED_BITS) {
            PutWideBits(e, bits, footer);
        } else {
            PutBits(e, bits - LZX_ALIGNED_BITS, footer >> LZX_ALIGNED_BITS);
            const uint32_t low = footer & kAlignedLowMask;
            PutBits(e, e->alignedLengths[low], e->alignedCodes[low]);
        }
        FinishItemBytes(e, item + LZX_MIN_MATCH);
    }
}

void AdvanceOutputRepeats(LzxEncoder* e, uint32_t matches) {
    for (uint32_t j = 0; j < matches; ++j) UpdateRepeats(e->outR0, e->outR1, e->outR2, e->matchOffsets[j]);
}

// Moves the items after the written block to the front of the buffer.
void ShiftItems(LzxEncoder* e, uint32_t items, uint32_t matches) {
    if (items == e->itemCount) {
        std::memset(e->matchFlags, 0, kMatchFlagBytes);
        e->itemCount = e->matchCount = 0;
        return;
    }
    TP_ASSERT(items % 8 == 0);
    const uint32_t keptItems = e->itemCount - items;
    const uint32_t keptMatches = e->matchCount - matches;
    std::memmove(e->items, e->items + items, keptItems);
    std::memmove(e->matchOffsets, e->matchOffsets + matches, keptMatches * sizeof(uint32_t));
    const uint32_t flagBytes = kMatchFlagBytes - items / 8;
    std::memmove(e->matchFlags, e->matchFlags + items / 8, flagBytes);
    std::memset(e->matchFlags + flagBytes, 0, items / 8);
    e->itemCount = keptItems;
    e->matchCount = keptMatches;
}

}  // namespace

void OutputBlock(LzxEncoder* e) {
    const SplitPoint split = ChooseSplitPoint(e, e->itemCount, e->matchCount);
    const uint32_t size = CountStatistics(e, 0, split.items, 0, true);
    uint32_t type = ChooseBlockType(e, split.matches);
    BuildCodeLengths(&e->huffman, e->mainSymbols, e->mainFreq, e->mainLengths, e->mainCodes, true);
    BuildCodeLengths(&e->huffman, LZX_LENGTH_SYMBOLS, e->lengthFreq, e->lengthLengths, e->lengthCodes, true);
    BuildCodeLengths(&e->huffman, LZX_ALIGNED_SYMBOLS, e->alignedFreq, e->alignedLengths, e->alignedCodes, true);
    // Raw bytes are only possible while the block's bytes are still in the window.
    if (EstimateBlockBytes(e) >= size && e->oldestPosition <= e->blockStart) type = LZX_BLOCK_UNCOMPRESSED;

    PutBits(e, kBlockTypeBits, type);
    for (int shift = 2 * kSizeFieldBits; shift >= 0; shift -= kSizeFieldBits)
        PutBits(e, kSizeFieldBits, (size >> shift) & ((1u << kSizeFieldBits) - 1));

    if (type == LZX_BLOCK_UNCOMPRESSED) {
        AdvanceOutputRepeats(e, split.matches);
        WriteUncompressedBlock(e, e->blockStart, size);
    } else {
        if (type == LZX_BLOCK_ALIGNED) {
            BuildCodeLengths(&e->huffman, LZX_ALIGNED_SYMBOLS, e->alignedFreq, e->alignedLengths, e->alignedCodes,
                             true);
            for (uint32_t a = 0; a < LZX_ALIGNED_SYMBOLS; ++a) PutBits(e, kAlignedLengthBits, e->alignedLengths[a]);
        }
        WriteTreeLengths(e, e->mainLengths, e->prevMainLengths, LZX_NUM_CHARS);
        WriteTreeLengths(e, e->mainLengths + LZX_NUM_CHARS, e->prevMainLengths + LZX_NUM_CHARS,
                         e->mainSymbols - LZX_NUM_CHARS);
        WriteTreeLengths(e, e->lengthLengths, e->prevLengthLengths, LZX_LENGTH_SYMBOLS);
        WriteItems(e, split.items, type == LZX_BLOCK_ALIGNED);
        AdvanceOutputRepeats(e, split.matches);
    }
    e->blockStart += size;
    ShiftItems(e, split.items, split.matches);
    PatchLengthsForPricing(e);
}

}  // namespace lzxenc

}  // namespace treepak
