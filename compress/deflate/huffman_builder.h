// Builds the length-limited Huffman code of one alphabet from its counts and
// adds the code's cost to the block's running dynamic and fixed costs.
#pragma once

#include <cstdint>

#include "compress/deflate/deflate_state.h"

namespace treepak {

namespace blockdeflate {

struct AlphabetInfo {
    uint32_t elems;            // symbols in the alphabet
    uint32_t maxLength;        // code length limit
    const uint8_t* extraBits;  // extra bits of the symbols from extraBase on
    uint32_t extraBase;
    const uint16_t* fixedLens;  // the fixed code's lengths, or nullptr
};

// Reads tree.freq of the symbols; fills tree.len, tree.code and tree.maxCode.
// Symbols without count get length 0, except the dummies that make a code of
// at least two symbols (their tree.freq becomes 1).
void BuildHuffmanTree(DeflateState& s, HuffmanTree& tree, const AlphabetInfo& alphabet);

}  // namespace blockdeflate

}  // namespace treepak
