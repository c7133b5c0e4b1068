// A search job's run: the folder's bytes translated as the encoder
// translates them, the encoder's window buffer laid out at the warm-up's
// start, the warm-up's tree work, and the searches of the stretch, noted
// per position (see lzx_search_job.h for why the trees come out the same).
#include "compress/lzx/lzx_search_job.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "compress/compressor.h"
#include "compress/lzx/lzx_tree_walk.h"

namespace treepak {

namespace lzxenc {

namespace {

constexpr uint32_t kFrame = LZX_FRAME_SIZE;
// A distance-1 match longer than kRunInsertLimit needs its source byte and
// kRunInsertLimit + 1 more, all equal.
constexpr uint32_t kTaintRun = kRunInsertLimit + 2;
constexpr uint32_t kFirstRecordBytes = 1u << 16;

// The folder offset at the start of the encoder's window buffer while it
// parses the chunk at `offset`: it slides by slideSize after each chunk
// that ends at W + k * slideSize (k = 1, 2, ...).
uint32_t OriginAt(uint32_t windowSize, uint32_t slideSize, uint32_t offset) {
    return offset < windowSize ? 0 : (offset - windowSize) / slideSize * slideSize;
}

bool AppendRecord(SearchJob* job, ChunkRecords* out, const uint8_t* bytes, uint32_t size) {
    if (out->size + size > out->capacity) {
        uint32_t capacity = std::max(out->capacity * 2, kFirstRecordBytes);
        while (capacity < out->size + size) capacity *= 2;
        auto* grown = static_cast<uint8_t*>(job->alloc(capacity));
        if (!grown) return false;
        if (out->size) std::memcpy(grown, out->bytes, out->size);
        if (out->bytes) job->free(out->bytes);
        out->bytes = grown;
        out->capacity = capacity;
    }
    std::memcpy(out->bytes + out->size, bytes, size);
    out->lastLong = kNoLongRecord;
    out->size += size;
    return true;
}

// A long record, or one more position of the run the last record starts
// when it has the same distance.
bool AppendLong(SearchJob* job, ChunkRecords* out, uint32_t distance) {
    if (out->lastLong != kNoLongRecord) {
        uint8_t* last = out->bytes + out->lastLong;
        uint32_t lastDistance;
        std::memcpy(&lastDistance, last + 1, sizeof lastDistance);
        if (lastDistance == distance) {
            if (last[0] == kRecordLongRun) {
                uint16_t count;
                std::memcpy(&count, last + kLongRecordBytes, sizeof count);
                ++count;
                std::memcpy(last + kLongRecordBytes, &count, sizeof count);
                return true;
            }
            const uint32_t at = out->lastLong;
            const uint16_t two = 2;
            if (!AppendRecord(job, out, reinterpret_cast<const uint8_t*>(&two), sizeof two)) return false;
            out->bytes[at] = kRecordLongRun;
            out->lastLong = at;
            return true;
        }
    }
    uint8_t record[kLongRecordBytes] = {kRecordLong};
    std::memcpy(record + 1, &distance, sizeof distance);
    const uint32_t at = out->size;
    if (!AppendRecord(job, out, record, sizeof record)) return false;
    out->lastLong = at;
    return true;
}

// The record of position p from its walk's notes (count 0: no source).
bool RecordNotes(SearchJob* job, ChunkRecords* out, const Trees& t, uint32_t p, const WalkNotes& notes) {
    uint8_t record[1 + kMaxNoteBytes * kLongMatch];
    if (notes.count == 0) {
        record[0] = kRecordNone;
        return AppendRecord(job, out, record, 1);
    }
    const uint32_t last = notes.count - 1;
    if (notes.length[last] >= kLongMatch) {
        const uint8_t* cur = t.window + (p - t.origin);
        const uint32_t best = CommonLength(cur - (p - notes.source[last]), cur, kLongMatch, kMaxCompare);
        const uint32_t room = kFrameMask - (p & kFrameMask);
        if (best > kLongMatch && room > kLongMatch) return AppendLong(job, out, p - notes.source[last]);
    }
    const bool sameSource = notes.count >= 2 && notes.source[1] == notes.source[0];
    record[0] = static_cast<uint8_t>(sameSource ? (notes.count - 1) | kRecordSameSource : notes.count);
    uint32_t size = 1;
    for (uint32_t k = sameSource ? 1 : 0; k < notes.count; ++k)
        size += PutNote(record + size, notes.length[k], p - notes.source[k]);
    return AppendRecord(job, out, record, size);
}

// Taint from the chunk at folder offset `a` as the encoder sees it: its
// bytes, the byte before it, and past its end the byte the window holds
// there at that time.
void TaintChunk(SearchJob* job, uint32_t a, uint8_t afterEnd) {
    const uint8_t* base = job->data - job->dataStart;  // folder offset -> byte
    const uint32_t b = a + kFrame;
    uint32_t i = a - 1;
    while (i < b) {
        uint32_t j = i + 1;
        while (j < b && base[j] == base[i]) ++j;
        if (j - i >= kTaintRun) {
            const uint32_t v = base[i];
            job->taint[v | v << 8] = 1;
            job->taint[v | static_cast<uint32_t>(j < b ? base[j] : afterEnd) << 8] = 1;
        }
        i = j;
    }
}

bool Tainted(const SearchJob* job, const Trees& t, uint32_t q) { return job->taint[KeyAt(t.window + (q - t.origin))]; }

// Untainted positions of [first, end) searched with noting walks, two of
// different keys in step, their records appended in order.
bool SearchChunk(SearchJob* job, LzxEncoder* h, uint32_t first, uint32_t end, ChunkRecords* out) {
    const Trees t = TreesOf(h, first);
    const uint32_t bias = 4 - h->windowSize;
    WalkNotes na, nb;
    auto one = [&](uint32_t q) {
        na.count = 0;
        WalkOne<WalkMode::kNote>(t, q, q + bias, kLongMatch, &na);
        return RecordNotes(job, out, t, q, na);
    };
    uint32_t pending = 0;
    for (uint32_t q = first; q < end; ++q) {
        if (Tainted(job, t, q)) {
            if (pending != 0 && !one(pending)) return false;
            pending = 0;
            continue;
        }
        if (pending == 0) {
            pending = q;
            continue;
        }
        const uint32_t q0 = pending;
        pending = 0;
        if (KeyAt(t.window + (q0 - t.origin)) == KeyAt(t.window + (q - t.origin))) {
            if (!one(q0) || !one(q)) return false;
            continue;
        }
        Walk a{}, b{};
        na.count = nb.count = 0;
        bool liveA = BeginWalk<WalkMode::kNote>(t, q0, q0 + bias, &na, &a);
        bool liveB = BeginWalk<WalkMode::kNote>(t, q, q + bias, &nb, &b);
        while (liveA && liveB) {
            liveA = StepWalk<WalkMode::kNote>(t, kLongMatch, &na, &a);
            liveB = StepWalk<WalkMode::kNote>(t, kLongMatch, &nb, &b);
        }
        while (liveA) liveA = StepWalk<WalkMode::kNote>(t, kLongMatch, &na, &a);
        while (liveB) liveB = StepWalk<WalkMode::kNote>(t, kLongMatch, &nb, &b);
        if (!RecordNotes(job, out, t, q0, na) || !RecordNotes(job, out, t, q, nb)) return false;
    }
    return pending == 0 || one(pending);
}

}  // namespace

uint32_t SearchJobDataStart(uint32_t windowSize, uint32_t slideSize, uint32_t from) {
    // The warm-up starts at from - W, where the encoder must have slid at
    // least once (so that every byte of its buffer is this folder's), and
    // the bytes its buffer holds then reach back one more buffer and slide.
    if (from % kFrame != 0 || from < 2 * windowSize + slideSize) return kNoSearchJob;
    const uint32_t start = from - windowSize;
    const uint32_t back = windowSize + 2 * slideSize;
    return start > back ? (start - back) / kFrame * kFrame : 0;
}

BlockDigest ChunkDigest(const uint8_t* bytes, uint32_t size) {
    return ChainBlockDigest(BLOCK_DIGEST_START, bytes, size);
}

bool RunSearchJob(SearchJob* job, int (*progress)(void* context, uint32_t chunksDone), void* context) {
    const uint32_t w = job->windowSize, slide = job->slideSize;
    const uint32_t start = job->from - w;
    LzxEncoder* h = job->trees;
    uint8_t* data = job->data;
    const uint8_t* base = data - job->dataStart;

    // Translation and digests, chunk by chunk as the encoder does them.
    for (uint32_t a = job->dataStart; a < job->to; a += kFrame) {
        uint32_t e8Offset = a;
        if (a / kFrame < kMaxChunks) TranslateE8(data + (a - job->dataStart), kFrame, &e8Offset, LZX_E8_TRANSLATION_SIZE);
        job->digests[(a - job->dataStart) / kFrame] = ChunkDigest(data + (a - job->dataStart), kFrame);
    }

    // Taint, with the byte each chunk's last walks see past its end.
    std::memset(job->taint, 0, sizeof job->taint);
    for (uint32_t a = start; a < job->to; a += kFrame) {
        const uint32_t endOffset = a + kFrame - OriginAt(w, slide, a);  // in the buffer
        uint8_t after = 0;
        if (endOffset < w + slide) after = base[a + kFrame - slide];
        TaintChunk(job, a, after);
    }

    // The buffer as the encoder holds it before the warm-up's first chunk:
    // the folder's bytes below it, above it those of one slide earlier, and
    // nothing in the slack past W + slide.
    const uint32_t origin = OriginAt(w, slide, start);
    h->windowOrigin = w + origin;
    h->position = w + start;
    std::memset(h->windowBuffer, 0, w + slide + kWindowSlack);
    for (uint32_t o = 0; o < w + slide; ++o) {
        const uint32_t offset = origin + o;
        h->windowBuffer[o] = offset < start ? base[offset] : base[offset - slide];
    }
    std::memset(h->hashHeads, 0, kHashKeys * sizeof(uint32_t));
    ForgetSearchesAhead(h);

    for (uint32_t a = start; a < job->to; a += kFrame) {
        const bool searching = a >= job->from;
        const uint32_t first = h->position, end = first + kFrame;
        std::memcpy(WindowAt(h, first), base + a, kFrame);
        const Trees t = TreesOf(h, first);
        if (a != start) {
            const uint32_t fixedLimit = first - w + kInsertLimitSlack;
            for (uint32_t q = first - kTailPositions; q < first; ++q)
                if (!searching || !Tainted(job, t, q)) WalkOne<WalkMode::kInsert>(t, q, fixedLimit, kLongMatch, nullptr);
        }
        if (!searching) {
            InsertPositions(h, first, end, 0);
        } else {
            ChunkRecords* out = &job->records[(a - job->from) / kFrame];
            out->size = 0;
            out->lastLong = kNoLongRecord;
            if (!SearchChunk(job, h, first, end, out)) return false;
        }
        for (uint32_t k = 1; k <= kTailPositions; ++k) {
            const uint32_t q = end - k;
            if (!searching || !Tainted(job, t, q)) RemovePosition(h, q, end - w + kRemoveLimitSlack);
        }
        h->position = end;
        if (BufferOffset(h, end) >= w + slide) {
            std::memmove(h->windowBuffer, h->windowBuffer + slide, w);
            h->windowOrigin += slide;
        }
        if (searching) {
            const uint32_t done = (a - job->from) / kFrame + 1;
            job->chunksDone.store(done, std::memory_order_release);
            if (progress && !progress(context, done)) return true;  // stopped: the chunks done stay valid
        }
    }
    return true;
}


namespace {

int IgnoreOutput(void*, const uint8_t*, uint32_t, uint32_t) { return 0; }

SearchJob* CheckedJob(LzxSearchJob* job) { return job && job->tag == kSearchJobTag ? job : nullptr; }

// Grows a block to hold `count` items of `size` bytes, keeping the first
// `keep` bytes; false when memory ran out (the block is then unchanged).
template <class T>
bool Reserve(SearchJob* job, T** block, uint32_t* capacity, uint32_t count, uint32_t keepBytes) {
    if (count <= *capacity) return true;
    auto* grown = static_cast<T*>(job->alloc(count * static_cast<uint32_t>(sizeof(T))));
    if (!grown) return false;
    std::memset(static_cast<void*>(grown), 0, count * sizeof(T));
    if (*block) {
        std::memcpy(static_cast<void*>(grown), *block, keepBytes);
        job->free(*block);
    }
    *block = grown;
    *capacity = count;
    return true;
}

// The trees and the bytes, which a job needs only while it runs: a client
// with a job being searched and another being read holds one set of them.
bool MakeWorkspace(SearchJob* job) {
    if (!job->trees)
        job->trees = LzxEncoderCreate(job->windowSize, job->slideSize, job->alloc, job->free, IgnoreOutput, nullptr);
    return job->trees != nullptr;
}

void FreeWorkspace(SearchJob* job) {
    if (job->trees) LzxEncoderDestroy(job->trees);
    if (job->data) job->free(job->data);
    job->trees = nullptr;
    job->data = nullptr;
    job->dataCapacity = 0;
}

}  // namespace

}  // namespace lzxenc

int LzxSearchJobCreate(const LzxParams* params, FCIAllocFn alloc, FCIFreeFn free, LzxSearchJob** job) {
    using namespace lzxenc;
    if (job) *job = nullptr;
    if (!params || !alloc || !free || !job) return COMPRESSOR_BAD_PARAMETER;
    if (!LzxValidWindow(params->windowSize)) return COMPRESSOR_BAD_PARAMETER;
    void* memory = alloc(sizeof(SearchJob));
    if (!memory) return COMPRESSOR_NO_MEMORY;
    auto* j = new (memory) SearchJob{};
    j->alloc = alloc;
    j->free = free;
    j->windowSize = params->windowSize;
    j->slideSize = LzxSlideSize(params->slideAmount);
    j->tag = kSearchJobTag;
    *job = j;
    return COMPRESSOR_OK;
}

uint32_t LzxSearchJobDataStart(const LzxSearchJob* job, uint32_t from) {
    return job && job->tag == lzxenc::kSearchJobTag ? lzxenc::SearchJobDataStart(job->windowSize, job->slideSize, from)
                                                     : kNoSearchJob;
}

uint8_t* LzxSearchJobPrepare(LzxSearchJob* job, uint32_t from, uint32_t to) {
    using namespace lzxenc;
    SearchJob* j = CheckedJob(job);
    if (!j) return nullptr;
    const uint32_t dataStart = SearchJobDataStart(j->windowSize, j->slideSize, from);
    if (dataStart == kNoSearchJob || to <= from || to % LZX_FRAME_SIZE != 0 || to - from < 2 * j->windowSize) return nullptr;
    const uint32_t dataChunks = (to - dataStart) / LZX_FRAME_SIZE;
    const uint32_t chunks = (to - from) / LZX_FRAME_SIZE;
    const uint32_t oldChunks = j->chunkCapacity;
    if (!MakeWorkspace(j)) return nullptr;
    if (!Reserve(j, &j->data, &j->dataCapacity, to - dataStart, 0)) return nullptr;
    if (!Reserve(j, &j->digests, &j->digestCapacity, dataChunks, 0)) return nullptr;
    if (!Reserve(j, &j->records, &j->chunkCapacity, chunks, oldChunks * sizeof(ChunkRecords))) return nullptr;
    j->dataStart = dataStart;
    j->from = from;
    j->to = to;
    j->chunksDone.store(0, std::memory_order_relaxed);
    j->chunksTaken.store(0, std::memory_order_relaxed);
    return j->data;
}

int LzxSearchJobRun(LzxSearchJob* job, int (*progress)(void* context, uint32_t chunksDone), void* context) {
    lzxenc::SearchJob* j = lzxenc::CheckedJob(job);
    if (!j || j->to == 0 || !j->trees || !j->data) return COMPRESSOR_BAD_PARAMETER;
    const bool ok = lzxenc::RunSearchJob(j, progress, context);
    lzxenc::FreeWorkspace(j);
    return ok ? COMPRESSOR_OK : COMPRESSOR_NO_MEMORY;
}

uint32_t LzxSearchJobChunksDone(const LzxSearchJob* job) {
    return job && job->tag == lzxenc::kSearchJobTag ? job->chunksDone.load(std::memory_order_acquire) : 0;
}

void LzxSearchJobRelease(LzxSearchJob* job, uint32_t offset) {
    using namespace lzxenc;
    SearchJob* j = CheckedJob(job);
    if (!j || offset <= j->from) return;
    const uint32_t chunks = std::min((std::min(offset, j->to) - j->from) / LZX_FRAME_SIZE, j->chunkCapacity);
    for (uint32_t k = 0; k < chunks; ++k) {
        ChunkRecords& r = j->records[k];
        if (r.bytes) j->free(r.bytes);
        r = ChunkRecords{};
    }
}

int LzxSearchJobDestroy(LzxSearchJob* job) {
    using namespace lzxenc;
    SearchJob* j = CheckedJob(job);
    if (!j) return COMPRESSOR_BAD_PARAMETER;
    for (uint32_t k = 0; k < j->chunkCapacity; ++k)
        if (j->records[k].bytes) j->free(j->records[k].bytes);
    FreeWorkspace(j);
    void* blocks[] = {j->records, j->digests};
    for (void* block : blocks)
        if (block) j->free(block);
    FCIFreeFn free = j->free;
    j->tag = 0;
    j->~SearchJob();
    free(j);
    return COMPRESSOR_OK;
}

}  // namespace treepak
