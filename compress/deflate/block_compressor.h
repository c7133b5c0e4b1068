// Compressing one cabinet data block with the block deflate compressor.
#pragma once

#include <cstdint>

#include "compress/deflate/deflate_state.h"

namespace treepak {

namespace blockdeflate {

// Compresses the inputSize bytes of one data block into "CK" + one complete
// deflate stream. With history the block lies at window[32768..] and the
// previous full block at window[0..32767]; without, the block lies at
// window[0..]. On return the block lies at window[0..] either way, ready to
// be the next call's history. False when the output did not fit
// outputCapacity; *outputSize is then the number of bytes that did.
bool CompressBlock(DeflateState& s, uint8_t* window, uint16_t* head, uint16_t* chain, uint32_t inputSize,
                   bool history, uint8_t* output, uint32_t outputCapacity, uint32_t* outputSize);

}  // namespace blockdeflate

}  // namespace treepak
