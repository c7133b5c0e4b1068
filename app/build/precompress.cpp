#include "app/build/precompress.h"

#include <new>
#include <system_error>
#include <utility>

#include "app/build/block_memo.h"
#include "app/build/build_callbacks.h"
#include "cabinet/block_digest.h"
#include "cabinet/format.h"
#include "compress/compressor.h"
#include "platform/file_io.h"
#include "platform/interrupts.h"

namespace {

// Input the workers may hold claimed ahead of the engine; it bounds how
// much of the memo the engine has yet to read back (one file may exceed it
// when nothing else is ahead).
constexpr uint64_t kLookaheadBytes = 32u << 20;

// Each worker holds a compressor and three block buffers (about half a
// megabyte); past this many, memory grows faster than the engine can take
// their output anyway.
constexpr unsigned kMaxDefaultWorkers = 8;

std::atomic<int> threadsSetting{-1};

}  // namespace

int PrecompressThreads() {
    const int set = threadsSetting.load();
    if (set >= 0) return set;
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware == 0 ? 1 : static_cast<int>(hardware < kMaxDefaultWorkers ? hardware : kMaxDefaultWorkers);
}

void SetPrecompressThreads(int count) { threadsSetting.store(count < 0 ? -1 : count); }

Precompressor::Precompressor(BlockMemo* memo, int count, const std::string* paths, const uint64_t* sizes,
                             std::vector<uint16_t> types, int threads)
    : memo_(memo), count_(count), paths_(paths), sizes_(sizes), types_(std::move(types)), claims_(count, Claim::NONE),
      claimedBytes_(count, 0) {
    try {
        for (int t = 0; t < threads; ++t) workers_.emplace_back(&Precompressor::Work, this);
    } catch (const std::system_error&) {
        // Fewer workers, or none: the engine does the rest.
    }
}

Precompressor::~Precompressor() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void Precompressor::BeforeFile(int i) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (; released_ <= i; ++released_) ahead_ -= claimedBytes_[released_];
    if (i >= next_) {
        next_ = i + 1;
        claims_[i] = Claim::ENGINE;
    } else {
        changed_.wait(lock, [&] { return claims_[i] != Claim::WORKER; });
    }
    lock.unlock();
    changed_.notify_all();  // room ahead for the workers
}

bool Precompressor::ClaimNext(int* file) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        while (next_ < count_ && types_[next_] == 0) ++next_;
        if (stop_ || next_ >= count_ || platform::InterruptRequested()) return false;
        const uint64_t size = sizes_[next_];
        if (ahead_ == 0 || ahead_ + size <= kLookaheadBytes) {
            *file = next_++;
            claims_[*file] = Claim::WORKER;
            claimedBytes_[*file] = size;
            ahead_ += size;
            return true;
        }
        changed_.wait(lock);
    }
}

void Precompressor::Work() {
    uint32_t blockSize = CAB_BLOCK_SIZE;
    uint32_t outputCapacity = 0;
    void* compressor = nullptr;
    if (DeflateCreate(&blockSize, WriterAlloc, EngineFree, &outputCapacity, &compressor) != COMPRESSOR_OK) return;
    std::vector<uint8_t> input, previous, output;
    try {
        input.resize(CAB_BLOCK_SIZE);
        previous.resize(CAB_BLOCK_SIZE);
        output.resize(outputCapacity);
    } catch (const std::bad_alloc&) {
        DeflateDestroy(compressor);
        return;
    }
    int file = 0;
    while (ClaimNext(&file)) {
        CompressFile(file, compressor, input.data(), previous.data(), output.data(), outputCapacity);
        DeflateReset(compressor);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            claims_[file] = Claim::DONE;
        }
        changed_.notify_all();
    }
    DeflateDestroy(compressor);
}

// The engine's work on a folder of one file: the file cut into full blocks
// and a short last one, each extending the digest chain from its start.
// Blocks already in the memo (a file seen before) are skipped as the engine
// skips them, priming the compressor before the next one it compresses.
void Precompressor::CompressFile(int file, void* compressor, uint8_t* input, uint8_t* previous, uint8_t* output,
                                 uint32_t outputCapacity) {
    int32_t error = 0;
    const int32_t source = platform::OpenFile(paths_[file].c_str(), platform::OPEN_READ_ONLY | platform::OPEN_BINARY,
                                              0, &error);
    if (source < 0) return;
    BlockDigest chain = memo_->ChainStart();
    bool behind = false;
    uint32_t previousSize = 0, previousToken = 0;
    for (;;) {
        if (stop_ || platform::InterruptRequested()) break;
        const int32_t n = platform::ReadFile(source, input, CAB_BLOCK_SIZE, &error);
        if (n <= 0) break;
        const auto size = static_cast<uint32_t>(n);
        chain = ChainBlockDigest(chain, input, size);
        const FCIBlockKey key{types_[file], size, {chain.lane[0], chain.lane[1]}};
        uint32_t compressedSize = 0, token = 0;
        if (memo_->Lookup(key, output, outputCapacity, &compressedSize, &token)) {
            std::swap(input, previous);
            previousSize = size;
            previousToken = token;
            behind = true;
        } else {
            if (behind && DeflatePrime(compressor, previous, previousSize, previousToken) != COMPRESSOR_OK) break;
            behind = false;
            if (DeflateCompressBlock(compressor, input, size, output, outputCapacity, &compressedSize) !=
                    COMPRESSOR_OK ||
                DeflatePrimeToken(compressor, size, &token) != COMPRESSOR_OK)
                break;
            memo_->Store(key, output, compressedSize, token);
        }
        if (size < CAB_BLOCK_SIZE) break;
    }
    platform::CloseFile(source, &error);
}
