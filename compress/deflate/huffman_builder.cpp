// Length-limited Huffman codes for one deflate block.
//
// The used symbols enter a binary min-heap (count, then smaller subtree
// depth) in symbol order; the two least nodes are joined until one is left.
// Every node whose depth passes the length limit is clipped to it and
// counted as overflow; the length counts are then repaired two overflowing
// nodes at a time, and the repaired lengths are dealt out again, longest
// first, in the order in which the heap released the leaves (increasing
// count). The dynamic and fixed bit costs of the block grow by every leaf's
// count times its code length plus extra bits.
#include "compress/deflate/huffman_builder.h"


#include "cabinet/tp_assert.h"
#include "compress/deflate/code_tables.h"

namespace treepak {

namespace blockdeflate {

namespace {

// The heap orders nodes by count, then by depth, a node not above one it
// equals in both: one comparison of count << 8 | depth.
constexpr uint32_t kKeyDepthBits = 8;
constexpr uint32_t kMaxKeyCount = (1u << (32 - kKeyDepthBits)) - 1;

uint32_t HeapKey(uint32_t count, uint32_t depth) {
    TP_ASSERT(count <= kMaxKeyCount && depth < (1u << kKeyDepthBits));
    return count << kKeyDepthBits | depth;
}

// Restores the heap property from slot k down. Done bottom-up: the lesser
// children (the right one on a tie) all move up one level along their path
// to the bottom, then the displaced node climbs back from there while it is
// not greater than the node above its slot. Keys never decrease along the
// path, so it settles where the usual top-down sift would have put it (an
// element equal to its lesser child staying above it), with one
// hard-to-predict comparison per level fewer.
void SiftDown(DeflateState& s, uint32_t k) {
    uint16_t* heap = s.heap;
    uint32_t* key = s.heapKey;
    const uint32_t length = s.heapLength;
    const uint16_t v = heap[k];
    const uint32_t vKey = key[k];
    const uint32_t top = k;
    uint32_t j = k << 1;
    while (j < length) {
        j += key[j + 1] <= key[j];
        heap[k] = heap[j];
        key[k] = key[j];
        k = j;
        j <<= 1;
    }
    if (j == length) {  // a last node with only a left child
        heap[k] = heap[j];
        key[k] = key[j];
        k = j;
    }
    while (k > top && vKey <= key[k >> 1]) {
        heap[k] = heap[k >> 1];
        key[k] = key[k >> 1];
        k >>= 1;
    }
    heap[k] = v;
    key[k] = vKey;
}

uint32_t ExtraBitsOf(const AlphabetInfo& alphabet, uint32_t n) {
    return n >= alphabet.extraBase ? alphabet.extraBits[n - alphabet.extraBase] : 0;
}

// Gives every node its depth, clipped to the limit, adds the leaves' costs,
// and repairs the lengths when clipping happened. heap[heapMax..] holds the
// nodes from the root outwards, each parent before its children.
void AssignLengths(DeflateState& s, HuffmanTree& tree, const AlphabetInfo& alphabet) {
    const int maxCode = tree.maxCode;
    const uint32_t maxLength = alphabet.maxLength;
    uint32_t overflow = 0;
    for (auto& c : s.lengthCount) c = 0;

    tree.len[s.heap[s.heapMax]] = 0;  // the root
    for (uint32_t h = s.heapMax + 1; h < kHeapSize; ++h) {
        uint32_t n = s.heap[h];
        uint32_t bits = tree.len[tree.parent[n]] + 1u;
        if (bits > maxLength) {
            bits = maxLength;
            ++overflow;
        }
        tree.len[n] = static_cast<uint16_t>(bits);
        if (static_cast<int>(n) > maxCode) continue;  // internal node

        ++s.lengthCount[bits];
        uint32_t extra = ExtraBitsOf(alphabet, n);
        uint32_t f = tree.freq[n];
        s.dynamicCost += static_cast<int64_t>(f) * (bits + extra);
        if (alphabet.fixedLens) s.fixedCost += static_cast<int64_t>(f) * (alphabet.fixedLens[n] + extra);
    }
    if (overflow == 0) return;

    // Each step moves one leaf from the deepest level below the limit down
    // one level, where it and an overflowing node become brothers.
    do {
        uint32_t bits = maxLength - 1;
        while (s.lengthCount[bits] == 0) --bits;
        --s.lengthCount[bits];
        s.lengthCount[bits + 1] += 2;
        --s.lengthCount[maxLength];
        overflow = overflow >= 2 ? overflow - 2 : 0;
    } while (overflow > 0);

    uint32_t h = kHeapSize;
    for (uint32_t bits = maxLength; bits != 0; --bits) {
        uint32_t n = s.lengthCount[bits];
        while (n != 0) {
            uint32_t m = s.heap[--h];
            if (static_cast<int>(m) > maxCode) continue;
            if (tree.len[m] != bits) {
                s.dynamicCost += (static_cast<int64_t>(bits) - tree.len[m]) * tree.freq[m];
                tree.len[m] = static_cast<uint16_t>(bits);
            }
            --n;
        }
    }
}

}  // namespace

void BuildHuffmanTree(DeflateState& s, HuffmanTree& tree, const AlphabetInfo& alphabet) {
    const uint32_t elems = alphabet.elems;
    TP_ASSERT(2 * elems + 1 <= kHeapSize);
    int maxCode = -1;
    s.heapLength = 0;
    s.heapMax = kHeapSize;

    for (uint32_t n = 0; n < elems; ++n) {
        if (tree.freq[n] != 0) {
            s.heap[++s.heapLength] = static_cast<uint16_t>(n);
            s.heapKey[s.heapLength] = HeapKey(tree.freq[n], 0);
            maxCode = static_cast<int>(n);
            s.depth[n] = 0;
        } else {
            tree.len[n] = 0;
        }
    }

    // A code needs two symbols: add dummy ones with count 1. Their codes are
    // sent but never used, so their cost is taken back.
    while (s.heapLength < 2) {
        uint32_t node = maxCode < 2 ? static_cast<uint32_t>(++maxCode) : 0;
        s.heap[++s.heapLength] = static_cast<uint16_t>(node);
        s.heapKey[s.heapLength] = HeapKey(1, 0);
        tree.freq[node] = 1;
        s.depth[node] = 0;
        s.dynamicCost -= 1;
        if (alphabet.fixedLens) s.fixedCost -= alphabet.fixedLens[node];
    }
    tree.maxCode = maxCode;

    for (uint32_t n = s.heapLength / 2; n >= 1; --n) SiftDown(s, n);

    uint32_t node = elems;  // next internal node
    do {
        uint32_t n = s.heap[kHeapTop];
        s.heapKey[kHeapTop] = s.heapKey[s.heapLength];
        s.heap[kHeapTop] = s.heap[s.heapLength--];
        SiftDown(s, kHeapTop);
        uint32_t m = s.heap[kHeapTop];

        // Released nodes collect at the top of the heap array, least first
        // at the highest index.
        s.heap[--s.heapMax] = static_cast<uint16_t>(n);
        s.heap[--s.heapMax] = static_cast<uint16_t>(m);

        tree.freq[node] = tree.freq[n] + tree.freq[m];
        s.depth[node] = static_cast<uint8_t>((s.depth[n] >= s.depth[m] ? s.depth[n] : s.depth[m]) + 1);
        tree.parent[n] = tree.parent[m] = static_cast<uint16_t>(node);
        s.heapKey[kHeapTop] = HeapKey(tree.freq[node], s.depth[node]);
        s.heap[kHeapTop] = static_cast<uint16_t>(node++);
        SiftDown(s, kHeapTop);
    } while (s.heapLength >= 2);
    s.heap[--s.heapMax] = s.heap[kHeapTop];

    AssignLengths(s, tree, alphabet);
    AssignCanonicalCodes(tree.len, maxCode, s.lengthCount, tree.code);
}

}  // namespace blockdeflate

}  // namespace treepak
