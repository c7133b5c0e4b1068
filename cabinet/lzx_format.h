// Facts of the LZX bit stream shared by the compressor and the decoder:
// frames, window range, position slots, tree sizes and block types.
#pragma once

#include <cstdint>

namespace treepak {

inline constexpr uint32_t LZX_FRAME_SIZE = 32768;
inline constexpr uint32_t LZX_MIN_WINDOW_BITS = 15;
inline constexpr uint32_t LZX_MAX_WINDOW_BITS = 21;
inline constexpr uint32_t LZX_E8_TRANSLATION_SIZE = 12000000;
// E8 translation applies to the first 32768 frames of a stream only.
inline constexpr uint32_t LZX_E8_MAX_FRAMES = 32768;

inline constexpr uint32_t LZX_MIN_MATCH = 2;
inline constexpr uint32_t LZX_MAX_MATCH = 257;
inline constexpr uint32_t LZX_NUM_CHARS = 256;
inline constexpr uint32_t LZX_NUM_PRIMARY_LENGTHS = 7;  // header h = 7 means a length-tree code follows
inline constexpr uint32_t LZX_LENGTH_SYMBOLS = 249;
inline constexpr uint32_t LZX_ALIGNED_SYMBOLS = 8;
inline constexpr uint32_t LZX_ALIGNED_BITS = 3;
inline constexpr uint32_t LZX_PRETREE_SYMBOLS = 20;
inline constexpr uint32_t LZX_PRETREE_LENGTH_BITS = 4;
inline constexpr uint32_t LZX_MAX_SLOTS = 51;

inline constexpr uint32_t LZX_BLOCK_VERBATIM = 1;
inline constexpr uint32_t LZX_BLOCK_ALIGNED = 2;
inline constexpr uint32_t LZX_BLOCK_UNCOMPRESSED = 3;

// Footer bits of position slots 0..50: 0,0,0,0, then (s - 2) / 2 for slots
// 4..35, then 17 for every slot from 36 on.
inline constexpr uint8_t LzxFooterBits(uint32_t slot) {
    return slot < 4 ? 0 : slot < 36 ? static_cast<uint8_t>((slot - 2) / 2) : 17;
}

// First formatted offset of a slot (slots are laid end to end from 0).
inline constexpr uint32_t LzxSlotBase(uint32_t slot) {
    uint32_t base = 0;
    for (uint32_t s = 0; s < slot; ++s) base += 1u << LzxFooterBits(s);
    return base;
}

// Smallest slot count n >= 4 whose slots cover at least windowSize formatted
// offsets: 30 for 2^15, 32, 34, 36, 38, 42 and 50 for 2^21.
inline constexpr uint32_t LzxSlotCount(uint32_t windowSize) {
    uint32_t n = 4, covered = 4;
    while (covered < windowSize) covered += 1u << LzxFooterBits(n++);
    return n;
}

inline constexpr uint32_t LzxMainSymbols(uint32_t slotCount) { return LZX_NUM_CHARS + 8 * slotCount; }

static_assert(LzxSlotCount(1u << 15) == 30 && LzxSlotCount(1u << 21) == 50);
static_assert(LzxSlotBase(20) == 1024 && LzxSlotBase(36) == 262144 && LzxSlotBase(38) == 524288);

// Stream layout: field widths in bits and the pretree's symbols.
inline constexpr uint32_t LZX_E8_FLAG_BITS = 1;            // then two 16-bit halves of the size
inline constexpr uint32_t LZX_BLOCK_TYPE_BITS = 3;
inline constexpr uint32_t LZX_BLOCK_SIZE_FIELDS = 3;       // 8-bit fields, most significant first
inline constexpr uint32_t LZX_BLOCK_SIZE_FIELD_BITS = 8;
inline constexpr uint32_t LZX_UNCOMPRESSED_HEADER_BYTES = 12;  // R0, R1, R2 as 32-bit little-endian
inline constexpr uint32_t LZX_MAX_CODE_LENGTH = 16;
inline constexpr uint32_t LZX_LENGTH_DELTA_MODULUS = 17;   // pretree symbols 0..16: (prev - d) mod 17
inline constexpr uint32_t LZX_PRETREE_ZEROS_SHORT = 17;    // 4 bits z: z + 4 zeros
inline constexpr uint32_t LZX_PRETREE_ZEROS_LONG = 18;     // 5 bits z: z + 20 zeros
inline constexpr uint32_t LZX_PRETREE_SAME_RUN = 19;       // 1 bit z, delta symbol: z + 4 equal lengths
inline constexpr uint32_t LZX_ZEROS_SHORT_BITS = 4, LZX_ZEROS_SHORT_BASE = 4;
inline constexpr uint32_t LZX_ZEROS_LONG_BITS = 5, LZX_ZEROS_LONG_BASE = 20;
inline constexpr uint32_t LZX_SAME_RUN_BITS = 1, LZX_SAME_RUN_BASE = 4;
// Frames: the last six bytes of each frame are never translated, and an
// 0xE8 whose operand would reach into them is left alone.
inline constexpr uint32_t LZX_E8_TAIL_BYTES = 6;
inline constexpr uint32_t LZX_E8_OPERAND_BYTES = 4;

}  // namespace treepak
