// Decompressor interface of the reader. Facts relied on:
// - the type word's low four bits select the kind (0 stored, 1 block
//   deflate, 2 Quantum, 3 LZX; 4-14 unknown; 15 the internal "no decoder"
//   mark); the whole word, window bits included, decides whether a decoder
//   can be kept for the next folder;
// - Quantum's create takes the window bits and the cpu type, LZX's the window
//   size in bytes; block deflate takes no configuration;
// - a data block never expands to more than 32768 bytes, and the compressed
//   buffer holds at most the kind's largest whole block.
// Both block buffers carry DECODER_BUFFER_SLACK zeroed bytes past the sizes
// the decoder reports, and are zeroed in full, so that a back-reference
// before a folder's first byte copies zeros and decoders may fetch words past
// the end of the data.
#include "fei/decompressor.h"

#include <cstring>

#include "cabinet/format.h"
#include "cabinet/tp_assert.h"
#include "decompress/decoder.h"
#include "fei/context.h"

namespace treepak {

namespace {

constexpr uint32_t LZX_CPU_TYPE = 0;

bool IsDecoderKind(uint16_t kind) {
    return kind == COMPRESS_DEFLATE || kind == COMPRESS_QUANTUM || kind == COMPRESS_LZX;
}

uint32_t LargestBlock(uint16_t kind) {
    switch (kind) {
        case COMPRESS_DEFLATE: return MAX_DEFLATE_BLOCK;
        case COMPRESS_QUANTUM: return MAX_QUANTUM_BLOCK;
        case COMPRESS_LZX: return MAX_LZX_BLOCK;
        default: return MAX_STORED_BLOCK;
    }
}

DecoderConfig ConfigFor(const FEIContext* context, uint16_t typeWord) {
    const uint32_t windowBits = CompressWindowBits(typeWord);
    if (CompressKind(typeWord) == COMPRESS_QUANTUM) {
        return DecoderConfig{windowBits, static_cast<uint32_t>(context->cpuType)};
    }
    return DecoderConfig{uint32_t{1} << windowBits, LZX_CPU_TYPE};
}

// Calls the kind's create; handle == nullptr only settles the sizes.
int CreateDecoder(FEIContext* context, uint16_t typeWord, uint32_t* uncompressedSize,
                  uint32_t* compressedSize, void** handle) {
    const DecoderFileCallbacks files{context->open, context->read, context->write,
                                     context->close, context->seek};
    const DecoderConfig config = ConfigFor(context, typeWord);
    switch (CompressKind(typeWord)) {
        case COMPRESS_DEFLATE:
            return DdiCreate(uncompressedSize, context->alloc, context->free, compressedSize,
                             handle);
        case COMPRESS_QUANTUM:
            return QdiCreate(uncompressedSize, &config, context->alloc, context->free,
                             compressedSize, handle, &files);
        default:
            TP_ASSERT(CompressKind(typeWord) == COMPRESS_LZX);
            return LdiCreate(uncompressedSize, &config, context->alloc, context->free,
                             compressedSize, handle, &files);
    }
}

int DestroyDecoder(uint16_t kind, void* handle) {
    switch (kind) {
        case COMPRESS_DEFLATE: return DdiDestroy(handle);
        case COMPRESS_QUANTUM: return QdiDestroy(handle);
        default: return LdiDestroy(handle);
    }
}

void FreeBlockBuffers(FEIContext* context) {
    if (context->compressedBuffer) context->free(context->compressedBuffer);
    if (context->uncompressedBuffer) context->free(context->uncompressedBuffer);
    context->compressedBuffer = nullptr;
    context->uncompressedBuffer = nullptr;
    context->compressedBufferSize = 0;
    context->uncompressedBufferSize = 0;
}

uint8_t* AllocZeroed(FEIContext* context, uint32_t size) {
    const uint32_t total = size + DECODER_BUFFER_SLACK;
    auto* block = static_cast<uint8_t*>(context->alloc(total));
    if (block) std::memset(block, 0, total);
    return block;
}

// Builds buffers (and the decoder) for the word already stored in the context.
int BuildCurrentKind(FEIContext* context) {
    const uint16_t typeWord = context->compressionType;
    const uint16_t kind = CompressKind(typeWord);
    if (typeWord == COMPRESS_UNSET) return 1;
    if (kind != COMPRESS_NONE && !IsDecoderKind(kind)) {
        return FeiFail(context, FEIERR_COMPRESSION_TYPE);
    }
    uint32_t uncompressedSize = CAB_BLOCK_SIZE;
    uint32_t compressedSize = MAX_STORED_BLOCK;
    if (IsDecoderKind(kind)) {
        if (CreateDecoder(context, typeWord, &uncompressedSize, &compressedSize, nullptr) !=
            DECODER_OK) {
            return FeiFail(context, FEIERR_DECODE);
        }
        // The engine never hands a decoder more than the format allows.
        if (uncompressedSize == 0 || uncompressedSize > CAB_BLOCK_SIZE ||
            compressedSize > LargestBlock(kind)) {
            return FeiFail(context, FEIERR_DECODE);
        }
    }
    context->compressedBuffer = AllocZeroed(context, compressedSize);
    if (!context->compressedBuffer) return FeiFail(context, FEIERR_NO_MEMORY);
    context->uncompressedBuffer = AllocZeroed(context, uncompressedSize);
    if (!context->uncompressedBuffer) {
        FreeBlockBuffers(context);
        return FeiFail(context, FEIERR_NO_MEMORY);
    }
    context->compressedBufferSize = compressedSize;
    context->uncompressedBufferSize = uncompressedSize;
    if (!IsDecoderKind(kind)) return 1;

    void* handle = nullptr;
    const int result =
        CreateDecoder(context, typeWord, &uncompressedSize, &compressedSize, &handle);
    if (result != DECODER_OK || handle == nullptr) {
        FreeBlockBuffers(context);
        return FeiFail(context, result == DECODER_NO_MEMORY ? FEIERR_NO_MEMORY : FEIERR_DECODE);
    }
    context->decoder = handle;
    return 1;
}

}  // namespace

int FeiSetCompressionType(FEIContext* context, uint16_t typeWord) {
    if (typeWord == context->compressionType) return 1;

    const uint16_t oldKind = CompressKind(context->compressionType);
    if (context->compressionType != COMPRESS_UNSET && IsDecoderKind(oldKind)) {
        if (DestroyDecoder(oldKind, context->decoder) != DECODER_OK) {
            return FeiFail(context, FEIERR_DECODE);
        }
        context->decoder = nullptr;
    }
    FreeBlockBuffers(context);

    context->compressionType = typeWord;
    if (!BuildCurrentKind(context)) {
        context->compressionType = COMPRESS_UNSET;
        context->decoder = nullptr;
        return 0;
    }
    return 1;
}

int FeiResetDecoder(FEIContext* context) {
    const uint16_t typeWord = context->compressionType;
    if (typeWord == COMPRESS_UNSET || CompressKind(typeWord) == COMPRESS_NONE) return 1;
    int result = DECODER_OK;
    switch (CompressKind(typeWord)) {
        case COMPRESS_DEFLATE: result = DdiReset(context->decoder); break;
        case COMPRESS_QUANTUM: result = QdiReset(context->decoder); break;
        case COMPRESS_LZX: result = LdiReset(context->decoder); break;
        default: return FeiFail(context, FEIERR_COMPRESSION_TYPE);
    }
    return result == DECODER_OK ? 1 : FeiFail(context, FEIERR_DECODE);
}

int FeiDecodeBlock(FEIContext* context, uint32_t compressedSize, uint32_t expectedSize,
                   uint32_t* produced) {
    const uint16_t typeWord = context->compressionType;
    const uint16_t kind = CompressKind(typeWord);
    if (typeWord == COMPRESS_UNSET || (kind != COMPRESS_NONE && !IsDecoderKind(kind))) {
        return FeiFail(context, FEIERR_COMPRESSION_TYPE);
    }
    TP_ASSERT(compressedSize <= context->compressedBufferSize);
    const uint8_t* in = context->compressedBuffer;
    uint8_t* out = context->uncompressedBuffer;
    uint32_t size = 0;
    int result = DECODER_OK;
    switch (kind) {
        case COMPRESS_NONE:
            // The stored buffers are the same size, so a whole block fits.
            static_assert(MAX_STORED_BLOCK <= CAB_BLOCK_SIZE);
            std::memcpy(out, in, compressedSize);
            size = compressedSize;
            break;
        case COMPRESS_DEFLATE:
            size = context->uncompressedBufferSize;
            result = DdiDecode(context->decoder, in, compressedSize, out, &size);
            break;
        case COMPRESS_QUANTUM:
            size = expectedSize;
            result = QdiDecode(context->decoder, in, compressedSize, out, &size);
            break;
        default:
            size = expectedSize;
            result = LdiDecode(context->decoder, in, compressedSize, out, &size);
            break;
    }
    if (result != DECODER_OK || size > context->uncompressedBufferSize) {
        return FeiFail(context, FEIERR_DECODE);
    }
    *produced = size;
    return 1;
}

}  // namespace treepak
