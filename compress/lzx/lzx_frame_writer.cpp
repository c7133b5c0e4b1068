// Frames and raw bytes. A frame is the output for 32768 uncompressed bytes
// of the folder (fewer for its last), padded to a 16-bit word; it leaves
// through the output callback and the buffer starts again.
//
// Format facts: an uncompressed block pads the bit stream with 1 to 16 zero
// bits to a word boundary, stores R0, R1, R2 as 32-bit little-endian values
// and then the raw bytes, plus one zero byte when its size is odd; the bit
// stream resumes on the next word. A frame end may fall between raw bytes,
// so an odd block ending on a frame end puts its pad byte into the next
// frame, and at a folder's end that byte is a frame covering 0 bytes.
#include "cabinet/tp_assert.h"
#include "cabinet/bytes.h"
#include "compress/lzx/lzx_encoder.h"

namespace treepak {

namespace lzxenc {
namespace {

// Raw stores are checked against the whole buffer: the output must never be
// written past it, and a frame that would not fit is reported as overflow.
inline void PutRawByte(LzxEncoder* e, uint8_t byte) {
    if (e->outPtr >= e->outBuffer + kOutBufferSize) {
        e->outputOverflow = 1;
        e->outPtr = e->outBuffer;
    }
    *e->outPtr++ = byte;
}

void PutRawWord32(LzxEncoder* e, uint32_t value) {
    uint8_t bytes[4];
    cab::StoreLe32(bytes, value);
    for (uint8_t b : bytes) PutRawByte(e, b);
}

}  // namespace

void WriteUncompressedBlock(LzxEncoder* e, uint32_t start, uint32_t size) {
    PutBits(e, static_cast<uint32_t>(e->bitsFree - kWordBits), 0);
    TP_ASSERT(e->bitsFree == kBitBufferBits);
    PutRawWord32(e, e->outR0);
    PutRawWord32(e, e->outR1);
    PutRawWord32(e, e->outR2);
    TP_ASSERT(start >= e->windowOrigin && start - e->windowOrigin + size <= e->windowSize + e->slideSize);
    const uint8_t* bytes = WindowAt(e, start);
    for (uint32_t i = 0; i < size; ++i) {
        PutRawByte(e, bytes[i]);
        if (++e->frameBytes == LZX_FRAME_SIZE) {
            FlushFrame(e);
            e->splitCount = 0;
        }
    }
    if (size & 1) PutRawByte(e, 0);
    e->bitsFree = kBitBufferBits;
    e->bitBuffer = 0;
}

void FlushFrame(LzxEncoder* e) {
    if (e->bitsFree < kBitBufferBits) PutBits(e, static_cast<uint32_t>(e->bitsFree - kWordBits), 0);
    const uint32_t held = static_cast<uint32_t>(e->outPtr - e->outBuffer);
    if (held >= 1) e->outputCallback(e->callbackContext, e->outBuffer, held, e->frameBytes);
    e->frameBytes = 0;
    e->outPtr = e->outBuffer;
    e->bitsFree = kBitBufferBits;
    e->bitBuffer = 0;
}

}  // namespace lzxenc

}  // namespace treepak
