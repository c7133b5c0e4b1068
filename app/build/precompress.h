// Compression ahead of the writer engine, on worker threads. With one
// folder per file, a file's folder starts with a fresh compressor, so its
// blocks compress to the same bytes wherever that happens: workers take
// files ahead of the engine in list order, compress them block by block as
// the engine would (same 32768-byte blocks, same digest chain) and put the
// results into the build's block memo; the engine then finds them there.
// A file is compressed by a worker or by the engine, never by both. A
// worker that cannot read a file or store a block only leaves misses: the
// engine does that work and reports what goes wrong as it always did.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class BlockMemo;

// Workers a build starts: the number of hardware threads (at most 8), or
// the count set here (tests; 0 means none). A negative count restores the
// default.
int PrecompressThreads();
void SetPrecompressThreads(int count);

class Precompressor {
public:
    // types[i] is file i's type word when a worker may compress it (block
    // deflate, in a folder of its own), else 0; sizes[i] its size as the
    // build found it, which paces the workers. Starts the workers.
    Precompressor(BlockMemo* memo, int count, const std::string* paths, const uint64_t* sizes,
                  std::vector<uint16_t> types, int threads);
    // Stops the workers (each within one block) and waits for them.
    ~Precompressor();
    Precompressor(const Precompressor&) = delete;
    Precompressor& operator=(const Precompressor&) = delete;

    // Called with i = 0, 1, ... before the engine reads file i: waits for
    // a worker that has it, or keeps the workers off it.
    void BeforeFile(int i);

private:
    enum class Claim : uint8_t { NONE, WORKER, DONE, ENGINE };

    void Work();
    bool ClaimNext(int* file);
    void CompressFile(int file, void* compressor, uint8_t* input, uint8_t* previous, uint8_t* output,
                      uint32_t outputCapacity);

    BlockMemo* memo_;
    const int count_;
    const std::string* paths_;
    const uint64_t* sizes_;
    const std::vector<uint16_t> types_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Claim> claims_;
    std::vector<uint64_t> claimedBytes_;  // size of each file a worker claimed
    int next_ = 0;                        // first file nobody has claimed
    int released_ = 0;                    // files below this no longer count as ahead
    uint64_t ahead_ = 0;                  // bytes claimed by workers that the engine has not reached
    std::atomic<bool> stop_{false};
    std::vector<std::thread> workers_;
};
