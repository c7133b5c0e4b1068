// Search jobs: a stretch of an LZX folder searched ahead of the encoder, on
// a thread of the client's, on trees of the job's own.
//
// The trees at position P, on every node a walk from P may still follow
// (positions above P + 4 - W), are a function of what happened to the
// trees since P - W alone: every tree is ordered by recency from its root
// down, walks, removals and merges all go from newer nodes to older ones, so
// an older node only ever hangs below the nodes a later walk reaches, and
// ends that walk as an empty link does. A job therefore starts with empty
// trees at P - W, replays the tree work of P - W .. P - 1 (the warm-up) and
// from P on holds the encoder's trees. Two more things decide them, and a
// job reproduces both:
// - the bytes just past a chunk, which the chunk's last walks compare: the
//   job lays its window buffer out as the encoder's, same origin, same
//   slides, so that the bytes left there by the previous slide are there;
// - the parser's choice at runs: a distance-1 match longer than 16 bytes
//   puts only its first inner position into the trees, and whether the
//   parser takes one depends on its repeated offsets. Only the trees of the
//   keys inside a run of 18 or more equal bytes, and of the key at its last
//   position, can differ: the job marks them tainted and leaves their
//   positions to the encoder, which keeps walking them in its own trees.
//
// The encoder takes the job's results for untainted positions of
// [from, to) and does no tree work of its own for them, except in the last
// W bytes, where it puts every position into its own trees again so that
// they are whole at `to` (its older nodes of those keys are out of reach
// by then, as the job needs to - from >= 2W). Chunks are checked against
// the job's digests as they arrive; a job whose bytes differ from the
// folder's is dropped, and the encoder then goes on with trees that miss
// the job's positions: its matches stay exact (lengths are measured in its
// own window), only no longer those of a run alone.
#pragma once

#include <atomic>
#include <cstdint>

#include "cabinet/block_digest.h"
#include "compress/lzx/lzx_encoder.h"

