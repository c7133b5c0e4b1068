// Entry points of the block deflate compressor behind the writer engine.
//
// A handle owns every buffer the compressor uses, all taken from the
// engine's allocation callback at creation: two tally buffers of 32768
// bytes, the chain and head tables (32768 16-bit entries each), the
// 65536-byte window and the working state. Consecutive full blocks of a
// folder are chained: after a call that compressed exactly 32768 bytes the
// next call may match into them, until a reset starts a new folder.
#include <cstdint>
#include <cstring>

#include "cabinet/tp_assert.h"
#include "compress/compressor.h"
#include "compress/deflate/block_compressor.h"
#include "compress/deflate/deflate_handle.h"
#include "compress/deflate/deflate_state.h"

namespace treepak {

namespace {

using namespace blockdeflate;

constexpr uint32_t kHashTableBytes = kHashSize * sizeof(uint16_t);
static_assert(kChainSize == kHashSize);

void* AllocZeroed(FCIAllocFn alloc, uint32_t size) {
    void* p = alloc(size);
    if (p != nullptr) std::memset(p, 0, size);
    return p;
}

void ReleaseBuffers(DeflateHandle* h) {
    FCIFreeFn release = h->free;
    if (h->literalBuffer) release(h->literalBuffer);
    if (h->distanceBuffer) release(h->distanceBuffer);
    if (h->chain) release(h->chain);
    if (h->head) release(h->head);
    if (h->window) release(h->window);
    if (h->state) release(h->state);
}

}  // namespace

int DeflateCreate(uint32_t* blockSize, FCIAllocFn alloc, FCIFreeFn free, uint32_t* maxOutputSize, void** handle) {
    if (handle != nullptr) *handle = nullptr;
    if (blockSize == nullptr || alloc == nullptr || free == nullptr || maxOutputSize == nullptr ||
        handle == nullptr) {
        return COMPRESSOR_BAD_PARAMETER;
    }
    if (*blockSize == 0 || *blockSize > CAB_BLOCK_SIZE) *blockSize = CAB_BLOCK_SIZE;

    auto* h = static_cast<DeflateHandle*>(AllocZeroed(alloc, sizeof(DeflateHandle)));
    if (h == nullptr) return COMPRESSOR_NO_MEMORY;
    h->free = free;
    h->blockSize = *blockSize;
    h->state = static_cast<DeflateState*>(AllocZeroed(alloc, sizeof(DeflateState)));
    h->literalBuffer = static_cast<uint8_t*>(AllocZeroed(alloc, kTallyBufferBytes));
    h->distanceBuffer = static_cast<uint16_t*>(AllocZeroed(alloc, kTallyBufferBytes));
    h->chain = static_cast<uint16_t*>(AllocZeroed(alloc, kHashTableBytes));
    h->head = static_cast<uint16_t*>(AllocZeroed(alloc, kHashTableBytes));
    h->window = static_cast<uint8_t*>(AllocZeroed(alloc, kWindowSize));
    if (!h->state || !h->literalBuffer || !h->distanceBuffer || !h->chain || !h->head || !h->window) {
        ReleaseBuffers(h);
        free(h);
        return COMPRESSOR_NO_MEMORY;
    }
    TP_ASSERT(reinterpret_cast<uintptr_t>(h->state) % alignof(DeflateState) == 0);
    h->state->literalBuffer = h->literalBuffer;
    h->state->distanceBuffer = h->distanceBuffer;
    h->history = false;
    h->tag = kDeflateHandleTag;
    *maxOutputSize = h->blockSize + DEFLATE_BLOCK_SLACK;
    *handle = h;
    return COMPRESSOR_OK;
}

int DeflateCompressBlock(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                         uint32_t outputCapacity, uint32_t* outputSize) {
    DeflateHandle* h = CheckedHandle(handle);
    if (h == nullptr) return COMPRESSOR_BAD_PARAMETER;
    if (inputSize > h->blockSize || outputCapacity < h->blockSize + DEFLATE_BLOCK_SLACK) {
        return COMPRESSOR_BAD_PARAMETER;
    }
    if ((input == nullptr && inputSize != 0) || output == nullptr || outputSize == nullptr) {
        return COMPRESSOR_BAD_PARAMETER;
    }

    const bool history = h->history;
    if (inputSize != 0) std::memcpy(h->window + (history ? kHalfWindow : 0), input, inputSize);
    uint32_t written = 0;
    bool fitted = CompressBlock(*h->state, h->window, h->head, h->chain, inputSize, history, output,
                                outputCapacity, &written);
    h->history = inputSize == CAB_BLOCK_SIZE;
    if (!fitted) return COMPRESSOR_FAILED;
    *outputSize = written;
    return COMPRESSOR_OK;
}

int DeflateReset(void* handle) {
    DeflateHandle* h = CheckedHandle(handle);
    if (h == nullptr) return COMPRESSOR_BAD_PARAMETER;
    h->history = false;
    return COMPRESSOR_OK;
}

int DeflateDestroy(void* handle) {
    DeflateHandle* h = CheckedHandle(handle);
    if (h == nullptr) return COMPRESSOR_BAD_PARAMETER;
    h->tag = 0;
    ReleaseBuffers(h);
    h->free(h);
    return COMPRESSOR_OK;
}

}  // namespace treepak
