#include "lzx_searcher.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "app/build/precompress.h"
#include "app/common/engine_memory.h"
#include "cabinet/format.h"
#include "cabinet/lzx_format.h"
#include "compress/compressor.h"
#include "platform/file_io.h"
#include "platform/large_blocks.h"
#include "platform/positional_io.h"

namespace treepak {

namespace {

constexpr uint32_t kChunk = LZX_FRAME_SIZE;
constexpr uint32_t kSlide = FCI_LZX_SLIDE_AMOUNT;
// A stretch's results take 7-13 bytes a position; this bounds them.
constexpr uint32_t kMaxStretch = 20u << 20;
// Time a byte costs, in units of the engine compressing it alone: the
// thread searching it, the engine taking its results (with the positions
// left to it), and a byte of the warm-up before each stretch.
constexpr double kSearchCost = 1.1;
constexpr double kTakeCost = 0.2;
constexpr double kWarmUpCost = 0.7;
// Bounds of what a cabinet holds beyond the compressed bytes: a file's
// record with its name, and the headers.
constexpr uint64_t kFileRecordBound = 16 + 256;
constexpr uint64_t kMargin = 1u << 20;
// Jobs the thread may hold: one the engine reads, one being searched. The
// thread starts a stretch only once the engine has reached the one before
// it, which is when the plan has it start anyway: so the results waiting
// to be read never exceed one stretch's.
constexpr int kSlots = 2;

// A job's trees and bytes come in huge pages, as the writer's own; its
// results, a block of 64 KiB to 512 KiB per chunk, from the heap, which
// gives freed ones back to the system (shared huge-page regions would keep
// each block size's high-water mark resident).
void* JobAlloc(uint32_t size) {
    return size >= platform::kOwnRegionMinimum ? WriterAlloc(size) : std::malloc(size);
}

struct PlannedFolder {
    std::vector<std::string> paths;
    std::vector<uint64_t> sizes;
};

struct Stretch {
    uint32_t folder;
    uint32_t from, to;
};

enum class SlotState { kFree, kQueued, kRunning, kDone, kFailed };

struct Slot {
    LzxSearchJob* job = nullptr;
    SlotState state = SlotState::kFree;
    Stretch stretch{};
    uint32_t chunksDone = 0;
};

// Stretches [from, to) of a folder of `size` bytes, in chunks: each starts
// where the engine should be when the thread, which started on it when the
// one before was done, is done with it.
void PlanStretches(uint32_t folder, uint64_t size, uint32_t window, std::vector<Stretch>* out) {
    const uint64_t end = std::min<uint64_t>(size, UINT32_MAX) / kChunk * kChunk;
    if (end == 0) return;
    const double warm = kWarmUpCost * window;
    double engineTime = 0, threadTime = 0;
    uint64_t position = 0;
    for (;;) {
        // A last stretch to the end, finished when the engine arrives.
        double from = (threadTime - engineTime + warm + kSearchCost * end + position) / (1 + kSearchCost);
        uint64_t to = end;
        if (end - std::min<double>(from, end) > kMaxStretch) {
            from = position + (threadTime + warm + kSearchCost * kMaxStretch - engineTime);
            to = static_cast<uint64_t>(from) / kChunk * kChunk + kMaxStretch;
        }
        const uint64_t first = std::max<uint64_t>(static_cast<uint64_t>(std::max(from, 0.0)) / kChunk * kChunk,
                                                  2ull * window + kSlide);
        if (to > end || first >= to || to - first < 2ull * window) return;
        out->push_back({folder, static_cast<uint32_t>(first), static_cast<uint32_t>(to)});
        const double length = static_cast<double>(to - first);
        threadTime = std::max(threadTime, 0.0) + warm + kSearchCost * length;
        engineTime = std::max(engineTime + static_cast<double>(first - position), threadTime) + kTakeCost * length +
                     kWarmUpCost * window;
        position = to;
    }
}

}  // namespace

class LzxSearcher {
public:
    LzxSearcher(std::vector<PlannedFolder> folders, std::vector<Stretch> stretches, uint32_t window)
        : folders_(std::move(folders)), stretches_(std::move(stretches)), window_(window) {}

    ~LzxSearcher() { Stop(); }

