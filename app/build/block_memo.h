// The build's memo of compressed blocks (see FCISetBlockMemo): an index in
// memory from block key to place, and the compressed bytes in one temporary
// file. The file is removed from its directory as soon as it is open, so
// nothing is left behind however the build ends. Lookups and stores may
// come from several threads. A failing read or write only costs hits: the
// engine then compresses the block itself.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "fci/fci.h"

namespace treepak {

class BlockMemo {
public:
    BlockMemo() = default;
    BlockMemo(const BlockMemo&) = delete;
    BlockMemo& operator=(const BlockMemo&) = delete;
    ~BlockMemo();

    // Creates the file, its name starting with tempPrefix; false when it
    // could not be (the build then runs without a memo).
    bool Open(const char* tempPrefix);
    // The first link of every digest chain keyed into this memo: random per
    // memo, so block keys cannot be predicted from a file's bytes alone.
    const BlockDigest& ChainStart() const { return chainStart_; }
    bool Lookup(const FCIBlockKey& key, void* output, uint32_t capacity, uint32_t* compressedSize,
                uint32_t* primeToken);
    void Store(const FCIBlockKey& key, const void* compressed, uint32_t size, uint32_t primeToken);

    // The callbacks for the engine and the block coders.
    FCIBlockMemo Callbacks() { return FCIBlockMemo{LookupCallback, StoreCallback, chainStart_, this}; }
    // The callbacks; memoContext is the BlockMemo.
    static int32_t LookupCallback(const FCIBlockKey* key, void* output, uint32_t capacity,
                                  uint32_t* compressedSize, uint32_t* primeToken, void* memoContext);
    static void StoreCallback(const FCIBlockKey* key, const void* compressed, uint32_t size,
                              uint32_t primeToken, void* memoContext);

private:
    struct Entry {
        uint64_t offset;
        uint32_t size;
        uint32_t primeToken;
    };
    struct KeyHash {
        size_t operator()(const FCIBlockKey& key) const { return key.digest[0]; }
    };
    struct KeyEqual {
        bool operator()(const FCIBlockKey& a, const FCIBlockKey& b) const {
            return a.compressionType == b.compressionType && a.uncompressedSize == b.uncompressedSize &&
                   a.digest[0] == b.digest[0] && a.digest[1] == b.digest[1];
        }
    };

    BlockDigest chainStart_ = RandomChainStart();
    static BlockDigest RandomChainStart();

    std::mutex mutex_;
    std::unordered_map<FCIBlockKey, Entry, KeyHash, KeyEqual> index_;
    int32_t handle_ = -1;
    uint64_t end_ = 0;       // where the next block goes
    bool writeFailed_ = false;
};

}  // namespace treepak
