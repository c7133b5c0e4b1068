// Creation, reset and the frame loop of the LZX decoder.
//
// Format facts relied on here: each frame's bit stream starts afresh at its
// first byte (the compressor pads every frame to a 16-bit word), except
// inside an uncompressed block, whose raw bytes run on into the next frame;
// an odd-sized uncompressed block's pad byte may therefore open a frame.
// Frames cover 32768 bytes each (the last of a folder fewer), so with W a
// multiple of 32768 a frame never wraps the ring; the frame loop still
// splits work at the ring's end so that odd frame sizes stay in bounds.
#include <algorithm>
#include <cstring>
#include <new>

#include "decompress/lzx/lzx_internal.h"

namespace treepak {

namespace lzxdec {
namespace {

bool DecodeFrameIntoWindow(LzxDecoder& d, FrameInput& in, uint32_t outputSize) {
    uint32_t remaining = outputSize;
    while (remaining > 0) {
        if (d.decodeState == kStateHeaderDue && !ReadBlockHeader(d, in)) return false;
        const uint32_t run =
            std::min({remaining, d.blockRemaining, d.windowSize - d.windowPosition});
        if (run > 0) {
            const bool ok = d.blockType == LZX_BLOCK_UNCOMPRESSED ? CopyUncompressedRun(d, in, run)
                                                                  : DecodeCompressedRun(d, in, run);
            if (!ok) return false;
            d.blockRemaining -= run;
            remaining -= run;
        }
        if (d.blockRemaining == 0) d.decodeState = kStateHeaderDue;
    }
    return true;
}

// Copies the frame's bytes, which end at windowPosition, out of the ring.
void CopyFrameOut(const LzxDecoder& d, uint8_t* output, uint32_t size) {
    const uint32_t start = (d.windowPosition - size) & d.windowMask;
    const uint32_t firstPart = std::min(size, d.windowSize - start);
    std::memcpy(output, d.window + start, firstPart);
    std::memcpy(output + firstPart, d.window, size - firstPart);
}

}  // namespace

LzxDecoder* LzxDecoderCreate(uint32_t windowSize, FEIAllocFn alloc, FEIFreeFn free,
                             const DecoderFileCallbacks* files) {
    if (!LzxWindowSupported(windowSize) || alloc == nullptr || free == nullptr) return nullptr;
    void* memory = alloc(sizeof(LzxDecoder));
    if (memory == nullptr) return nullptr;
    auto* d = new (memory) LzxDecoder{};
    d->window = static_cast<uint8_t*>(alloc(windowSize + kWindowExtra));
    if (d->window == nullptr) {
        free(memory);
        return nullptr;
    }
    std::memset(d->window, 0, windowSize + kWindowExtra);
    d->windowSize = windowSize;
    d->windowMask = windowSize - 1;
    d->slotCount = LzxSlotCount(windowSize);
    d->alloc = alloc;
    d->free = free;
    if (files != nullptr) d->files = *files;
    LzxDecoderReset(d);
    return d;
}

void LzxDecoderReset(LzxDecoder* d) {
    std::memset(d->window, 0, d->ringDirty);
    std::memset(d->window + d->windowSize, 0, kWindowExtra);
    d->ringDirty = 0;
    const uint32_t mainSymbols = LzxMainSymbols(d->slotCount);
    std::memset(d->mainLengths, 0, mainSymbols);
    std::memset(d->prevMainLengths, 0, mainSymbols);
    std::memset(d->lengthLengths, 0, LZX_LENGTH_SYMBOLS);
    std::memset(d->prevLengthLengths, 0, LZX_LENGTH_SYMBOLS);
    d->r0 = d->r1 = d->r2 = 1;
    d->windowPosition = 0;
    d->totalOutput = 0;
    d->decodeState = kStateHeaderDue;
    d->blockSize = d->blockRemaining = 0;
    d->blockType = 0;
    d->streamStart = 1;
    d->e8Size = 0;
    d->e8Offset = 0;
    d->frameCount = 0;
    d->rawInput = nullptr;
}

int32_t LzxDecodeFrame(LzxDecoder* d, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                       uint32_t outputSize) {
    const uint32_t frameIndex = d->frameCount++;
    if (d->decodeState == kStateFailed || outputSize > LZX_FRAME_SIZE || input == nullptr ||
        (output == nullptr && outputSize > 0)) {
        d->decodeState = kStateFailed;
        return -1;
    }
    // Every ring byte this frame may write, for the clearing at the next reset.
    d->ringDirty = static_cast<uint32_t>(std::min<uint64_t>(
        d->windowSize, std::max<uint64_t>(d->ringDirty, uint64_t{d->windowPosition} + outputSize)));

    FrameInput in{};
    in.bits.start = in.bits.origin = in.bits.next = input;
    in.bits.end = input + inputSize + kInputSlack;
    in.dataEnd = input + inputSize;
    in.dataBits = uint64_t{inputSize} * 8;
    in.readableBits = (uint64_t{inputSize} + kInputSlack) * 8;
    if (d->blockType == LZX_BLOCK_UNCOMPRESSED)
        d->rawInput = input;  // raw bytes (or the closed block's pad byte) open the frame
    else
        in.bits.Prime(input);

    if (!DecodeFrameIntoWindow(*d, in, outputSize)) {
        d->decodeState = kStateFailed;
        return -1;
    }
    if (outputSize > 0) CopyFrameOut(*d, output, outputSize);
    if (d->e8Size != 0 && frameIndex < LZX_E8_MAX_FRAMES)
        UntranslateE8(output, outputSize, d->e8Size, &d->e8Offset);
    d->totalOutput += outputSize;
    return static_cast<int32_t>(outputSize);
}

void LzxDecoderDestroy(LzxDecoder* d) {
    FEIFreeFn free = d->free;
    free(d->window);
    d->~LzxDecoder();
    free(d);
}

}  // namespace lzxdec

}  // namespace treepak