    bool Start() {
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (...) {
            return false;
        }
        return true;
    }

    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable()) thread_.join();
        for (Slot& slot : slots_)
            if (slot.job) LzxSearchJobDestroy(slot.job);
        for (Slot& slot : slots_) slot.job = nullptr;
    }

    static LzxSearchJob* Lookup(uint32_t folder, uint32_t offset, void* context) {
        return static_cast<LzxSearcher*>(context)->Find(folder, offset);
    }

private:
    // The engine is at (folder, offset): stretches behind it are done with,
    // and the one holding offset is waited for, or given up when the thread
    // has not started it.
    LzxSearchJob* Find(uint32_t folder, uint32_t offset) {
        std::unique_lock<std::mutex> lock(mutex_);
        const bool moved = folder != engineFolder_ || offset != engineOffset_;
        engineFolder_ = folder;
        engineOffset_ = offset;
        bool wake = moved;  // the thread may wait for the engine to get here
        Slot* found = nullptr;
        for (Slot& slot : slots_) {
            if (slot.state == SlotState::kFree) continue;
            const Stretch& s = slot.stretch;
            if (s.folder < folder || (s.folder == folder && s.to <= offset)) {
                if (slot.state != SlotState::kRunning) {
                    slot.state = SlotState::kFree;
                    wake = true;
                }
            } else if (s.folder == folder && s.from <= offset) {
                found = &slot;
            }
        }
        if (wake) changed_.notify_all();
        if (!found) return nullptr;
        // The engine is done with the chunks before this one.
        if (found->state == SlotState::kRunning || found->state == SlotState::kDone)
            LzxSearchJobRelease(found->job, offset);
        const uint32_t needed = (offset - found->stretch.from) / kChunk + 1;
        if (found->state == SlotState::kQueued) found->state = SlotState::kFailed;
        changed_.wait(lock, [&] {
            return found->state == SlotState::kFailed || found->state == SlotState::kDone || found->chunksDone >= needed;
        });
        return found->state == SlotState::kFailed ? nullptr : found->job;
    }

    // False stops the job: the searcher is stopping.
    static int Progress(void* context, uint32_t chunksDone) {
        auto* slot = static_cast<std::pair<LzxSearcher*, Slot*>*>(context);
        bool stopping;
        {
            std::lock_guard<std::mutex> lock(slot->first->mutex_);
            slot->second->chunksDone = chunksDone;
            stopping = slot->first->stopping_;
        }
        slot->first->changed_.notify_all();
        return stopping ? 0 : 1;
    }

    // The folder's bytes [start, end) into `out`; false when a file cannot
    // be read as planned.
    bool ReadFolder(uint32_t folder, uint32_t start, uint32_t end, uint8_t* out) {
        const PlannedFolder& f = folders_[folder];
        uint64_t base = 0;
        for (size_t i = 0; i < f.paths.size() && start < end; ++i) {
            const uint64_t size = f.sizes[i];
            if (start < base + size) {
                int32_t error = 0;
                const int32_t handle = platform::OpenFile(f.paths[i].c_str(), platform::OPEN_READ_ONLY | platform::OPEN_BINARY, 0, &error);
                if (handle < 0) return false;
                bool ok = true;
                while (ok && start < end && start < base + size) {
                    const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(end, base + size) - start);
                    const int32_t got = platform::ReadFileAt(handle, out, std::min(count, 1u << 20), start - base, &error);
                    ok = got > 0;
                    if (ok) {
                        out += got;
                        start += static_cast<uint32_t>(got);
                    }
                }
                platform::CloseFile(handle, &error);
                if (!ok) return false;
            }
            base += size;
        }
        return start == end;
    }

    // Whether the engine has reached (folder, offset); called locked.
    bool EngineReached(uint32_t folder, uint32_t offset) const {
        return engineFolder_ > folder || (engineFolder_ == folder && engineOffset_ >= offset);
    }

    void Run() {
        size_t next = 0;
        while (next < stretches_.size()) {
            Slot* slot = nullptr;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [&] {
                    if (stopping_) return true;
                    if (next > 0 && !EngineReached(stretches_[next - 1].folder, stretches_[next - 1].from)) return false;
                    for (Slot& s : slots_)
                        if (s.state == SlotState::kFree) return true;
                    return false;
                });
                if (stopping_) return;
                const Stretch& s = stretches_[next++];
                // Nothing to gain once the engine is past its start.
                if (s.folder < engineFolder_ || (s.folder == engineFolder_ && s.from < engineOffset_)) continue;
                for (Slot& candidate : slots_)
                    if (candidate.state == SlotState::kFree) slot = &candidate;
                slot->stretch = s;
                slot->chunksDone = 0;
                slot->state = SlotState::kQueued;
            }
            const Stretch s = slot->stretch;
            // Jobs are made as they are first needed: most folders need one.
            const LzxParams params{window_, kSlide};
            if (slot->job == nullptr && LzxSearchJobCreate(&params, JobAlloc, EngineFree, &slot->job) != COMPRESSOR_OK)
                slot->job = nullptr;
            const uint32_t start = LzxSearchJobDataStart(slot->job, s.from);
            uint8_t* data = slot->job ? LzxSearchJobPrepare(slot->job, s.from, s.to) : nullptr;
            bool ok = data != nullptr && ReadFolder(s.folder, start, s.to, data);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (slot->state != SlotState::kQueued) ok = false;  // given up while reading
                slot->state = ok ? SlotState::kRunning : SlotState::kFailed;
            }
            if (ok) {
                std::pair<LzxSearcher*, Slot*> context{this, slot};
                ok = LzxSearchJobRun(slot->job, Progress, &context) == COMPRESSOR_OK;
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                slot->state = ok ? SlotState::kDone : SlotState::kFailed;
            }
            changed_.notify_all();
        }
    }

    std::vector<PlannedFolder> folders_;
    std::vector<Stretch> stretches_;
    uint32_t window_;
    Slot slots_[kSlots];
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    uint32_t engineFolder_ = 0, engineOffset_ = 0;
};

