// Block headers and tree sections.
//
// Format facts relied on here:
// - A block starts with 3 bits of type and a 24-bit size; the first block of
//   a stream is preceded by the E8 flag bit and, when set, the 32-bit
//   translation size in two 16-bit halves.
// - Aligned blocks send 8 aligned-tree lengths of 3 bits; verbatim and
//   aligned blocks then send three tree sections: main symbols 0..255, the
//   8 * slotCount match headers, and the 249 length-tree symbols.
// - A section is 20 pretree lengths of 4 bits, then pretree symbols:
//   0..16 give (prev - d) mod 17; 17 and 18 give runs of zeros; 19 gives a
//   run of one repeated delta. Runs may pass the section's end and are cut.
// - An uncompressed block pads to the next 16-bit word (1 to 16 bits),
//   stores R0, R1, R2 as 32-bit little-endian values, then its raw bytes and
//   one pad byte when its size is odd.
#include <cstring>

#include "cabinet/bytes.h"

#include "decompress/lzx/lzx_internal.h"

namespace treepak {

namespace lzxdec {
namespace {

constexpr uint32_t kWordBytes = kWordBits / 8;

uint8_t ApplyDelta(uint8_t prev, uint32_t delta) {
    return static_cast<uint8_t>((prev + LZX_LENGTH_DELTA_MODULUS - delta) % LZX_LENGTH_DELTA_MODULUS);
}

bool ReadTreeLengths(FrameInput& in, uint32_t count, const uint8_t* prev, uint8_t* cur) {
    int16_t table[1u << kPretreeTableBits];
    int16_t overflow[2 * LZX_PRETREE_SYMBOLS];
    uint8_t lengths[LZX_PRETREE_SYMBOLS];
    for (uint8_t& len : lengths) len = static_cast<uint8_t>(in.bits.Read(LZX_PRETREE_LENGTH_BITS));
    if (in.HeaderOverrun()) return false;
    const DecodeTable pretree{table, overflow, lengths, kPretreeTableBits, LZX_PRETREE_SYMBOLS};
    if (!BuildDecodeTable(pretree, LZX_PRETREE_SYMBOLS)) return false;

    uint32_t i = 0;
    while (i < count) {
        in.bits.Refill();
        const uint32_t symbol = DecodeSymbol(pretree, in.bits);
        if (symbol < LZX_LENGTH_DELTA_MODULUS) {
            cur[i] = ApplyDelta(prev[i], symbol);
            ++i;
        } else {
            uint32_t run;
            uint8_t value = 0;
            if (symbol == LZX_PRETREE_ZEROS_SHORT) {
                run = LZX_ZEROS_SHORT_BASE + in.bits.Read(LZX_ZEROS_SHORT_BITS);
            } else if (symbol == LZX_PRETREE_ZEROS_LONG) {
                run = LZX_ZEROS_LONG_BASE + in.bits.Read(LZX_ZEROS_LONG_BITS);
            } else {
                run = LZX_SAME_RUN_BASE + in.bits.Read(LZX_SAME_RUN_BITS);
                in.bits.Refill();
                const uint32_t delta = DecodeSymbol(pretree, in.bits);
                if (delta >= LZX_LENGTH_DELTA_MODULUS) return false;
                value = ApplyDelta(prev[i], delta);
            }
            if (run > count - i) run = count - i;
            std::memset(cur + i, value, run);
            i += run;
        }
        if (in.HeaderOverrun()) return false;
    }
    return true;
}

bool ReadTrees(LzxDecoder& d, FrameInput& in) {
    const uint32_t headerSymbols = LzxMainSymbols(d.slotCount) - LZX_NUM_CHARS;
    std::memcpy(d.prevMainLengths, d.mainLengths, sizeof d.mainLengths);
    std::memcpy(d.prevLengthLengths, d.lengthLengths, sizeof d.lengthLengths);
    if (!ReadTreeLengths(in, LZX_NUM_CHARS, d.prevMainLengths, d.mainLengths)) return false;
    if (!ReadTreeLengths(in, headerSymbols, d.prevMainLengths + LZX_NUM_CHARS,
                         d.mainLengths + LZX_NUM_CHARS))
        return false;
    if (!BuildDecodeTable(MainTable(d), LZX_NUM_CHARS + headerSymbols)) return false;
    if (!ReadTreeLengths(in, LZX_LENGTH_SYMBOLS, d.prevLengthLengths, d.lengthLengths)) return false;
    return BuildDecodeTable(LengthTable(d), LZX_LENGTH_SYMBOLS);
}

bool ReadAlignedTree(LzxDecoder& d, FrameInput& in) {
    for (uint8_t& len : d.alignedLengths) len = static_cast<uint8_t>(in.bits.Read(LZX_ALIGNED_BITS));
    if (in.HeaderOverrun()) return false;
    return BuildDecodeTable(AlignedTable(d), LZX_ALIGNED_SYMBOLS);
}

// The padding runs to the first word boundary strictly after the bits
// consumed so far (words count from where the bit stream resumed, which is
// an odd offset after a pad byte); R0..R2 and the raw bytes follow it.
bool ReadUncompressedHeader(LzxDecoder& d, FrameInput& in) {
    const uint64_t consumed = in.bits.ConsumedSincePrime();
    const uint64_t rawOffset = (consumed / kWordBits + 1) * kWordBytes;
    const uint64_t available = static_cast<uint64_t>(in.dataEnd - in.bits.origin);
    if (rawOffset + LZX_UNCOMPRESSED_HEADER_BYTES > available) return false;
    const uint8_t* p = in.bits.origin + rawOffset;
    d.r0 = cab::LoadLe32(p);
    d.r1 = cab::LoadLe32(p + 4);
    d.r2 = cab::LoadLe32(p + 8);
    d.rawInput = p + LZX_UNCOMPRESSED_HEADER_BYTES;
    return true;
}

}  // namespace

bool ReadBlockHeader(LzxDecoder& d, FrameInput& in) {
    if (d.blockType == LZX_BLOCK_UNCOMPRESSED) {
        // Close the uncompressed block: skip its pad byte (which may open
        // this frame) and resume the bit stream on the next byte.
        const uint8_t* resume = d.rawInput;
        if ((d.blockSize & 1) && resume < in.dataEnd) ++resume;
        d.blockType = 0;
        in.bits.Prime(resume);
    }
    if (d.streamStart) {
        d.streamStart = 0;
        d.e8Size = 0;
        if (in.bits.Read(LZX_E8_FLAG_BITS)) {
            const uint32_t high = in.bits.Read(kWordBits);
            d.e8Size = (high << kWordBits) | in.bits.Read(kWordBits);
        }
    }
    d.blockType = in.bits.Read(LZX_BLOCK_TYPE_BITS);
    uint32_t size = 0;
    for (uint32_t i = 0; i < LZX_BLOCK_SIZE_FIELDS; ++i)
        size = (size << LZX_BLOCK_SIZE_FIELD_BITS) | in.bits.Read(LZX_BLOCK_SIZE_FIELD_BITS);
    d.blockSize = d.blockRemaining = size;
    if (in.HeaderOverrun()) return false;

    switch (d.blockType) {
        case LZX_BLOCK_ALIGNED:
            if (!ReadAlignedTree(d, in)) return false;
            [[fallthrough]];
        case LZX_BLOCK_VERBATIM:
            if (!ReadTrees(d, in)) return false;
            break;
        case LZX_BLOCK_UNCOMPRESSED:
            if (!ReadUncompressedHeader(d, in)) return false;
            break;
        default:
            return false;
    }
    d.decodeState = kStateInBlock;
    return true;
}

}  // namespace lzxdec

}  // namespace treepak
