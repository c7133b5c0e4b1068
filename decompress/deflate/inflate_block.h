// Decoding of one cabinet data block's DEFLATE data (RFC 1951) into the
// uncompressed buffer, which doubles as the history ring shared with the
// previous block of the folder. The block is decoded in the decoder's own
// window, right after the history, and then handed out. The window keeps
// the blocks it decoded, so the history is copied in from the ring only when
// the window cannot vouch for it, and moved back to the window's start once
// every few blocks.
#pragma once

#include <cstdint>

#include "decompress/deflate/inflate_codes.h"

namespace treepak {

// Whole blocks the window holds after the history before the history has
// to move back to its start: one move of the history per this many blocks.
inline constexpr uint32_t kWindowBlocks = 2;
inline constexpr uint32_t kWindowBytes = (1 + kWindowBlocks) * DEFLATE_WINDOW_SIZE;

// Storage of one decoder, allocated once when it is created. The
// code-length table of a dynamic block is built in the literal/length area
// before that block's own literal/length table replaces it.
struct DeflateDecoderState {
    DecodeTables tables;
    // The buffer whose ring the window holds, as the last decode left it,
    // in the ring's order right before `blockStart`; nullptr when the window
    // holds no ring (after create or reset, after a block that did not fill
    // the ring, after an error).
    const uint8_t* ringOf;
    uint32_t blockStart;
    // The ring as it was before the data block, then the block being
    // decoded: a match that reaches into the previous block and on into this
    // one reads one contiguous stretch, as it would in the ring. The fast
    // loop writes up to kFastSpillBytes past the block.
    uint8_t window[kWindowBytes + kFastSpillBytes];
};

// Decodes DEFLATE blocks from input[0, inputSize) into buffer[0, room) until
// a block with the final bit ends or the room is used up (even inside a
// block; the rest of the input is then ignored). The first `ringSize` bytes
// of `buffer` are the history ring (room <= ringSize <= DEFLATE_WINDOW_SIZE;
// one ring size for the life of `state`), and must still hold what the last
// call left there unless ForgetRing was called since; the bytes past the
// block are left as they were. Stores the number of bytes produced, also on
// failure. Returns false on any data error.
bool InflateDataBlock(DeflateDecoderState& state, const uint8_t* input, uint32_t inputSize,
                      uint8_t* buffer, uint32_t room, uint32_t ringSize, uint32_t* produced);

// The next block takes its history from the ring buffer itself (whose
// bytes the caller may have changed).
inline void ForgetRing(DeflateDecoderState& state) { state.ringOf = nullptr; }

}  // namespace treepak
