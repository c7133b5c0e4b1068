// DEFLATE (RFC 1951) code tables shared by the block-deflate compressor and
// decoder.
#pragma once

#include <cstdint>

namespace treepak {

inline constexpr uint32_t DEFLATE_WINDOW_SIZE = 32768;
inline constexpr uint32_t DEFLATE_MIN_MATCH = 3;
inline constexpr uint32_t DEFLATE_MAX_MATCH = 258;
inline constexpr uint32_t DEFLATE_END_OF_BLOCK = 256;
inline constexpr uint32_t DEFLATE_LITLEN_SYMBOLS = 288;  // 286 usable, 2 reserved
inline constexpr uint32_t DEFLATE_DIST_SYMBOLS = 32;     // 30 usable, 2 reserved
inline constexpr uint32_t DEFLATE_CODELEN_SYMBOLS = 19;
inline constexpr uint32_t DEFLATE_MAX_CODE_BITS = 15;
inline constexpr uint32_t DEFLATE_MAX_CODELEN_BITS = 7;

inline constexpr uint32_t DEFLATE_BLOCK_STORED = 0;
inline constexpr uint32_t DEFLATE_BLOCK_FIXED = 1;
inline constexpr uint32_t DEFLATE_BLOCK_DYNAMIC = 2;

// Length codes 257..285: base length and extra bits.
inline constexpr uint16_t kDeflateLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,
                                                    15, 17, 19, 23, 27, 31, 35, 43, 51,  59,
                                                    67, 83, 99, 115, 131, 163, 195, 227, 258};
inline constexpr uint8_t kDeflateLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance codes 0..29: base distance and extra bits.
inline constexpr uint16_t kDeflateDistBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,
                                                  17,   25,   33,   49,   65,   97,    129,   193,
                                                  257,  385,  513,  769,  1025, 1537,  2049,  3073,
                                                  4097, 6145, 8193, 12289, 16385, 24577};
inline constexpr uint8_t kDeflateDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                  6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// Order in which code-length code lengths are sent.
inline constexpr uint8_t kDeflateCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

}  // namespace treepak
