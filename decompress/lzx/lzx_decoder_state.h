// The LZX decoder's state record and its four operations.
//
// Format facts relied on here:
// - One stream per folder: a 1-bit E8 flag (plus a 32-bit translation size),
//   then blocks of type 1 (verbatim), 2 (aligned offset) or 3 (uncompressed),
//   each with a 24-bit uncompressed size. Blocks run across frames.
// - A frame is one data block of at most 32768 uncompressed bytes; its bits
//   start at its first byte (16-bit little-endian words, most significant bit
//   first), except inside an uncompressed block, where raw bytes continue.
// - Matches have lengths 2..257 and never cross a frame end; distances reach
//   back up to the window size W, so the window is a ring of W bytes. Frames
//   are 32768 bytes and W a multiple of that, so no frame wraps the ring.
// - R0, R1, R2 start at 1 in each folder; trees are delta coded against the
//   lengths of the last verbatim or aligned block (0 after a reset).
#pragma once

#include <cstdint>

#include "cabinet/lzx_format.h"
#include "decompress/decoder.h"

namespace treepak {

namespace lzxdec {

// Direct-lookup widths: most codes resolve with one table read; longer
// codes continue through a binary overflow tree one bit at a time.
inline constexpr uint32_t kMainTableBits = 10;
inline constexpr uint32_t kLengthTableBits = 8;
inline constexpr uint32_t kPretreeTableBits = 8;
inline constexpr uint32_t kAlignedTableBits = 7;  // aligned lengths are 3-bit, so never longer

inline constexpr uint32_t kMainCapacity = LzxMainSymbols(LZX_MAX_SLOTS + 1);  // 672
inline constexpr uint32_t kLengthCapacity = 252;
static_assert(kLengthCapacity >= LZX_LENGTH_SYMBOLS);

// The ring's first kMirrorBytes are mirrored right after its end, so a match
// source that runs past the end (at most 256 bytes, the longest match minus
// one) reads the wrapped bytes without a wrap test.
inline constexpr uint32_t kMirrorBytes = LZX_MAX_MATCH;
inline constexpr uint32_t kWindowExtra = 261;  // mirror plus 4 spare bytes
static_assert(kWindowExtra >= kMirrorBytes);

// The caller's compressed buffer holds at least this many readable bytes
// after a frame's data; the bit reader may fetch them (and reads zeros past
// them without touching memory).
inline constexpr uint32_t kInputSlack = 4;
static_assert(DECODER_BUFFER_SLACK >= kInputSlack);

enum DecodeState : uint32_t {
    kStateFailed = 0,       // a frame failed; only a reset makes the decoder usable again
    kStateHeaderDue = 1,
    kStateInBlock = 2,
};

struct LzxDecoder {
    uint8_t* window;  // W ring bytes, then the mirror
    uint32_t windowSize;
    uint32_t windowMask;
    uint32_t r0, r1, r2;  // repeated distances

    int16_t mainTable[1u << kMainTableBits];
    int16_t lengthTable[1u << kLengthTableBits];
    uint8_t mainLengths[kMainCapacity];
    uint8_t lengthLengths[kLengthCapacity];
    int16_t alignedTable[1u << kAlignedTableBits];
    uint8_t alignedLengths[LZX_ALIGNED_SYMBOLS];
    int16_t mainOverflow[2 * kMainCapacity];
    int16_t lengthOverflow[2 * kLengthCapacity];

    uint32_t totalOutput;  // bytes produced since the reset
    uint8_t prevMainLengths[kMainCapacity];
    uint8_t prevLengthLengths[kLengthCapacity];

    uint32_t slotCount;
    uint32_t streamStart;  // 1 until the stream header has been read
    uint32_t windowPosition;  // next output position in the ring, 0..W-1
    uint32_t e8Size;    // 0 = no translation
    uint32_t e8Offset;  // stream offset of the next output byte
    uint32_t frameCount;
    uint32_t blockSize;
    uint32_t blockRemaining;
    uint32_t blockType;  // 0 before the first block and after an uncompressed block is closed
    uint32_t decodeState;
    const uint8_t* rawInput;  // inside an uncompressed block: the next raw byte of the frame

    uint32_t ringDirty;  // ring bytes written since the window was last cleared (at most W)

    FEIAllocFn alloc;
    FEIFreeFn free;
    DecoderFileCallbacks files;  // handed over by the interface; kept, not used
};

inline constexpr bool LzxWindowSupported(uint32_t windowSize) {
    return windowSize >= (1u << LZX_MIN_WINDOW_BITS) && windowSize <= (1u << LZX_MAX_WINDOW_BITS) &&
           (windowSize & (windowSize - 1)) == 0;
}

// Windows of 2^15..2^21 bytes only; anything else (or a failed allocation)
// gives nullptr. The window starts out cleared.
LzxDecoder* LzxDecoderCreate(uint32_t windowSize, FEIAllocFn alloc, FEIFreeFn free,
                             const DecoderFileCallbacks* files);

// Starts a new stream (folder). The window is cleared again, so a match that
// reaches before the folder's first byte always reads zeros.
void LzxDecoderReset(LzxDecoder* decoder);

// Decodes one frame: `input` holds inputSize bytes followed by kInputSlack
// readable bytes; outputSize (at most LZX_FRAME_SIZE) bytes go to `output`.
// Returns outputSize, or -1 when the frame cannot be decoded (after which
// only a reset makes the decoder usable).
int32_t LzxDecodeFrame(LzxDecoder* decoder, const uint8_t* input, uint32_t inputSize,
                       uint8_t* output, uint32_t outputSize);

void LzxDecoderDestroy(LzxDecoder* decoder);

// Undoes the compressor's call-address translation on one frame of output.
// `*e8Offset` is the stream offset of data[0]; it advances by size.
void UntranslateE8(uint8_t* data, uint32_t size, uint32_t e8Size, uint32_t* e8Offset);

}  // namespace lzxdec

}  // namespace treepak
