// The Quantum decoder's create / decode / reset / destroy operations behind
// a "QDIC" handle. The window is 2^bits bytes for window bits 10 to 21; it is
// taken in one piece from the alloc callback when possible (and cleared, so
// a match reaching before the first byte ever produced yields zeros), or
// else kept in a paged spill file.
#include <cstring>
#include <new>

#include "cabinet/format.h"
#include "decompress/decoder.h"
#include "decompress/quantum/quantum_decoder.h"

namespace treepak {

using quantum::QuantumDecoder;

namespace {

QuantumDecoder* FromHandle(void* handle) {
    auto* decoder = static_cast<QuantumDecoder*>(handle);
    if (!decoder || decoder->tag != QUANTUM_DECODER_TAG) return nullptr;
    return decoder;
}

}  // namespace

int QdiCreate(uint32_t* uncompressedSize, const DecoderConfig* config, FEIAllocFn alloc, FEIFreeFn free,
              uint32_t* compressedSize, void** handle, const DecoderFileCallbacks* files) {
    if (!config) return DECODER_BAD_PARAMETER;
    const uint32_t windowBits = config->window;
    if (windowBits < quantum::MIN_WINDOW_BITS || windowBits > quantum::MAX_WINDOW_BITS) return DECODER_BAD_PARAMETER;

    if (*uncompressedSize == 0 || *uncompressedSize > CAB_BLOCK_SIZE) *uncompressedSize = CAB_BLOCK_SIZE;
    *compressedSize = *uncompressedSize + QUANTUM_BLOCK_SLACK;
    if (!handle) return DECODER_OK;

    *handle = nullptr;
    void* memory = alloc(sizeof(QuantumDecoder));
    if (!memory) return DECODER_NO_MEMORY;
    auto* decoder = new (memory) QuantumDecoder{};
    decoder->alloc = alloc;
    decoder->free = free;
    if (files) decoder->files = *files;
    decoder->uncompressedBufferSize = *uncompressedSize;
    decoder->cpuType = config->cpuType;
    decoder->windowBits = windowBits;
    decoder->windowSize = uint32_t{1} << windowBits;

    decoder->window = static_cast<uint8_t*>(alloc(decoder->windowSize));
    if (decoder->window) {
        std::memset(decoder->window, 0, decoder->windowSize);
    } else if (!quantum::OpenPagedWindow(&decoder->paged, decoder->windowSize, alloc, free, files)) {
        free(decoder);
        return DECODER_NO_MEMORY;
    }
    quantum::InitModels(&decoder->models, windowBits);
    decoder->tag = QUANTUM_DECODER_TAG;
    *handle = decoder;
    return DECODER_OK;
}

int QdiDecode(void* handle, const uint8_t* compressed, uint32_t compressedSize, uint8_t* uncompressed,
              uint32_t* uncompressedSize) {
    QuantumDecoder* decoder = FromHandle(handle);
    if (!decoder) return DECODER_BAD_HANDLE;
    if (*uncompressedSize > decoder->uncompressedBufferSize) return DECODER_BAD_SIZE;
    if (!quantum::DecodeQuantumBlock(decoder, compressed, compressedSize, uncompressed, *uncompressedSize)) {
        return DECODER_DATA_ERROR;
    }
    return DECODER_OK;
}

int QdiReset(void* handle) {
    QuantumDecoder* decoder = FromHandle(handle);
    if (!decoder) return DECODER_BAD_HANDLE;
    // The window's bytes stay; only the paged window forgets its pages.
    decoder->position = 0;
    decoder->pagingError = false;
    if (!decoder->window) quantum::ResetPagedWindow(&decoder->paged);
    quantum::InitModels(&decoder->models, decoder->windowBits);
    return DECODER_OK;
}

int QdiDestroy(void* handle) {
    QuantumDecoder* decoder = FromHandle(handle);
    if (!decoder) return DECODER_BAD_HANDLE;
    if (decoder->window) {
        decoder->free(decoder->window);
    } else {
        quantum::ClosePagedWindow(&decoder->paged);
    }
    decoder->tag = 0;
    decoder->free(decoder);
    return DECODER_OK;
}

}  // namespace treepak
