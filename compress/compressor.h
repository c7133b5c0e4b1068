// The compressor interface behind the writer engine: one entry point per
// operation and kind (block deflate, LZX), result codes, and the allocation
// callbacks the compressors get from the engine. Handles are untyped and
// begin with a 32-bit tag that every entry point checks first, so a handle
// of the wrong kind is refused with COMPRESSOR_BAD_PARAMETER.
#pragma once

#include <cstdint>

#include "cabinet/client_callbacks.h"

namespace treepak {

inline constexpr int COMPRESSOR_OK = 0;
inline constexpr int COMPRESSOR_NO_MEMORY = 1;
inline constexpr int COMPRESSOR_BAD_PARAMETER = 2;
inline constexpr int COMPRESSOR_FAILED = 4;

// Block deflate ("CK" + deflate data per 32768-byte block).
int DeflateCreate(uint32_t* blockSize, FCIAllocFn alloc, FCIFreeFn free, uint32_t* maxOutputSize,
                  void** handle);
int DeflateCompressBlock(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                         uint32_t outputCapacity, uint32_t* outputSize);
int DeflateReset(void* handle);
int DeflateDestroy(void* handle);
// Priming, for a caller that already holds a block's compressed form.
// DeflatePrimeToken, called right after DeflateCompressBlock, describes what
// that block (of lastInputSize bytes) left in the handle's match state.
// DeflatePrime(block, size, token) brings a handle into the state that
// compressing that block would have left, so that the next block
// compresses to the same bytes as after the real call; the token must be
// the one reported when the block was compressed after the same blocks
// since a reset.
int DeflatePrimeToken(void* handle, uint32_t lastInputSize, uint32_t* token);
int DeflatePrime(void* handle, const uint8_t* input, uint32_t inputSize, uint32_t token);

// LZX. Finished frames leave through the output callback, one call per
// frame (compressedSize >= 1; uncompressedSize 32768 for all frames but a
// folder's last). Its result is not examined by the encoder.
using LzxOutputCallback = int (*)(void* callbackContext, const uint8_t* bytes,
                                  uint32_t compressedSize, uint32_t uncompressedSize);
struct LzxParams {
    uint32_t windowSize;   // 2^15 .. 2^21
    uint32_t slideAmount;  // the engine passes 65536
};
int LzxCreate(uint32_t* blockSize, const LzxParams* params, FCIAllocFn alloc, FCIFreeFn free,
              uint32_t* maxOutputSize, void** handle, LzxOutputCallback outputCallback,
              void* callbackContext);
int LzxCompressBlock(void* handle, const uint8_t* input, uint32_t inputSize, uint8_t* output,
                     uint32_t outputCapacity, uint32_t* heldBackEstimate);
int LzxFlush(void* handle);
// Search jobs: a stretch [from, to) of a folder (byte offsets, multiples of
// 32768, at least 2W long and starting at 2W + slide or later) searched
// ahead of the compressor on a thread of the client's; the compressor
// takes the results instead of searching those positions itself, and its
// output stays the same. A job needs the folder's bytes from
// LzxSearchJobDataStart(job, from) on (kNoSearchJob: none can start there),
// written to where LzxSearchJobPrepare points (null: refused or no
// memory); LzxSearchJobRun then searches, calling progress after each
// chunk (0 from it stops the job there), and frees the trees and bytes it
// searched with, so that a job waiting to be read holds only its results. A compressor keeps the digests of its last chunks once
// LzxEnableSearchJobs was called, and is given the job, through
// LzxUseSearchJob, before each chunk of [from, to) (null when there is
// none); it takes a job only at its first chunk and only when the bytes
// before it were the job's, and leaves it at the first chunk that differs
// or whose results are not done (LzxSearchJobChunksDone).
namespace lzxenc {
struct SearchJob;
}  // namespace lzxenc
using LzxSearchJob = lzxenc::SearchJob;
inline constexpr uint32_t kNoSearchJob = 0xFFFFFFFF;
int LzxSearchJobCreate(const LzxParams* params, FCIAllocFn alloc, FCIFreeFn free, LzxSearchJob** job);
uint32_t LzxSearchJobDataStart(const LzxSearchJob* job, uint32_t from);
uint8_t* LzxSearchJobPrepare(LzxSearchJob* job, uint32_t from, uint32_t to);
int LzxSearchJobRun(LzxSearchJob* job, int (*progress)(void* context, uint32_t chunksDone), void* context);
uint32_t LzxSearchJobChunksDone(const LzxSearchJob* job);
// Frees the results of the stretch's chunks below folder offset `offset`,
// which a compressor that has reached it no longer reads.
void LzxSearchJobRelease(LzxSearchJob* job, uint32_t offset);
int LzxSearchJobDestroy(LzxSearchJob* job);
int LzxEnableSearchJobs(void* handle);
int LzxUseSearchJob(void* handle, const LzxSearchJob* job);
int LzxReset(void* handle);
int LzxDestroy(void* handle);

}  // namespace treepak