namespace treepak {

namespace lzxenc {

// Results of one position, in a chunk's record stream (untainted positions
// only, in order):
//   kRecordNone                 no usable source (the encoder's best is 0)
//   n = 1..kLongMatch, n notes  the walk's notes: the nearest source with
//                               length 2, then each longer length and its
//                               source; a note of kLongMatch is measured on
//                               to the full length by the encoder
//   n | kRecordSameSource       the same without the first note, when the
//                               nearest source is also the second note's
//                               (the walk's first step beat length 2)
//   kRecordLong, a distance     best over kLongMatch and the frame's room
//                               too: the parser takes it whole, so only its
//                               source is kept
//   kRecordLongRun, a distance, a 16-bit count
//                               kRecordLong with that distance for `count`
//                               untainted positions in a row: inside a copy
//                               of earlier bytes every position has one
// A note is a byte with the length in its low 6 bits and the distance's
// low 2 bits above them, then the rest of the distance 7 bits a byte, low
// bits first, the top bit set on every byte but the last: 2 or 3 bytes for
// most, where a fixed word took 4. A kRecordLong distance is a 32-bit word;
// words and counts are in the machine's order (records never leave it).
inline constexpr uint32_t kSearchJobTag = 0x4A535A4C;  // "LZSJ" little-endian
inline constexpr uint8_t kRecordNone = 0;
inline constexpr uint8_t kRecordLong = 0xFF;
inline constexpr uint8_t kRecordLongRun = 0xFE;
inline constexpr uint32_t kLongRecordBytes = 1 + 4;
inline constexpr uint32_t kLongRunRecordBytes = kLongRecordBytes + 2;
inline constexpr uint8_t kRecordSameSource = 0x40;
inline constexpr uint8_t kRecordCountMask = kRecordSameSource - 1;
static_assert(kLongMatch <= kRecordCountMask);
static_assert((kRecordCountMask | kRecordSameSource) < kRecordLongRun);
// A run stays inside its chunk's records, so its count fits in 16 bits.
static_assert(LZX_FRAME_SIZE <= 0xFFFF);
inline constexpr uint32_t kNoteLengthBits = 6;
inline constexpr uint32_t kNoteLengthMask = (1u << kNoteLengthBits) - 1;
inline constexpr uint32_t kNoteGroupBits = 7;
inline constexpr uint8_t kNoteMore = 0x80;
inline constexpr uint32_t kMaxNoteBytes = 5;  // 2 + 7 * 4 bits hold any distance below 2^30
static_assert(kLongMatch <= kNoteLengthMask);
static_assert((1u << LZX_MAX_WINDOW_BITS) < (1u << 30));

inline uint32_t PutNote(uint8_t* at, uint32_t length, uint32_t distance) {
    uint32_t size = 0;
    at[size++] = static_cast<uint8_t>(length | (distance << kNoteLengthBits));
    uint32_t rest = distance >> (8 - kNoteLengthBits);
    for (; rest >= kNoteMore; rest >>= kNoteGroupBits) at[size++] = static_cast<uint8_t>(rest | kNoteMore);
    at[size++] = static_cast<uint8_t>(rest);
    return size;
}

// Reads the note at `at`; returns where the next one starts.
inline const uint8_t* TakeNote(const uint8_t* at, uint32_t* length, uint32_t* distance) {
    const uint32_t first = *at++;
    *length = first & kNoteLengthMask;
    uint32_t rest = 0;
    for (uint32_t shift = 0;; shift += kNoteGroupBits) {
        const uint32_t byte = *at++;
        rest |= (byte & (kNoteMore - 1)) << shift;
        if (!(byte & kNoteMore)) break;
    }
    *distance = (first >> kNoteLengthBits) | (rest << (8 - kNoteLengthBits));
    return at;
}

struct ChunkRecords {
    uint8_t* bytes;
    uint32_t size;
    uint32_t capacity;
    uint32_t lastLong;  // offset of the last record when it is a long one, else kNoLongRecord
};
inline constexpr uint32_t kNoLongRecord = UINT32_MAX;

struct SearchJob {
    uint32_t tag;
    FCIAllocFn alloc;
    FCIFreeFn free;
    uint32_t windowSize;
    uint32_t slideSize;
    // An encoder record used only for its trees and window, and the
    // folder's bytes; both only while the job runs (prepare makes them,
    // the end of the run frees them), the records and digests outlive them.
    LzxEncoder* trees;
    // Folder offsets (multiples of 32768): bytes dataStart .. to - 1 are
    // held, translated, in `data`; positions from .. to - 1 are searched.
    uint32_t dataStart, from, to;
    uint8_t* data;
    uint32_t dataCapacity;
    BlockDigest* digests;  // chunk dataStart / 32768 + k, after translation
    uint32_t digestCapacity;
    ChunkRecords* records;  // chunk from / 32768 + k
    uint32_t chunkCapacity;
    std::atomic<uint32_t> chunksDone;  // chunks of records complete (release)
    // Chunks an encoder took the records of (reset by each prepare).
    mutable std::atomic<uint32_t> chunksTaken;
    uint8_t taint[kHashKeys];
};

// Where a job's bytes start for a stretch from `from` (kNoSearchJob when no
// job can start there: too near the folder's start for the window to be
// laid out).
uint32_t SearchJobDataStart(uint32_t windowSize, uint32_t slideSize, uint32_t from);

// The digest a chunk is checked with (after translation).
BlockDigest ChunkDigest(const uint8_t* bytes, uint32_t size);

// Runs the job over its data: translation, digests, taint, warm-up and
// searches; `progress` after each chunk of records. False when memory ran
// out (records of the chunks done stay valid).
bool RunSearchJob(SearchJob* job, int (*progress)(void* context, uint32_t chunksDone), void* context);

// Encoder side (lzx_search_use.cpp).
bool EnableSearchJobs(LzxEncoder* e);
// The job to take the results of from the next chunk on; null to go on
// without one. A job is taken only at its first chunk.
void UseSearchJob(LzxEncoder* e, const SearchJob* job);
// Called by LzxEncodeChunk with the chunk just laid out in the window.
void NoteChunkForJobs(LzxEncoder* e, uint32_t chunkIndex, const uint8_t* bytes, uint32_t size);
void DropSearchJob(LzxEncoder* e);
// For the match finder, while a job is in use: whether q's key is left to
// the encoder, and the record of untainted position p (positions asked in
// increasing order) as an offset row; returns the best length.
bool JobTaints(const LzxEncoder* e, uint32_t q);
uint32_t TakeJobRecord(LzxEncoder* e, uint32_t p, OffsetRow* row);

}  // namespace lzxenc

}  // namespace treepak
