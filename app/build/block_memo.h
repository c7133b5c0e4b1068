// The build's memo of compressed blocks (see FCISetBlockMemo): the
// compressed bytes in one temporary file, and the index from block key to
// place in a second one, an open-addressing table of fixed-size slots read
// and written a few slots at a time. A build's memo holds every block of
// its first pass, so an index in memory would grow with the input (about
// 90 bytes a block); on disk, the memo's memory stays the same for any tree.
// Both files are removed from their directory as soon as they are open, so
// nothing is left behind however the build ends. Lookups and stores may
// come from several threads. A failing read or write only costs hits: the
// engine then compresses the block itself.
#pragma once

#include <cstdint>
#include <mutex>

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
    // One index slot: the whole key, and where the block's bytes are. A slot
    // never written reads as zeros, so `used` tells an empty one.
    struct Slot {
        uint64_t digest[2];
        uint64_t offset;
        uint32_t size;
        uint32_t primeToken;
        uint32_t uncompressedSize;
        uint16_t compressionType;
        uint16_t used;
    };
    static_assert(sizeof(Slot) == 40);
    // Where key's slot is (found true), or the empty slot it would take;
    // false when the table cannot be read or has no room near the key's home.
    bool Probe(const FCIBlockKey& key, uint64_t* slotIndex, Slot* slot, bool* found);
    bool InsertSlot(const Slot& slot);
    // Moves every slot into a table twice the size, in a new file.
    bool Grow();

    BlockDigest chainStart_ = RandomChainStart();
    static BlockDigest RandomChainStart();

    std::mutex mutex_;
    int32_t handle_ = -1;       // the blocks' bytes
    int32_t indexHandle_ = -1;  // the slots
    const char* tempPrefix_ = nullptr;
    uint64_t capacity_ = 0;  // slots, a power of two
    uint64_t entries_ = 0;
    uint64_t end_ = 0;       // where the next block goes
    bool writeFailed_ = false;
};

}  // namespace treepak
