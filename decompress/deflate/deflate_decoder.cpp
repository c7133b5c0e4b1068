// Block-deflate decoder behind the reader's per-kind decoder contract.
//
// A data block is the two bytes "CK" followed by DEFLATE data. Every block of
// a folder is decoded into the reader's one uncompressed buffer, whose 32768
// bytes serve as the ring that back references reach into. The decoder keeps
// a copy of that ring in its window so as not to copy it in for every block;
// reset makes it take the ring from the buffer again.
#include <cstring>

#include "cabinet/format.h"
#include "decompress/decoder.h"
#include "decompress/deflate/inflate_block.h"

namespace treepak {

namespace {

// Largest compressed block: incompressible data costs the "CK" prefix plus
// the framing of stored DEFLATE blocks (DEFLATE_BLOCK_SLACK).
constexpr uint32_t kBlockCapacity = CAB_BLOCK_SIZE;
constexpr uint32_t kCompressedOverhead = DEFLATE_BLOCK_SLACK;
constexpr const uint8_t (&kBlockPrefix)[2] = DEFLATE_BLOCK_MAGIC;

struct DdiHandle {
    uint32_t tag;
    FEIFreeFn free;
    uint32_t capacity;  // uncompressed buffer size settled by create; also the ring size
    DeflateDecoderState* state;
};

DdiHandle* CheckedHandle(void* handle) {
    auto* decoder = static_cast<DdiHandle*>(handle);
    if (decoder == nullptr || decoder->tag != DEFLATE_DECODER_TAG) return nullptr;
    return decoder;
}

}  // namespace

int DdiCreate(uint32_t* uncompressedSize, FEIAllocFn alloc, FEIFreeFn free, uint32_t* compressedSize,
              void** handle) {
    if (*uncompressedSize == 0 || *uncompressedSize > kBlockCapacity) *uncompressedSize = kBlockCapacity;
    *compressedSize = *uncompressedSize + kCompressedOverhead;
    if (handle == nullptr) return DECODER_OK;

    *handle = nullptr;
    auto* decoder = static_cast<DdiHandle*>(alloc(sizeof(DdiHandle)));
    if (decoder == nullptr) return DECODER_NO_MEMORY;
    auto* state = static_cast<DeflateDecoderState*>(alloc(sizeof(DeflateDecoderState)));
    if (state == nullptr) {
        free(decoder);
        return DECODER_NO_MEMORY;
    }
    std::memset(state, 0, sizeof(*state));
    decoder->tag = DEFLATE_DECODER_TAG;
    decoder->free = free;
    decoder->capacity = *uncompressedSize;
    decoder->state = state;
    *handle = decoder;
    return DECODER_OK;
}

// `uncompressed` must be the buffer of the size create settled: besides
// receiving the block it holds the previous block as history. Between two
// decodes with no reset between them, the caller leaves it as it is.
int DdiDecode(void* handle, const uint8_t* compressed, uint32_t compressedSize, uint8_t* uncompressed,
              uint32_t* uncompressedSize) {
    DdiHandle* decoder = CheckedHandle(handle);
    if (decoder == nullptr) return DECODER_BAD_HANDLE;
    if (compressedSize > decoder->capacity + kCompressedOverhead) return DECODER_BAD_SIZE;
    const uint32_t room = *uncompressedSize < decoder->capacity ? *uncompressedSize : decoder->capacity;
    *uncompressedSize = 0;
    if (compressedSize < sizeof(kBlockPrefix) ||
        std::memcmp(compressed, kBlockPrefix, sizeof(kBlockPrefix)) != 0)
        return DECODER_DATA_ERROR;
    const bool ok = InflateDataBlock(*decoder->state, compressed + sizeof(kBlockPrefix),
                                     compressedSize - sizeof(kBlockPrefix), uncompressed, room,
                                     decoder->capacity, uncompressedSize);
    return ok ? DECODER_OK : DECODER_DATA_ERROR;
}

int DdiReset(void* handle) {
    DdiHandle* decoder = CheckedHandle(handle);
    if (decoder == nullptr) return DECODER_BAD_HANDLE;
    ForgetRing(*decoder->state);
    return DECODER_OK;
}

int DdiDestroy(void* handle) {
    DdiHandle* decoder = CheckedHandle(handle);
    if (decoder == nullptr) return DECODER_BAD_HANDLE;
    const FEIFreeFn free = decoder->free;
    decoder->tag = 0;
    free(decoder->state);
    free(decoder);
    return DECODER_OK;
}

}  // namespace treepak
