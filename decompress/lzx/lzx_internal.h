// Pieces of the LZX decoder shared between its files: the per-frame input,
// the decode tables of the record, the block header and the block bodies.
#pragma once

#include <cstdint>

#include "decompress/lzx/lzx_bit_reader.h"
#include "decompress/lzx/lzx_decoder_state.h"
#include "decompress/lzx/lzx_huffman.h"

namespace treepak {

namespace lzxdec {

// One frame's compressed bytes: `bits` reads words from them (and their
// slack), `dataEnd` bounds raw bytes of uncompressed blocks, which must lie
// inside the data proper.
struct FrameInput {
    BitReader bits;
    const uint8_t* dataEnd;
    uint64_t dataBits;      // 8 * data size: no item may start at or past it
    uint64_t readableBits;  // 8 * (data size + slack): no header or tree may end past it

    bool HeaderOverrun() const { return bits.Consumed() > readableBits; }
};

inline DecodeTable MainTable(LzxDecoder& d) {
    return {d.mainTable, d.mainOverflow, d.mainLengths, kMainTableBits, kMainCapacity};
}
inline DecodeTable LengthTable(LzxDecoder& d) {
    return {d.lengthTable, d.lengthOverflow, d.lengthLengths, kLengthTableBits, kLengthCapacity};
}
inline DecodeTable AlignedTable(LzxDecoder& d) {
    return {d.alignedTable, nullptr, d.alignedLengths, kAlignedTableBits, 0};
}

// Reads the next block header (with the stream header before the first
// one) and leaves the decoder inside the block. False on malformed input.
bool ReadBlockHeader(LzxDecoder& d, FrameInput& in);

// Produce `count` bytes of the current block at d.windowPosition, which
// must not pass the end of the ring. False on malformed input.
bool DecodeCompressedRun(LzxDecoder& d, FrameInput& in, uint32_t count);
bool CopyUncompressedRun(LzxDecoder& d, FrameInput& in, uint32_t count);

}  // namespace lzxdec

}  // namespace treepak
