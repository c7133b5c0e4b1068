// Decoding of one cabinet data block's DEFLATE data (RFC 1951) into the
// uncompressed buffer, which doubles as the history ring shared with the
// previous block of the folder. The block is decoded in the decoder's own
// window, right after a copy of the ring, and then handed out.
#pragma once

#include <cstdint>

#include "decompress/deflate/inflate_tables.h"
#include "decompress/deflate/match_copy.h"

namespace treepak {

// Storage of one decoder, allocated once when it is created. The
// code-length table of a dynamic block is built in the literal/length area
// before that block's own literal/length table replaces it.
struct DeflateDecoderState {
    DecodeTables tables;
    // The ring as it was before the data block (its last bytes at
    // kWindowBlockStart), then the block being decoded: a match that reaches
    // into the previous block and on into this one reads one contiguous
    // stretch, as it would in the ring. Fast copies write up to
    // kCopyOverrunBytes past the block.
    uint8_t window[2 * DEFLATE_WINDOW_SIZE + matchcopy::kCopyOverrunBytes];
};
inline constexpr uint32_t kWindowBlockStart = DEFLATE_WINDOW_SIZE;

// Decodes DEFLATE blocks from input[0, inputSize) into buffer[0, room) until
// a block with the final bit ends or the room is used up (even inside a
// block; the rest of the input is then ignored). The first `ringSize` bytes
// of `buffer` are the history ring (room <= ringSize <= DEFLATE_WINDOW_SIZE);
// the bytes past the block are left as they were. Stores the number of
// bytes produced, also on failure. Returns false on any data error.
bool InflateDataBlock(DeflateDecoderState& state, const uint8_t* input, uint32_t inputSize,
                      uint8_t* buffer, uint32_t room, uint32_t ringSize, uint32_t* produced);

}  // namespace treepak
