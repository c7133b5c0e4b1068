#include "app/build/block_memo.h"

#include <random>

#include "platform/file_io.h"
#include "platform/positional_io.h"
#include "platform/temp_names.h"

namespace treepak {

namespace {

// Attempts at a free temporary name, as many as the writer makes.
constexpr int kNameAttempts = 11;

}  // namespace

BlockDigest BlockMemo::RandomChainStart() {
    std::random_device source;
    std::uniform_int_distribution<uint64_t> any;
    return BlockDigest{{any(source), any(source)}};
}

BlockMemo::~BlockMemo() {
    if (handle_ < 0) return;
    int32_t error = 0;
    platform::CloseFile(handle_, &error);
}

bool BlockMemo::Open(const char* tempPrefix) {
    for (int attempt = 0; attempt < kNameAttempts && handle_ < 0; ++attempt) {
        std::string name;
        if (!platform::MakeTempName(tempPrefix, &name)) return false;
        int32_t error = 0;
        handle_ = platform::OpenFile(
            name.c_str(),
            platform::OPEN_BINARY | platform::OPEN_EXCLUSIVE | platform::OPEN_CREATE | platform::OPEN_READ_WRITE,
            platform::MODE_READ | platform::MODE_WRITE, &error);
        if (handle_ >= 0 && platform::DeleteFile(name.c_str(), &error) != 0) {
            // A name that stays would outlive the build.
            platform::CloseFile(handle_, &error);
            handle_ = -1;
            return false;
        }
    }
    return handle_ >= 0;
}

bool BlockMemo::Lookup(const FCIBlockKey& key, void* output, uint32_t capacity, uint32_t* compressedSize,
                       uint32_t* primeToken) {
    Entry entry;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = index_.find(key);
        if (found == index_.end()) return false;
        entry = found->second;
    }
    // Entries are indexed only once their bytes are written, and never
    // change: the read needs no lock.
    if (entry.size > capacity) return false;
    int32_t error = 0;
    if (platform::ReadFileAt(handle_, output, entry.size, entry.offset, &error) != static_cast<int32_t>(entry.size))
        return false;
    *compressedSize = entry.size;
    *primeToken = entry.primeToken;
    return true;
}

void BlockMemo::Store(const FCIBlockKey& key, const void* compressed, uint32_t size, uint32_t primeToken) {
    uint64_t offset;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (handle_ < 0 || writeFailed_ || index_.contains(key)) return;
        offset = end_;
        end_ += size;
    }
    int32_t error = 0;
    const bool written = platform::WriteFileAt(handle_, compressed, size, offset, &error) == static_cast<int32_t>(size);
    std::lock_guard<std::mutex> lock(mutex_);
    if (!written) {
        writeFailed_ = true;
        return;
    }
    index_.emplace(key, Entry{offset, size, primeToken});
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
