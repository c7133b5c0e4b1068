// The engine's side of the compressor interface. The kind in the low four
// bits of the type word picks the compressor: stored data need none, block
// deflate and LZX each have their own entry points (block deflate goes
// through a block coder when the client keeps a memo), and COMPRESS_UNSET marks
// a folder that has no compressor (and no buffers) yet. Every block is at
// most CAB_BLOCK_SIZE bytes in; the output buffer is as large as the
// compressor's worst case for one block.
#include "fci/fci_internal.h"

#include <cstring>

#include "cabinet/lzx_format.h"
#include "cabinet/tp_assert.h"

namespace treepak {

namespace {

bool IsKnownKind(uint16_t kind) {
    return kind == COMPRESS_NONE || kind == COMPRESS_DEFLATE || kind == COMPRESS_LZX;
}

void ReleaseBuffers(FolderState* folder) {
    if (folder->input != nullptr) folder->io->free(folder->input);
    if (folder->output != nullptr) folder->io->free(folder->output);
    folder->input = nullptr;
    folder->output = nullptr;
    folder->outputCapacity = 0;
}

// Destroys the compressor of the current kind; false when the compressor
// reported failure. An unknown current kind (left by a refused type word) is
// recorded but does not count as a failure.
bool DestroyCompressor(FolderState* folder) {
    const uint16_t kind = CompressKind(folder->compressionType);
    int result = COMPRESSOR_OK;
    if (kind == COMPRESS_DEFLATE && folder->compressor != nullptr) {
        result = DeflateDestroy(folder->compressor);
    } else if (kind == COMPRESS_LZX && folder->compressor != nullptr) {
        result = LzxDestroy(folder->compressor);
    } else if (!IsKnownKind(kind) && folder->compressionType != COMPRESS_UNSET) {
        RecordError(*folder->io, FCIERR_COMPRESSION_TYPE, 0);
    }
    folder->compressor = nullptr;
    FCIDestroyBlockCoder(folder->coder);
    folder->coder = nullptr;
    if (result != COMPRESSOR_OK) {
        RecordError(*folder->io, FCIERR_COMPRESS, 0);
        return false;
    }
    return true;
}

bool CreateCompressor(FolderState* folder, uint32_t* maxOutput) {
    const FciIo& io = *folder->io;
    const uint16_t kind = CompressKind(folder->compressionType);
    folder->blockSize = CAB_BLOCK_SIZE;
    int result = COMPRESSOR_FAILED;
    switch (kind) {
        case COMPRESS_NONE:
            *maxOutput = MAX_STORED_BLOCK;
            return true;
        case COMPRESS_DEFLATE:
            if (folder->memo.lookup != nullptr) {
                folder->coder = FCICreateBlockCoder(folder->compressionType, io.alloc, io.free, &folder->memo);
                if (folder->coder == nullptr) break;
                *maxOutput = FCIBlockCoderCapacity(folder->coder);
                return true;
            }
            result = DeflateCreate(&folder->blockSize, io.alloc, io.free, maxOutput,
                                   &folder->compressor);
            break;
        case COMPRESS_LZX: {
            const uint32_t bits = CompressWindowBits(folder->compressionType);
            LzxParams params{1u << bits, FCI_LZX_SLIDE_AMOUNT};
            result = LzxCreate(&folder->blockSize, &params, io.alloc, io.free, maxOutput,
                               &folder->compressor, LzxBlockOutput, folder);
            // Without the chunk digests jobs are refused, which only costs time.
            if (result == COMPRESSOR_OK && folder->lzxLookup != nullptr) LzxEnableSearchJobs(folder->compressor);
            folder->lzxOffset = 0;
            break;
        }
        default:
            RecordError(io, FCIERR_COMPRESSION_TYPE, 0);
            return false;
    }
    if (result != COMPRESSOR_OK) {
        folder->compressor = nullptr;
        RecordError(io, FCIERR_COMPRESS, 0);
        return false;
    }
    TP_ASSERT(folder->blockSize == CAB_BLOCK_SIZE);
    return true;
}

}  // namespace

bool ReplaceCompressor(FolderState* folder, uint16_t newType) {
    const bool destroyed = DestroyCompressor(folder);
    ReleaseBuffers(folder);
    if (!destroyed) return false;
    folder->compressionType = newType;
    folder->waiting = 0;
    folder->heldBack = 0;
    if (newType == COMPRESS_UNSET) return true;

    uint32_t maxOutput = 0;
    if (!CreateCompressor(folder, &maxOutput)) return false;
    folder->output = static_cast<uint8_t*>(folder->io->alloc(maxOutput));
    folder->input =
        folder->output != nullptr ? static_cast<uint8_t*>(folder->io->alloc(folder->blockSize)) : nullptr;
    if (folder->input == nullptr || folder->output == nullptr) {
        RecordError(*folder->io, FCIERR_NO_MEMORY, 0);
        ReleaseBuffers(folder);
        DestroyCompressor(folder);
        // The failed kind stays recorded as the folder's, with nothing behind
        // it; a later replacement then has nothing to destroy.
        return false;
    }
    folder->outputCapacity = maxOutput;
    return true;
}

bool CompressStoredOrDeflate(FolderState* folder, const uint8_t** bytes, uint32_t* compressedSize) {
    switch (CompressKind(folder->compressionType)) {
        case COMPRESS_NONE:
            *bytes = folder->input;
            *compressedSize = folder->waiting;
            return true;
        case COMPRESS_DEFLATE:
            if (folder->coder != nullptr
                    ? FCIBlockCoderNext(folder->coder, folder->input, folder->waiting, bytes, compressedSize) == 1
                    : DeflateCompressBlock(folder->compressor, folder->input, folder->waiting, folder->output,
                                           folder->outputCapacity, compressedSize) == COMPRESSOR_OK &&
                          *compressedSize <= folder->outputCapacity) {
                if (folder->coder == nullptr) *bytes = folder->output;
                return true;
            }
            RecordError(*folder->io, FCIERR_COMPRESS, 0);
            return false;
        default:
            RecordError(*folder->io, FCIERR_COMPRESSION_TYPE, 0);
            return false;
    }
}

bool CompressLzxBlock(FolderState* folder, uint32_t inputSize) {
    uint32_t heldBack = 0;
    folder->lzxOutputFailed = false;
    if (folder->lzxLookup != nullptr) {
        if (folder->lzxOffset == 0) ++folder->lzxFolders;
        LzxUseSearchJob(folder->compressor,
                        folder->lzxLookup(folder->lzxFolders - 1, folder->lzxOffset, folder->lzxLookupContext));
    }
    folder->lzxOffset += inputSize;
    const int result = LzxCompressBlock(folder->compressor, folder->input, inputSize,
                                        folder->output, folder->outputCapacity, &heldBack);
    if (folder->lzxOutputFailed) return false;  // the callback recorded why
    if (result != COMPRESSOR_OK) {
        RecordError(*folder->io, FCIERR_COMPRESS, 0);
        return false;
    }
    folder->heldBack = heldBack;
    return true;
}

bool FlushLzx(FolderState* folder) {
    folder->lzxOutputFailed = false;
    const int result = LzxFlush(folder->compressor);
    if (folder->lzxOutputFailed) return false;
    if (result != COMPRESSOR_OK) {
        RecordError(*folder->io, FCIERR_COMPRESS, 0);
        return false;
    }
    folder->heldBack = 0;
    return true;
}

bool ResetCompressor(FolderState* folder) {
    int result = COMPRESSOR_OK;
    if (folder->coder != nullptr) {
        result = FCIBlockCoderRestart(folder->coder) == 1 ? COMPRESSOR_OK : COMPRESSOR_FAILED;
    } else if (folder->compressor != nullptr) {
        switch (CompressKind(folder->compressionType)) {
        case COMPRESS_DEFLATE: result = DeflateReset(folder->compressor); break;
        case COMPRESS_LZX:
            result = LzxReset(folder->compressor);
            folder->lzxOffset = 0;
            break;
        default: break;
        }
    }
    if (result != COMPRESSOR_OK) {
        RecordError(*folder->io, FCIERR_COMPRESS, 0);
        return false;
    }
    return true;
}

}  // namespace treepak

int FCISetLzxSearchJobs(FCIContext* context, FCILzxSearchLookupFn lookup, void* lookupContext) {
    using namespace treepak;
    if (context == nullptr || lookup == nullptr) return 0;
    FolderState* folder = &context->folder;
    if (folder->compressionType != COMPRESS_UNSET) return 0;
    folder->lzxLookup = lookup;
    folder->lzxLookupContext = lookupContext;
    return 1;
}
