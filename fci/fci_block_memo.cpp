// Block-deflate blocks through the client's memo. Each block extends the
// folder's digest chain; a block found in the memo is copied instead of
// compressed, and a compressed one is offered to the memo. Skipping the
// compressor leaves its match state behind by the skipped blocks, but only
// the last of them matters (history reaches one full block back), so that
// block is kept and primed into the compressor before the next miss.
#include <utility>

#include "cabinet/tp_assert.h"
#include "fci/fci_internal.h"

namespace {

bool CompressorFailed(FolderState* folder) {
    RecordError(*folder->io, FCIERR_COMPRESS, 0);
    return false;
}

bool LookUp(FolderState* folder, const FCIBlockKey& key, uint32_t* compressedSize) {
    uint32_t size = 0;
    uint32_t token = 0;
    if (folder->memoLookup(&key, folder->output, folder->outputCapacity, &size, &token,
                           folder->memoContext) != 1 ||
        size == 0 || size > folder->outputCapacity)
        return false;
    // Reading goes on into the other buffer; this block stays for priming.
    std::swap(folder->input, folder->hitInput);
    folder->hitSize = folder->waiting;
    folder->hitToken = token;
    folder->compressorBehind = true;
    *compressedSize = size;
    return true;
}

}  // namespace

void RestartBlockChain(FolderState* folder) {
    folder->blockChain = folder->chainStart;
    folder->compressorBehind = false;
}

bool CompressDeflateBlock(FolderState* folder, uint32_t* compressedSize) {
    const bool memo = folder->memoLookup != nullptr;
    FCIBlockKey key{};
    if (memo) {
        TP_ASSERT(folder->hitInput != nullptr);
        folder->blockChain = ChainBlockDigest(folder->blockChain, folder->input, folder->waiting);
        key = FCIBlockKey{folder->compressionType, folder->waiting,
                          {folder->blockChain.lane[0], folder->blockChain.lane[1]}};
        if (LookUp(folder, key, compressedSize)) return true;
        if (folder->compressorBehind) {
            if (DeflatePrime(folder->compressor, folder->hitInput, folder->hitSize,
                             folder->hitToken) != COMPRESSOR_OK)
                return CompressorFailed(folder);
            folder->compressorBehind = false;
        }
    }
    if (DeflateCompressBlock(folder->compressor, folder->input, folder->waiting, folder->output,
                             folder->outputCapacity, compressedSize) != COMPRESSOR_OK ||
        *compressedSize > folder->outputCapacity)
        return CompressorFailed(folder);
    if (memo) {
        uint32_t token = 0;
        if (DeflatePrimeToken(folder->compressor, folder->waiting, &token) != COMPRESSOR_OK)
            return CompressorFailed(folder);
        folder->memoStore(&key, folder->output, *compressedSize, token, folder->memoContext);
    }
    return true;
}

int FCISetBlockMemo(FCIContext* context, FCIBlockLookupFn lookup, FCIBlockStoreFn store,
                    const BlockDigest& chainStart, void* memoContext) {
    if (context == nullptr || (lookup == nullptr) != (store == nullptr)) return 0;
    FolderState* folder = &context->folder;
    if (folder->compressionType != COMPRESS_UNSET) return 0;
    folder->memoLookup = lookup;
    folder->memoStore = store;
    folder->memoContext = memoContext;
    folder->chainStart = chainStart;
    return 1;
}
