#include "app/build/precompress.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

#include "app/common/engine_memory.h"
#include "cabinet/format.h"
#include "fci/fci.h"
#include "platform/file_io.h"
#include "platform/interrupts.h"
#include "platform/positional_io.h"
#include "platform/thread_count.h"

namespace treepak {

namespace {

// Blocks of one unit: enough that the one guessed block before it costs a
// few percent, few enough that a megabyte file is spread over the workers.
constexpr uint32_t kUnitBlocks = 32;
constexpr uint32_t kUnitBytes = kUnitBlocks * CAB_BLOCK_SIZE;


// Each worker holds a block coder (about half a megabyte) and one unit of
// input; past this many, the engine cannot take their output any faster.
constexpr int kMaxDefaultThreads = 8;

std::atomic<int> threadsSetting{-1};

}  // namespace

int PrecompressThreads() {
    const int set = threadsSetting.load();
    if (set >= 0) return set;
    const int threads = platform::CompressingThreads(kMaxDefaultThreads);
    return threads > 1 ? threads : 0;
}

void SetPrecompressThreads(int count) { threadsSetting.store(count < 0 ? -1 : count); }

Precompressor::Precompressor(const FCIBlockMemo& memo, std::vector<PrecompressSource> sources, int threads,
                             uint64_t lookahead)
    : memo_(memo), sources_(std::move(sources)), lookahead_(lookahead) {
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

// The engine's folders as the build drives it: a source starts a folder
// when asked to or when its type differs from the open folder's; sources
// no worker may take end the open folder. Each block boundary is noted at
// the block's first byte, so a unit starting where a source ends is placed
// at the next source's start, where the engine reaches it.
bool Precompressor::PlanUnit(Unit* unit) {
    Planner& p = planner_;
    bool started = false;
    while (p.source < sources_.size()) {
        const PrecompressSource& s = sources_[p.source];
        if (p.offset == 0 && (s.type == 0 || s.startsFolder || !p.open || s.type != p.type)) {
            if (started) return true;  // the unit ends with its folder
            p.open = s.type != 0;
            p.type = s.type;
            p.inFolder = 0;
        }
        if (s.type == 0 || p.offset >= s.size) {
            ++p.source;
            p.offset = 0;
            continue;
        }
        const Position here{static_cast<int>(p.source), p.offset};
        if (p.inFolder % CAB_BLOCK_SIZE == 0) {
            if (started && p.inFolder % kUnitBytes == 0) return true;
            p.previousBlockStart = p.blockStart;
            p.blockStart = here;
        }
        if (!started) {
            const bool history = p.inFolder != 0;
            *unit = Unit{here, history ? p.previousBlockStart : here, history ? CAB_BLOCK_SIZE : 0, 0, p.type,
                         Claim::NONE};
            started = true;
        }
        const uint64_t take = std::min<uint64_t>(s.size - p.offset, CAB_BLOCK_SIZE - p.inFolder % CAB_BLOCK_SIZE);
        unit->bytes += static_cast<uint32_t>(take);
        p.offset += take;
        p.inFolder += take;
    }
    return started;
}

void Precompressor::BeforeFile(int i) {
    std::lock_guard<std::mutex> lock(mutex_);
    engine_ = Position{i, 0};
}

void Precompressor::BeforeRead(uint32_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    ReleaseUpTo(Position{engine_.source, engine_.offset + count}, lock);
    lock.unlock();
    changed_.notify_all();  // room ahead for the workers
}

void Precompressor::AfterRead(int32_t got) {
    if (got <= 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    engine_.offset += static_cast<uint64_t>(got);
}

// Units that start before end are the engine's from now on: it takes the
// ones nobody claimed and waits for those a worker is on.
void Precompressor::ReleaseUpTo(Position end, std::unique_lock<std::mutex>& lock) {
    for (;;) {
        if (window_.empty()) {
            Unit unit;
            if (!PlanUnit(&unit)) return;
            window_.push_back(unit);
        }
        Unit& first = window_.front();
        if (!(first.start < end)) return;
        if (first.claim == Claim::NONE) first.claim = Claim::ENGINE;
        changed_.wait(lock, [&] { return window_.front().claim != Claim::WORKER; });
        if (window_.front().claim == Claim::DONE) ahead_ -= window_.front().bytes;
        window_.pop_front();
        ++firstUnit_;
    }
}

bool Precompressor::ClaimNext(Unit* unit, uint64_t* id) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (stop_ || platform::InterruptRequested()) return false;
        size_t i = 0;
        while (i < window_.size() && window_[i].claim != Claim::NONE) ++i;
        if (i == window_.size()) {
            Unit planned;
            if (!PlanUnit(&planned)) return false;
            window_.push_back(planned);
        }
        if (ahead_ == 0 || ahead_ + window_[i].bytes <= lookahead_) {
            window_[i].claim = Claim::WORKER;
            ahead_ += window_[i].bytes;
            *unit = window_[i];
            *id = firstUnit_ + i;
            return true;
        }
        changed_.wait(lock);
    }
}

void Precompressor::Work() {
    FCIBlockCoder* coder = nullptr;
    uint16_t coderType = 0;
    std::vector<uint8_t> buffer;
    try {
        buffer.resize(CAB_BLOCK_SIZE + kUnitBytes);
    } catch (const std::bad_alloc&) {
        return;
    }
    Unit unit;
    uint64_t id = 0;
    while (ClaimNext(&unit, &id)) {
        if (coder == nullptr || coderType != unit.type) {
            FCIDestroyBlockCoder(coder);
            coder = FCICreateBlockCoder(unit.type, WriterAlloc, EngineFree, &memo_);
            coderType = unit.type;
        }
        if (coder != nullptr) CompressUnit(unit, coder, buffer.data());
        {
            std::lock_guard<std::mutex> lock(mutex_);
            // The engine waits for a claimed unit, so it is still in the window.
            window_[id - firstUnit_].claim = Claim::DONE;
        }
        changed_.notify_all();
    }
    FCIDestroyBlockCoder(coder);
}

// The engine's work on the unit's blocks, after the block before them.
void Precompressor::CompressUnit(const Unit& unit, FCIBlockCoder* coder, uint8_t* buffer) {
    if (!ReadStream(unit.read, buffer, unit.history + unit.bytes)) return;
    if ((unit.history != 0 ? FCIBlockCoderAssume(coder, buffer, unit.history) : FCIBlockCoderRestart(coder)) != 1)
        return;
    for (uint32_t done = 0; done < unit.bytes; done += CAB_BLOCK_SIZE) {
        if (stop_ || platform::InterruptRequested()) return;
        const uint8_t* compressed = nullptr;
        uint32_t size = 0;
        if (FCIBlockCoderNext(coder, buffer + unit.history + done, std::min(unit.bytes - done, CAB_BLOCK_SIZE),
                              &compressed, &size) != 1)
            return;
    }
}

// Reads count bytes of the folder from a position on, across sources.
// False when a source cannot be opened or holds fewer bytes than planned.
bool Precompressor::ReadStream(Position at, uint8_t* buffer, uint32_t count) {
    for (size_t source = static_cast<size_t>(at.source); count != 0; ++source) {
        if (source >= sources_.size()) return false;
        const uint64_t offset = source == static_cast<size_t>(at.source) ? at.offset : 0;
        const uint64_t size = sources_[source].size;
        if (offset >= size) continue;
        const auto take = static_cast<uint32_t>(std::min<uint64_t>(size - offset, count));
        int32_t error = 0;
        const int32_t handle = platform::OpenFile(sources_[source].path,
                                                  platform::OPEN_READ_ONLY | platform::OPEN_BINARY, 0, &error);
        if (handle < 0) return false;
        const int32_t got = platform::ReadFileAt(handle, buffer, take, offset, &error);
        platform::CloseFile(handle, &error);
        if (got != static_cast<int32_t>(take)) return false;
        buffer += take;
        count -= take;
    }
    return true;
}

}  // namespace treepak
