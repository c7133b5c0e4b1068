// Block-deflate blocks through the client's memo, one implementation for
// the engine and for the client's workers. A block's compressed form and
// the prime token it leaves depend on three things only: its own bytes, the
// block before it when that one was full (the compressor's history), and
// that block's prime token (which of its positions went into the match
// tables). The key stands for exactly these, so a worker that starts in the
// middle of a folder, with the previous block's token guessed, stores its
// blocks under the keys of that guess: a wrong guess leaves entries nobody
// asks for, never a wrong hit.
//
// A hit leaves the compressor one block behind; that block and its token
// are kept and primed into the compressor before the next miss.
#include <cstring>
#include <new>

#include "fci/fci_internal.h"

namespace treepak {

struct FCIBlockCoder {
    FCIFreeFn free;
    FCIBlockMemo memo;
    uint16_t compressionType;
    void* compressor;
    uint8_t* output;
    uint32_t outputCapacity;
    // The block before the next one: its bytes (kept only while the
    // compressor has not seen them), size, digest and prime token.
    uint8_t* previous;
    uint32_t previousSize;
    BlockDigest previousDigest;
    uint32_t previousToken;
    bool behind;
};

namespace {

// What a block's key digest covers besides the history block's digest.
struct KeyRecord {
    uint64_t block[2];
    uint32_t historyToken;  // 0 without history
};

bool HasHistory(const FCIBlockCoder& coder) { return coder.previousSize == CAB_BLOCK_SIZE; }

FCIBlockKey KeyFor(const FCIBlockCoder& coder, const BlockDigest& block, uint32_t size) {
    const bool history = HasHistory(coder);
    KeyRecord record{};
    record.block[0] = block.lane[0];
    record.block[1] = block.lane[1];
    record.historyToken = history ? coder.previousToken : 0;
    const BlockDigest link =
        ChainBlockDigest(history ? coder.previousDigest : coder.memo.chainStart, &record, sizeof record);
    return FCIBlockKey{coder.compressionType, size, {link.lane[0], link.lane[1]}};
}

// Compresses one block with the compressor brought up to date; learns its
// token.
bool RunCompressor(FCIBlockCoder* coder, const uint8_t* block, uint32_t size, uint32_t* compressedSize,
                   uint32_t* token) {
    if (coder->behind) {
        if (DeflatePrime(coder->compressor, coder->previous, coder->previousSize, coder->previousToken) !=
            COMPRESSOR_OK)
            return false;
        coder->behind = false;
    }
    return DeflateCompressBlock(coder->compressor, block, size, coder->output, coder->outputCapacity,
                                compressedSize) == COMPRESSOR_OK &&
           *compressedSize <= coder->outputCapacity &&
           DeflatePrimeToken(coder->compressor, size, token) == COMPRESSOR_OK;
}

void Advance(FCIBlockCoder* coder, const BlockDigest& digest, uint32_t size, uint32_t token) {
    coder->previousSize = size;
    coder->previousDigest = digest;
    coder->previousToken = token;
}

}  // namespace

}  // namespace treepak

FCIBlockCoder* FCICreateBlockCoder(uint16_t compressionType, FCIAllocFn alloc, FCIFreeFn free,
                                   const FCIBlockMemo* memo) {
    using namespace treepak;
    if (alloc == nullptr || free == nullptr || memo == nullptr || memo->lookup == nullptr ||
        memo->store == nullptr || CompressKind(compressionType) != COMPRESS_DEFLATE)
        return nullptr;
    auto* coder = static_cast<FCIBlockCoder*>(alloc(sizeof(FCIBlockCoder)));
    if (coder == nullptr) return nullptr;
    new (coder) FCIBlockCoder{};
    coder->free = free;
    coder->memo = *memo;
    coder->compressionType = compressionType;
    uint32_t blockSize = CAB_BLOCK_SIZE;
    if (DeflateCreate(&blockSize, alloc, free, &coder->outputCapacity, &coder->compressor) == COMPRESSOR_OK &&
        blockSize == CAB_BLOCK_SIZE) {
        coder->output = static_cast<uint8_t*>(alloc(coder->outputCapacity));
        coder->previous = static_cast<uint8_t*>(alloc(CAB_BLOCK_SIZE));
    }
    if (coder->output == nullptr || coder->previous == nullptr) {
        FCIDestroyBlockCoder(coder);
        return nullptr;
    }
    return coder;
}

uint32_t FCIBlockCoderCapacity(const FCIBlockCoder* coder) {
    using namespace treepak;
    return coder->outputCapacity;
}

int FCIBlockCoderRestart(FCIBlockCoder* coder) {
    using namespace treepak;
    Advance(coder, BlockDigest{}, 0, 0);
    coder->behind = false;
    return DeflateReset(coder->compressor) == COMPRESSOR_OK ? 1 : 0;
}

int FCIBlockCoderNext(FCIBlockCoder* coder, const uint8_t* block, uint32_t size, const uint8_t** compressed,
                      uint32_t* compressedSize) {
    using namespace treepak;
    if (size == 0 || size > CAB_BLOCK_SIZE) return 0;
    const BlockDigest digest = ChainBlockDigest(coder->memo.chainStart, block, size);
    const FCIBlockKey key = KeyFor(*coder, digest, size);
    uint32_t found = 0, token = 0;
    if (coder->memo.lookup(&key, coder->output, coder->outputCapacity, &found, &token, coder->memo.context) == 1 &&
        found != 0 && found <= coder->outputCapacity) {
        // Keeping the block costs a copy per hit, and lets the caller
        // reuse its buffer at once.
        std::memcpy(coder->previous, block, size);
        coder->behind = true;
    } else {
        if (!RunCompressor(coder, block, size, &found, &token)) return 0;
        coder->memo.store(&key, coder->output, found, token, coder->memo.context);
    }
    Advance(coder, digest, size, token);
    *compressed = coder->output;
    *compressedSize = found;
    return 1;
}

int FCIBlockCoderAssume(FCIBlockCoder* coder, const uint8_t* block, uint32_t size) {
    using namespace treepak;
    if (FCIBlockCoderRestart(coder) != 1 || size > CAB_BLOCK_SIZE) return 0;
    if (size == 0) return 1;
    uint32_t compressedSize = 0, token = 0;
    if (!RunCompressor(coder, block, size, &compressedSize, &token)) return 0;
    Advance(coder, ChainBlockDigest(coder->memo.chainStart, block, size), size, token);
    return 1;
}

void FCIDestroyBlockCoder(FCIBlockCoder* coder) {
    using namespace treepak;
    if (coder == nullptr) return;
    const FCIFreeFn release = coder->free;
    if (coder->compressor != nullptr) DeflateDestroy(coder->compressor);
    if (coder->output != nullptr) release(coder->output);
    if (coder->previous != nullptr) release(coder->previous);
    release(coder);
}

int FCISetBlockMemo(FCIContext* context, FCIBlockLookupFn lookup, FCIBlockStoreFn store,
                    const treepak::BlockDigest& chainStart, void* memoContext) {
    using namespace treepak;
    if (context == nullptr || (lookup == nullptr) != (store == nullptr)) return 0;
    FolderState* folder = &context->folder;
    if (folder->compressionType != COMPRESS_UNSET) return 0;
    folder->memo = FCIBlockMemo{lookup, store, chainStart, memoContext};
    return 1;
}