LzxSearcherPtr StartLzxSearcher(const CabwriteOptions& options, const std::vector<InputFile>& files,
                                FCIContext* context) {
    if (CompressKind(options.compressionType) != COMPRESS_LZX || PrecompressThreads() == 0 || files.empty())
        return nullptr;
    const uint32_t window = 1u << CompressWindowBits(options.compressionType);
    std::vector<PlannedFolder> folders;
    for (size_t i = 0; i < files.size(); ++i) {
        if (i == 0 || options.folderPerFile) folders.emplace_back();
        folders.back().paths.push_back(files[i].path);
        folders.back().sizes.push_back(static_cast<uint64_t>(std::max<int64_t>(files[i].status.size, 0)));
    }
    // The engine also ends a folder when the cabinet or the folder grows
    // past its limit, and a folder that ends inside a stretch would come
    // out other than with one thread: stretches stay where even incompressible
    // bytes, with every block's and file's records, cannot reach a limit.
    const uint64_t cabinetLimit = options.maxCabinetSize != 0 ? options.maxCabinetSize : FCI_DEFAULT_MAX_CABINET;
    auto written = [](uint64_t bytes, uint64_t files) { return bytes + bytes / 8 + files * kFileRecordBound + kMargin; };
    std::vector<Stretch> stretches;
    uint64_t before = 0, filesBefore = 0;
    for (uint32_t f = 0; f < folders.size(); ++f) {
        uint64_t size = 0;
        for (uint64_t s : folders[f].sizes) size += s;
        const uint64_t files = folders[f].sizes.size();
        uint64_t safe = size;
        while (safe > 0 && (written(before + safe, filesBefore + files) >= cabinetLimit ||
                            written(safe, files) >= options.folderThreshold))
            safe = safe > kChunk ? safe - safe / 16 - kChunk : 0;
        PlanStretches(f, safe, window, &stretches);
        before += size;
        filesBefore += files;
    }
    if (stretches.empty()) return nullptr;
    LzxSearcherPtr searcher(new LzxSearcher(std::move(folders), std::move(stretches), window));
    if (!searcher->Start() || FCISetLzxSearchJobs(context, LzxSearcher::Lookup, searcher.get()) != 1) return nullptr;
    return searcher;
}

void StopLzxSearcher::operator()(LzxSearcher* searcher) const { delete searcher; }

}  // namespace treepak
