// Huffman code lengths limited to 16 bits, and canonical codes.
//
// Format facts: codes are canonical (shorter codes first, equal lengths in
// increasing symbol order) and sent most significant bit first; a used tree
// must be a complete code, so a tree with a single used symbol is sent as
// two symbols of length 1. The construction is a min-heap over 16-bit counts
// whose tie-breaking is part of the output: the heap holds the used symbols
// in increasing order, internal nodes take the numbers n, n + 1, ... and
// their weights are stored after the leaves' counts in the caller's table.
#include "cabinet/tp_assert.h"
#include "compress/lzx/lzx_encoder.h"

namespace treepak {

namespace lzxenc {
namespace {

void SiftDown(uint16_t* heap, uint32_t size, uint32_t i, const uint16_t* freq) {
    const uint16_t moving = heap[i];
    for (;;) {
        uint32_t child = 2 * i;
        if (child > size) break;
        if (child + 1 <= size && freq[heap[child + 1]] < freq[heap[child]]) ++child;
        if (freq[moving] <= freq[heap[child]]) break;
        heap[i] = heap[child];
        i = child;
    }
    heap[i] = moving;
}

void MakeCanonicalCodes(uint32_t n, const uint8_t* lengths, uint16_t* codes, const uint16_t* lengthCount) {
    uint16_t next[kMaxCodeLength + 2];
    next[1] = 0;
    for (uint32_t d = 1; d <= kMaxCodeLength; ++d)
        next[d + 1] = static_cast<uint16_t>((next[d] + lengthCount[d]) << 1);
    for (uint32_t x = 0; x < n; ++x)
        if (lengths[x] != 0) codes[x] = next[lengths[x]]++;
}

}  // namespace

void BuildCodeLengths(HuffmanScratch* h, uint32_t n, uint16_t* freq, uint8_t* lengths, uint16_t* codes,
                      bool makeCodes) {
    TP_ASSERT(n <= kMainCapacity);
    uint16_t* heap = h->heap;
    uint32_t size;
    for (;;) {
        size = 0;
        for (uint32_t x = 0; x < n; ++x) {
            lengths[x] = 0;
            if (freq[x] != 0) heap[++size] = static_cast<uint16_t>(x);
        }
        if (size == 0) {
            codes[0] = 0;
            return;
        }
        if (size > 1) break;
        freq[heap[1] == 0 ? 1 : 0] = 1;  // a lone symbol gets a partner
    }

    for (uint32_t i = size / 2; i >= 1; --i) SiftDown(heap, size, i, freq);

    uint32_t sorted = 0;
    uint32_t node = n;
    while (size > 1) {
        const uint16_t i = heap[1];
        if (i < n) h->sortList[sorted++] = i;
        heap[1] = heap[size--];
        SiftDown(heap, size, 1, freq);
        const uint16_t j = heap[1];
        if (j < n) h->sortList[sorted++] = j;
        freq[node] = static_cast<uint16_t>(freq[i] + freq[j]);
        h->children[node - n][0] = i;
        h->children[node - n][1] = j;
        heap[1] = static_cast<uint16_t>(node);
        SiftDown(heap, size, 1, freq);
        ++node;
    }
    const uint32_t root = node - 1;

    // Leaf depths, clamped to the limit.
    uint16_t* lengthCount = h->lengthCount;
    for (uint32_t d = 0; d <= kMaxCodeLength; ++d) lengthCount[d] = 0;
    uint32_t top = 0;
    h->stack[top] = static_cast<uint16_t>(root);
    h->stackDepth[top++] = 0;
    while (top > 0) {
        --top;
        const uint32_t at = h->stack[top];
        const uint32_t depth = h->stackDepth[top];
        if (at < n) {
            ++lengthCount[depth < kMaxCodeLength ? depth : kMaxCodeLength];
            continue;
        }
        for (int side = 0; side < 2; ++side) {
            h->stack[top] = h->children[at - n][side];
            h->stackDepth[top++] = static_cast<uint16_t>(depth + 1);
        }
    }

    // Lengths clamped at 16 oversubscribe the code by K units of 2^-16;
    // each round removes one 16-bit code and splits the deepest shorter one.
    uint16_t excess = 0;
    for (uint32_t d = 1; d <= kMaxCodeLength; ++d)
        excess = static_cast<uint16_t>(excess + (lengthCount[d] << (kMaxCodeLength - d)));
    while (excess != 0) {
        --lengthCount[kMaxCodeLength];
        for (uint32_t d = kMaxCodeLength - 1; d >= 1; --d) {
            if (lengthCount[d] != 0) {
                --lengthCount[d];
                lengthCount[d + 1] = static_cast<uint16_t>(lengthCount[d + 1] + 2);
                break;
            }
        }
        --excess;
    }

    // The least frequent symbols take the longest codes.
    uint32_t next = 0;
    for (uint32_t d = kMaxCodeLength; d >= 1; --d)
        for (uint32_t k = 0; k < lengthCount[d]; ++k) lengths[h->sortList[next++]] = static_cast<uint8_t>(d);
    TP_ASSERT(next == sorted);

    if (makeCodes) MakeCanonicalCodes(n, lengths, codes, lengthCount);
}

void BuildPricingLengths(LzxEncoder* e) {
    BuildCodeLengths(&e->huffman, e->mainSymbols, e->mainFreq, e->mainLengths, e->mainCodes, false);
    BuildCodeLengths(&e->huffman, LZX_LENGTH_SYMBOLS, e->lengthFreq, e->lengthLengths, e->lengthCodes, false);
}

}  // namespace lzxenc

}  // namespace treepak
