// The encoder's side of search jobs (see lzx_search_job.h): the digests of
// its last chunks, taking a job at its first chunk, checking each chunk
// against it, and reading its records.
#include <cstring>

#include "compress/lzx/lzx_search_job.h"
#include "compress/lzx/lzx_tree_walk.h"

namespace treepak {

namespace lzxenc {

namespace {

constexpr uint32_t kFrame = LZX_FRAME_SIZE;

uint32_t RecordSize(const uint8_t* record) {
    if (record[0] == kRecordNone) return 1;
    if (record[0] == kRecordLong) return kLongRecordBytes;
    if (record[0] == kRecordLongRun) return kLongRunRecordBytes;
    const uint8_t* at = record + 1;
    for (uint32_t k = record[0] & kRecordCountMask; k > 0; --k) {
        ++at;  // length and the distance's low bits
        while (*at++ & kNoteMore) {
        }
    }
    return static_cast<uint32_t>(at - record);
}

// Past one position's record: a run record stays at the cursor until each
// of its positions has been read.
void StepRecord(LzxEncoder* e) {
    if (e->cursor[0] == kRecordLongRun) {
        uint16_t count;
        std::memcpy(&count, e->cursor + kLongRecordBytes, sizeof count);
        if (++e->cursorRunTaken < count) return;
        e->cursorRunTaken = 0;
    }
    e->cursor += RecordSize(e->cursor);
}

uint32_t LoadWord(const uint8_t* bytes) {
    uint32_t w;
    std::memcpy(&w, bytes, sizeof w);
    return w;
}

}  // namespace

bool EnableSearchJobs(LzxEncoder* e) {
    if (e->chunkDigests) return true;
    // A job reaches back 2W + 2 slides before its first chunk.
    const uint32_t ring = (2 * e->windowSize + 2 * e->slideSize) / kFrame + 2;
    e->chunkDigests = static_cast<BlockDigest*>(e->alloc(ring * sizeof(BlockDigest)));
    if (!e->chunkDigests) return false;
    std::memset(e->chunkDigests, 0, ring * sizeof(BlockDigest));
    e->digestRing = ring;
    return true;
}

void DropSearchJob(LzxEncoder* e) { e->job = nullptr; }

void UseSearchJob(LzxEncoder* e, const SearchJob* job) {
    if (job == e->job) return;
    DropSearchJob(e);
    if (!job || !e->chunkDigests || e->redoAllowed || e->lastChunkShort) return;
    const uint32_t w = e->windowSize;
    const uint32_t next = e->chunkCount;  // index of the chunk about to come
    if (job->windowSize != w || job->slideSize != e->slideSize || job->from != next * kFrame ||
        job->to - job->from < 2 * w || job->dataStart > job->from)
        return;
    const uint32_t first = job->dataStart / kFrame;
    if (next - first > e->digestRing) return;
    for (uint32_t c = first; c < next; ++c)
        if (!(e->chunkDigests[c % e->digestRing] == job->digests[c - first])) return;
    e->job = job;
    e->jobFrom = w + job->from;
    e->jobTo = w + job->to;
    e->jobOwnFrom = e->jobTo - w;
    e->cursorChunk = UINT32_MAX;
}

void NoteChunkForJobs(LzxEncoder* e, uint32_t chunkIndex, const uint8_t* bytes, uint32_t size) {
    if (!e->chunkDigests) return;
    const BlockDigest digest = ChunkDigest(bytes, size);
    e->chunkDigests[chunkIndex % e->digestRing] = digest;
    const SearchJob* job = e->job;
    if (!job) return;
    const uint32_t offset = chunkIndex * kFrame;
    if (offset >= job->to || size != kFrame) {
        DropSearchJob(e);
        return;
    }
    // A chunk whose records are not complete, or whose bytes are not those
    // the job searched, ends the job here.
    const uint32_t k = (offset - job->from) / kFrame;
    if (job->chunksDone.load(std::memory_order_acquire) <= k ||
        !(job->digests[(offset - job->dataStart) / kFrame] == digest)) {
        DropSearchJob(e);
        return;
    }
    job->chunksTaken.fetch_add(1, std::memory_order_relaxed);
}

bool JobTaints(const LzxEncoder* e, uint32_t q) {
    return e->job->taint[KeyAt(e->windowBuffer + (q - e->windowOrigin))];
}

uint32_t TakeJobRecord(LzxEncoder* e, uint32_t p, OffsetRow* row) {
    const SearchJob* job = e->job;
    const uint32_t chunk = (p - e->jobFrom) / kFrame;
    if (chunk != e->cursorChunk) {
        e->cursorChunk = chunk;
        e->cursor = job->records[chunk].bytes;
        e->cursorPosition = e->jobFrom + chunk * kFrame;
        e->cursorRunTaken = 0;
    }
    TP_ASSERT(e->cursorPosition <= p);
    for (; e->cursorPosition < p; ++e->cursorPosition)
        if (!JobTaints(e, e->cursorPosition)) StepRecord(e);
    const uint8_t* record = e->cursor;
    e->cursorPosition = p + 1;

    const uint8_t* cur = WindowAt(e, p);
    row->longFills = 0;
    if (record[0] == kRecordNone || record[0] == kRecordLong || record[0] == kRecordLongRun) {
        StepRecord(e);
        if (record[0] == kRecordNone) return 0;
        const uint32_t distance = LoadWord(record + 1);
        const uint32_t best = CommonLength(cur - distance, cur, kLongMatch, kMaxCompare);
        FillWalkOffsets(row, LZX_MIN_MATCH, best, distance + 2);
        return best;
    }
    // The nearest source (length 2) is the first note's, which with
    // kRecordSameSource is also the first longer length's.
    const uint32_t count = record[0] & kRecordCountMask;
    const bool sameSource = record[0] & kRecordSameSource;
    uint32_t length, distance;
    const uint8_t* at = TakeNote(record + 1, &length, &distance);
    row->offsets[LZX_MIN_MATCH] = distance + 2;
    uint32_t best = LZX_MIN_MATCH;
    for (uint32_t k = sameSource ? 0 : 1; k < count; ++k) {
        if (k > 0) at = TakeNote(at, &length, &distance);
        if (length >= kLongMatch) length = CommonLength(cur - distance, cur, kLongMatch, kMaxCompare);
        FillWalkOffsets(row, best + 1, length, distance + 2);
        best = length;
    }
    e->cursor = at;
    return best;
}

}  // namespace lzxenc

}  // namespace treepak
