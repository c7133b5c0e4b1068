// The LZX decoder behind the reader's per-kind decoder contract ("LDIC").
//
// The uncompressed buffer size is taken as asked; the compressed buffer is
// that plus LZX_BLOCK_SLACK, room for a frame whose bits outgrew its data.
// The configuration's window is the window size in bytes; its cpuType is kept only.
#include <new>

#include "cabinet/format.h"
#include "decompress/lzx/lzx_decoder_state.h"

namespace treepak {

namespace {

struct LdiHandle {
    uint32_t tag;
    FEIAllocFn alloc;
    FEIFreeFn free;
    DecoderFileCallbacks files;
    uint32_t uncompressedBufferSize;
    uint32_t cpuType;
    lzxdec::LzxDecoder* decoder;
};

LdiHandle* CheckedHandle(void* handle) {
    auto* h = static_cast<LdiHandle*>(handle);
    return h != nullptr && h->tag == LZX_DECODER_TAG ? h : nullptr;
}

}  // namespace

int LdiCreate(uint32_t* uncompressedSize, const DecoderConfig* config, FEIAllocFn alloc,
              FEIFreeFn free, uint32_t* compressedSize, void** handle,
              const DecoderFileCallbacks* files) {
    // An unsupported window is refused before the reader allocates buffers.
    if (uncompressedSize == nullptr || compressedSize == nullptr || config == nullptr ||
        !lzxdec::LzxWindowSupported(config->window) ||
        *uncompressedSize > UINT32_MAX - LZX_BLOCK_SLACK)
        return DECODER_BAD_PARAMETER;
    *compressedSize = *uncompressedSize + LZX_BLOCK_SLACK;
    if (handle == nullptr) return DECODER_OK;

    *handle = nullptr;
    if (alloc == nullptr || free == nullptr) return DECODER_BAD_PARAMETER;
    void* memory = alloc(sizeof(LdiHandle));
    if (memory == nullptr) return DECODER_NO_MEMORY;
    auto* h = new (memory) LdiHandle{};
    h->decoder = lzxdec::LzxDecoderCreate(config->window, alloc, free, files);
    if (h->decoder == nullptr) {
        free(memory);
        return DECODER_NO_MEMORY;
    }
    h->tag = LZX_DECODER_TAG;
    h->alloc = alloc;
    h->free = free;
    if (files != nullptr) h->files = *files;
    h->uncompressedBufferSize = *uncompressedSize;
    h->cpuType = config->cpuType;
    *handle = h;
    return DECODER_OK;
}

int LdiDecode(void* handle, const uint8_t* compressed, uint32_t compressedSize,
              uint8_t* uncompressed, uint32_t* uncompressedSize) {
    LdiHandle* h = CheckedHandle(handle);
    if (h == nullptr) return DECODER_BAD_HANDLE;
    if (uncompressedSize == nullptr || *uncompressedSize > h->uncompressedBufferSize ||
        compressedSize > h->uncompressedBufferSize + LZX_BLOCK_SLACK)
        return DECODER_BAD_SIZE;
    const int32_t produced =
        lzxdec::LzxDecodeFrame(h->decoder, compressed, compressedSize, uncompressed, *uncompressedSize);
    if (produced < 0) return DECODER_DATA_ERROR;
    *uncompressedSize = static_cast<uint32_t>(produced);
    return DECODER_OK;
}

int LdiReset(void* handle) {
    LdiHandle* h = CheckedHandle(handle);
    if (h == nullptr) return DECODER_BAD_HANDLE;
    lzxdec::LzxDecoderReset(h->decoder);
    return DECODER_OK;
}

int LdiDestroy(void* handle) {
    LdiHandle* h = CheckedHandle(handle);
    if (h == nullptr) return DECODER_BAD_HANDLE;
    lzxdec::LzxDecoderDestroy(h->decoder);
    FEIFreeFn free = h->free;
    h->tag = 0;
    h->~LdiHandle();
    free(h);
    return DECODER_OK;
}

}  // namespace treepak
