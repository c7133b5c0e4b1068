// Compression ahead of the writer engine, on worker threads, block by
// block. The engine reads its sources in list order into folders cut into
// 32768-byte blocks; the workers plan the same folders from the list
// (which files start a folder, each file's size as the build found it),
// cut them into units of consecutive blocks, and run each unit through a
// block coder into the memo, where the engine then finds the blocks. A
// unit in the middle of a folder starts from the block before it, whose
// match-table state the coder guesses (see FCIBlockCoderAssume); the memo's
// keys make a wrong guess, or a plan the engine does not follow (a file
// that changed size), cost misses, never different bytes.
//
// The engine tells the workers where it reads; a unit it reaches before any
// worker took it is the engine's to compress, and it waits for a unit a
// worker is still on. A worker that cannot read a file or store a block
// only leaves misses: the engine does that work and reports what goes
// wrong as it always did.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fci/fci.h"

namespace treepak {


// Workers a build starts: none when one thread is to compress, else one
// per compressing thread (platform/thread_count.h), or the count set here
// (tests; 0 means none). A negative count restores the default.
int PrecompressThreads();
void SetPrecompressThreads(int count);

// One source the engine will read, in the engine's order.
struct PrecompressSource {
    std::string path;
    uint32_t size;      // a cabinet holds no file of 4 GiB or more
    uint16_t type;      // block-deflate type word when workers may compress it, else 0
    bool startsFolder;  // the engine starts a fresh folder with it
};

// Gives the next source into *source; false past the last. Called under the
// workers' lock, from any of their threads or the engine's, in order.
using PrecompressFeed = std::function<bool(PrecompressSource* source)>;
// A feed that gives the sources of a list the caller holds whole.
PrecompressFeed FeedOf(std::vector<PrecompressSource> sources);

class Precompressor {
public:
    // Input the workers may hold claimed ahead of the engine by default:
    // enough to keep them busy while the engine copies, little to lose when
    // the engine's folders turn out other than planned.
    static constexpr uint64_t kLookaheadBytes = 8u << 20;

    // Starts the workers; the memo and what the feed reads must outlive
    // the object. Sources are taken from the feed as the plan reaches them
    // and dropped once no unit reads them, so only those around the
    // engine's position and the workers' are held.
    Precompressor(const FCIBlockMemo& memo, PrecompressFeed feed, int threads,
                  uint64_t lookahead = kLookaheadBytes);
    // Stops the workers (each within one block) and waits for them.
    ~Precompressor();
    Precompressor(const Precompressor&) = delete;
    Precompressor& operator=(const Precompressor&) = delete;

    // Called with i = 0, 1, ... before the engine opens source i.
    void BeforeFile(int i);
    // Called before the engine reads up to count bytes of the current
    // source, and with what the read returned after it.
    void BeforeRead(uint32_t count);
    void AfterRead(int32_t got);

private:
    enum class Claim : uint8_t { NONE, WORKER, DONE, ENGINE };
    // A position in the engine's reading: source index, offset in it.
    struct Position {
        int source;
        uint64_t offset;
        auto operator<=>(const Position&) const = default;
    };
    // A run of whole blocks of one folder.
    struct Unit {
        Position start;    // the unit's first byte
        Position read;     // where reading starts: the block before, if any
        uint32_t history;  // bytes of that block: 0 or one full block
        uint32_t bytes;    // the unit's own bytes
        uint16_t type;
        Claim claim;
    };
    // Cuts the sources into units, one at a time, as the workers or the
    // engine get to them.
    struct Planner {
        size_t source = 0;     // next source to cut
        uint64_t offset = 0;   // bytes of it already cut
        uint64_t inFolder = 0; // bytes of the current folder so far
        bool open = false;     // a folder of workers' sources is open
        uint16_t type = 0;
        Position blockStart{}, previousBlockStart{};
    };

    // Source i, taken from the feed if need be; nullptr past the last.
    const PrecompressSource* SourceAt(size_t i);
    void DropUnreadSources();
    bool PlanUnit(Unit* unit);
    void Work();
    bool ClaimNext(Unit* unit, uint64_t* id, std::vector<const PrecompressSource*>* unitSources);
    void CompressUnit(const Unit& unit, const std::vector<const PrecompressSource*>& unitSources,
                      struct FCIBlockCoder* coder, uint8_t* buffer);
    bool ReadStream(const Unit& unit, const std::vector<const PrecompressSource*>& unitSources, uint8_t* buffer);
    void ReleaseUpTo(Position end, std::unique_lock<std::mutex>& lock);

    const FCIBlockMemo memo_;
    PrecompressFeed feed_;
    const uint64_t lookahead_;

    std::mutex mutex_;
    std::condition_variable changed_;
    // Sources from number firstSource_ on; a deque keeps each one where it
    // is while others come and go, so a worker reads its unit's sources
    // outside the lock.
    std::deque<PrecompressSource> sources_;
    size_t firstSource_ = 0;
    bool fed_ = false;  // the feed has given its last source
    Planner planner_;
    // Units planned and not yet passed by the engine; the first has number
    // firstUnit_.
    std::deque<Unit> window_;
    uint64_t firstUnit_ = 0;
    uint64_t ahead_ = 0;    // bytes of claimed units the engine has not reached
    Position engine_{-1, 0};
    std::atomic<bool> stop_{false};
    std::vector<std::thread> workers_;
};

}  // namespace treepak
