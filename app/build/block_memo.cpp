#include "app/build/block_memo.h"

#include <algorithm>
#include <random>

#include "cabinet/tp_assert.h"
#include "platform/file_io.h"
#include "platform/positional_io.h"
#include "platform/temp_names.h"

namespace treepak {

namespace {

// The first table: 40 KB on disk. It doubles when half full, which keeps
// linear probes short.
constexpr uint64_t kInitialSlots = 1024;
// Slots read at once while probing, and the longest probe: a key whose
// neighbourhood is this full is simply not memoised.
constexpr uint32_t kProbeBatch = 8;
constexpr uint64_t kMaxProbe = 64;

void CloseIfOpen(int32_t handle) {
    int32_t error = 0;
    if (handle >= 0) platform::CloseFile(handle, &error);
}

bool SameKey(const FCIBlockKey& key, const uint64_t (&digest)[2], uint32_t uncompressedSize, uint16_t type) {
    return key.compressionType == type && key.uncompressedSize == uncompressedSize &&
           key.digest[0] == digest[0] && key.digest[1] == digest[1];
}

}  // namespace

BlockDigest BlockMemo::RandomChainStart() {
    std::random_device source;
    std::uniform_int_distribution<uint64_t> any;
    return BlockDigest{{any(source), any(source)}};
}

BlockMemo::~BlockMemo() {
    CloseIfOpen(handle_);
    CloseIfOpen(indexHandle_);
}

bool BlockMemo::Open(const char* tempPrefix) {
    TP_ASSERT(handle_ < 0);
    tempPrefix_ = tempPrefix;
    handle_ = platform::OpenUnnamedTempFile(tempPrefix);
    indexHandle_ = handle_ >= 0 ? platform::OpenUnnamedTempFile(tempPrefix) : -1;
    if (indexHandle_ < 0) {
        CloseIfOpen(handle_);
        handle_ = -1;
        return false;
    }
    capacity_ = kInitialSlots;
    return true;
}

// Keys are digests under a start chosen at random for this memo: the first
// word is as good as any hash of them.
bool BlockMemo::Probe(const FCIBlockKey& key, uint64_t* slotIndex, Slot* slot, bool* found) {
    const uint64_t mask = capacity_ - 1;
    Slot batch[kProbeBatch];
    for (uint64_t step = 0; step < kMaxProbe;) {
        const uint64_t first = (key.digest[0] + step) & mask;
        // A batch stops at the end of the table; the next one wraps.
        const uint64_t count = std::min<uint64_t>(kProbeBatch, capacity_ - first);
        int32_t error = 0;
        const int32_t got = platform::ReadFileAt(indexHandle_, batch, static_cast<uint32_t>(count * sizeof(Slot)),
                                                 first * sizeof(Slot), &error);
        if (got < 0) return false;
        // Past the end of the file the table is still empty.
        const auto full = static_cast<uint64_t>(got) / sizeof(Slot);
        for (uint64_t i = 0; i < count; ++i) {
            if (i >= full || batch[i].used == 0) {
                *slotIndex = first + i;
                *found = false;
                return true;
            }
            if (SameKey(key, batch[i].digest, batch[i].uncompressedSize, batch[i].compressionType)) {
                *slotIndex = first + i;
                *slot = batch[i];
                *found = true;
                return true;
            }
        }
        step += count;
    }
    return false;
}

bool BlockMemo::InsertSlot(const Slot& slot) {
    const FCIBlockKey key{slot.compressionType, slot.uncompressedSize, {slot.digest[0], slot.digest[1]}};
    uint64_t index = 0;
    Slot existing{};
    bool found = false;
    if (!Probe(key, &index, &existing, &found)) return false;
    if (found) return true;
    int32_t error = 0;
    if (platform::WriteFileAt(indexHandle_, &slot, sizeof(Slot), index * sizeof(Slot), &error) !=
        static_cast<int32_t>(sizeof(Slot)))
        return false;
    ++entries_;
    return true;
}

bool BlockMemo::Grow() {
    const int32_t oldHandle = indexHandle_;
    const uint64_t oldCapacity = capacity_;
    const uint64_t oldEntries = entries_;
    const int32_t newHandle = platform::OpenUnnamedTempFile(tempPrefix_);
    if (newHandle < 0) return false;
    indexHandle_ = newHandle;
    capacity_ = oldCapacity * 2;
    entries_ = 0;
    Slot batch[kProbeBatch];
    bool moved = true;
    for (uint64_t first = 0; moved && first < oldCapacity; first += kProbeBatch) {
        int32_t error = 0;
        const int32_t got =
            platform::ReadFileAt(oldHandle, batch, sizeof(batch), first * sizeof(Slot), &error);
        moved = got >= 0;
        for (uint64_t i = 0; moved && i < static_cast<uint64_t>(got) / sizeof(Slot); ++i)
            if (batch[i].used != 0) moved = InsertSlot(batch[i]);
    }
    CloseIfOpen(moved ? oldHandle : newHandle);
    if (!moved) {
        // The old table is still whole: keep it, and stop storing.
        indexHandle_ = oldHandle;
        capacity_ = oldCapacity;
        entries_ = oldEntries;
    }
    return moved;
}

bool BlockMemo::Lookup(const FCIBlockKey& key, void* output, uint32_t capacity, uint32_t* compressedSize,
                       uint32_t* primeToken) {
    Slot slot{};
    {
        // Under the lock, so that a lookup never reads a slot half written
        // or a table being moved.
        std::lock_guard<std::mutex> lock(mutex_);
        uint64_t index = 0;
        bool found = false;
        if (indexHandle_ < 0 || !Probe(key, &index, &slot, &found) || !found) return false;
    }
    // Slots are written only once their bytes are, and never change: the
    // read needs no lock.
    if (slot.size > capacity) return false;
    int32_t error = 0;
    if (platform::ReadFileAt(handle_, output, slot.size, slot.offset, &error) != static_cast<int32_t>(slot.size))
        return false;
    *compressedSize = slot.size;
    *primeToken = slot.primeToken;
    return true;
}

void BlockMemo::Store(const FCIBlockKey& key, const void* compressed, uint32_t size, uint32_t primeToken) {
    // A key stored twice (two threads on one block) costs its bytes twice
    // in the file; its slot is written once.
    uint64_t offset;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (handle_ < 0 || writeFailed_) return;
        offset = end_;
        end_ += size;
    }
    int32_t error = 0;
    const bool written = platform::WriteFileAt(handle_, compressed, size, offset, &error) == static_cast<int32_t>(size);
    std::lock_guard<std::mutex> lock(mutex_);
    if (written && 2 * (entries_ + 1) > capacity_ && !Grow()) writeFailed_ = true;
    const Slot slot{{key.digest[0], key.digest[1]}, offset, size, primeToken, key.uncompressedSize,
                    key.compressionType, 1};
    if (!written || writeFailed_ || !InsertSlot(slot)) writeFailed_ = true;
}

int32_t BlockMemo::LookupCallback(const FCIBlockKey* key, void* output, uint32_t capacity, uint32_t* compressedSize,
                                  uint32_t* primeToken, void* memoContext) {
    return static_cast<BlockMemo*>(memoContext)->Lookup(*key, output, capacity, compressedSize, primeToken) ? 1 : 0;
}

void BlockMemo::StoreCallback(const FCIBlockKey* key, const void* compressed, uint32_t size, uint32_t primeToken,
                              void* memoContext) {
    static_cast<BlockMemo*>(memoContext)->Store(*key, compressed, size, primeToken);
}

}  // namespace treepak
