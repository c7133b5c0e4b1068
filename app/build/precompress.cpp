#include "app/build/precompress.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

#include "app/common/engine_memory.h"
#include "cabinet/format.h"
#include "cabinet/tp_assert.h"
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

PrecompressFeed FeedOf(std::vector<PrecompressSource> sources) {
    return [sources = std::move(sources), next = size_t{0}](PrecompressSource* source) mutable {
        if (next == sources.size()) return false;
        *source = sources[next++];
        return true;
    };
}

Precompressor::Precompressor(const FCIBlockMemo& memo, PrecompressFeed feed, int threads, uint64_t lookahead)
    : memo_(memo), feed_(std::move(feed)), lookahead_(lookahead) {
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

const PrecompressSource* Precompressor::SourceAt(size_t i) {
    TP_ASSERT(i >= firstSource_);
    while (!fed_ && i >= firstSource_ + sources_.size()) {
        PrecompressSource next;
        if (feed_(&next)) {
            sources_.push_back(std::move(next));
        } else {
            fed_ = true;
        }
    }
    return i < firstSource_ + sources_.size() ? &sources_[i - firstSource_] : nullptr;
}

// Units in the window read from their history block on, in order; the
// next unit to be planned reads from the planner's previous block start at
// the earliest.
void Precompressor::DropUnreadSources() {
    auto keep = static_cast<size_t>(planner_.previousBlockStart.source);
    if (!window_.empty()) keep = std::min(keep, static_cast<size_t>(window_.front().read.source));
    while (firstSource_ < keep && !sources_.empty()) {
        sources_.pop_front();
        ++firstSource_;
    }
}

// The engine's folders as the build drives it: a source starts a folder
// when asked to or when its type differs from the open folder's; sources
// no worker may take end the open folder. Each block boundary is noted at
// the block's first byte, so a unit starting where a source ends is placed
// at the next source's start, where the engine reaches it.
bool Precompressor::PlanUnit(Unit* unit) {
    Planner& p = planner_;
    bool started = false;
    while (const PrecompressSource* s = SourceAt(p.source)) {
        if (p.offset == 0 && (s->type == 0 || s->startsFolder || !p.open || s->type != p.type)) {
            if (started) return true;  // the unit ends with its folder
            p.open = s->type != 0;
            p.type = s->type;
            p.inFolder = 0;
            // No unit of the new folder reads before it.
            p.blockStart = p.previousBlockStart = Position{static_cast<int>(p.source), 0};
        }
        if (s->type == 0 || p.offset >= s->size) {
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
        const uint64_t take = std::min<uint64_t>(s->size - p.offset, CAB_BLOCK_SIZE - p.inFolder % CAB_BLOCK_SIZE);
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
        DropUnreadSources();
    }
}

bool Precompressor::ClaimNext(Unit* unit, uint64_t* id, std::vector<const PrecompressSource*>* unitSources) {
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
            // The sources it reads, from the one its history starts in.
            unitSources->clear();
            uint64_t left = unit->history + unit->bytes;
            for (auto source = static_cast<size_t>(unit->read.source); left != 0; ++source) {
                const PrecompressSource* s = SourceAt(source);
                if (s == nullptr) break;
                unitSources->push_back(s);
                const uint64_t offset = source == static_cast<size_t>(unit->read.source) ? unit->read.offset : 0;
                if (offset < s->size) left -= std::min<uint64_t>(s->size - offset, left);
            }
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
    std::vector<const PrecompressSource*> unitSources;
    while (ClaimNext(&unit, &id, &unitSources)) {
        if (coder == nullptr || coderType != unit.type) {
            FCIDestroyBlockCoder(coder);
            coder = FCICreateBlockCoder(unit.type, WriterAlloc, EngineFree, &memo_);
            coderType = unit.type;
        }
        if (coder != nullptr) CompressUnit(unit, unitSources, coder, buffer.data());
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
void Precompressor::CompressUnit(const Unit& unit, const std::vector<const PrecompressSource*>& unitSources,
                                 FCIBlockCoder* coder, uint8_t* buffer) {
    if (!ReadStream(unit, unitSources, buffer)) return;
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

// Reads the unit's bytes, its history first, across its sources (the
// first one is the one the reading starts in). False when a source cannot
// be opened or holds fewer bytes than planned.
bool Precompressor::ReadStream(const Unit& unit, const std::vector<const PrecompressSource*>& unitSources,
                               uint8_t* buffer) {
    uint32_t count = unit.history + unit.bytes;
    for (size_t k = 0; count != 0; ++k) {
        if (k >= unitSources.size()) return false;
        const uint64_t offset = k == 0 ? unit.read.offset : 0;
        const uint64_t size = unitSources[k]->size;
        if (offset >= size) continue;
        const auto take = static_cast<uint32_t>(std::min<uint64_t>(size - offset, count));
        int32_t error = 0;
        const int32_t handle = platform::OpenFile(unitSources[k]->path.c_str(),
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
