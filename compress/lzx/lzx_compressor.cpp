// The LZX entry points of the compressor interface: a tagged handle around
// one encoder, parameter checks, and result codes.
#include <cstring>

#include "cabinet/format.h"
#include "compress/compressor.h"
#include "compress/lzx/lzx_encoder.h"
#include "compress/lzx/lzx_search_job.h"

namespace treepak {

namespace {

constexpr uint32_t kLzxHandleTag = 0x4C5A5843;  // "CXZL" little-endian
constexpr uint32_t kBlockSize = LZX_FRAME_SIZE;
// Worst case of one block's frame beyond its data.
constexpr uint32_t kOutputMargin = LZX_BLOCK_SLACK;

struct LzxHandle {
    uint32_t tag;
    FCIAllocFn alloc;
    FCIFreeFn free;
    uint32_t blockSize;
    lzxenc::LzxEncoder* encoder;
};

LzxHandle* Checked(void* handle) {
    auto* h = static_cast<LzxHandle*>(handle);
    return h && h->tag == kLzxHandleTag ? h : nullptr;
}

}  // namespace

int LzxCreate(uint32_t* blockSize, const LzxParams* params, FCIAllocFn alloc, FCIFreeFn free,
              uint32_t* maxOutputSize, void** handle, LzxOutputCallback outputCallback, void* callbackContext) {
    if (handle) *handle = nullptr;
    if (!blockSize || !params || !alloc || !free || !maxOutputSize || !handle || !outputCallback)
        return COMPRESSOR_NO_MEMORY;
    // Chunks of exactly one frame are what the window arithmetic relies on.
    *blockSize = kBlockSize;
    auto* h = static_cast<LzxHandle*>(alloc(sizeof(LzxHandle)));
    if (!h) return COMPRESSOR_NO_MEMORY;
    std::memset(h, 0, sizeof(LzxHandle));
    h->encoder = lzxenc::LzxEncoderCreate(params->windowSize, params->slideAmount, alloc, free, outputCallback,
                                          callbackContext);
    if (!h->encoder) {
        free(h);
        return COMPRESSOR_NO_MEMORY;
    }
    h->tag = kLzxHandleTag;
    h->alloc = alloc;
    h->free = free;
    h->blockSize = kBlockSize;
    *maxOutputSize = kBlockSize + kOutputMargin;
    *handle = h;
    return COMPRESSOR_OK;
}

int LzxCompressBlock(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                     uint32_t outputCapacity, uint32_t* heldBackEstimate) {
    LzxHandle* h = Checked(handle);
    if (!h || !heldBackEstimate || (inputSize != 0 && !input) || !output) return COMPRESSOR_BAD_PARAMETER;
    if (inputSize > h->blockSize || outputCapacity < h->blockSize + kOutputMargin) return COMPRESSOR_BAD_PARAMETER;
    uint32_t estimate = 0;
    const int status =
        lzxenc::LzxEncodeChunk(h->encoder, input, inputSize, LZX_E8_TRANSLATION_SIZE, &estimate);
    if (status != lzxenc::kChunkOk) {
        *heldBackEstimate = 0;
        return COMPRESSOR_FAILED;
    }
    *heldBackEstimate = estimate;
    return COMPRESSOR_OK;
}

int LzxFlush(void* handle) {
    LzxHandle* h = Checked(handle);
    if (!h) return COMPRESSOR_BAD_PARAMETER;
    lzxenc::LzxEncoderFlush(h->encoder);
    return COMPRESSOR_OK;
}

int LzxEnableSearchJobs(void* handle) {
    LzxHandle* h = Checked(handle);
    if (!h) return COMPRESSOR_BAD_PARAMETER;
    return lzxenc::EnableSearchJobs(h->encoder) ? COMPRESSOR_OK : COMPRESSOR_NO_MEMORY;
}

int LzxUseSearchJob(void* handle, const LzxSearchJob* job) {
    LzxHandle* h = Checked(handle);
    if (!h || (job && job->tag != lzxenc::kSearchJobTag)) return COMPRESSOR_BAD_PARAMETER;
    lzxenc::UseSearchJob(h->encoder, job);
    return COMPRESSOR_OK;
}

int LzxReset(void* handle) {
    LzxHandle* h = Checked(handle);
    if (!h) return COMPRESSOR_BAD_PARAMETER;
    lzxenc::LzxEncoderReset(h->encoder);
    return COMPRESSOR_OK;
}

int LzxDestroy(void* handle) {
    LzxHandle* h = Checked(handle);
    if (!h) return COMPRESSOR_BAD_PARAMETER;
    lzxenc::LzxEncoderDestroy(h->encoder);
    h->tag = 0;
    h->free(h);
    return COMPRESSOR_OK;
}

}  // namespace treepak
