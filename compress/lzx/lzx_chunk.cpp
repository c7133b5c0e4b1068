// Chunk intake and the end of a folder's stream.
//
// Format facts: the stream starts with one bit for E8 translation and, when
// it is set, the 32-bit translation size as two 16-bit fields, high first.
// Translation applies to the first 32768 chunks of a stream only (chunks
// are the decoder's frames). Every chunk but a folder's last is exactly
// 32768 bytes: frames, window slides and the frame limit of the match
// finder all count on it.
#include <algorithm>
#include <cstring>

#include "compress/lzx/lzx_encoder.h"
#include "compress/lzx/lzx_search_job.h"

namespace treepak {

namespace lzxenc {
namespace {

constexpr uint32_t kE8FlagBits = 1;
// Positions are compared as signed numbers in the match finder.
constexpr uint32_t kLastUsablePosition = 0x7FFF0000u;

void WriteStreamHeader(LzxEncoder* e, uint32_t e8Size) {
    e->streamStart = 0;
    e->statsThreshold = kFirstStatsThreshold;
    if (e8Size == 0) {
        PutBits(e, kE8FlagBits, 0);
        return;
    }
    PutBits(e, kE8FlagBits, 1);
    PutBits(e, kWordBits, e8Size >> kWordBits);
    PutBits(e, kWordBits, e8Size & ((1u << kWordBits) - 1));
}

}  // namespace

int LzxEncodeChunk(LzxEncoder* e, const uint8_t* data, uint32_t length, uint32_t e8Size, uint32_t* estimate) {
    *estimate = 0;
    const uint32_t n = std::min(length, LZX_FRAME_SIZE);
    if (e->lastChunkShort || e->position + n > kLastUsablePosition - e->windowSize) return kChunkRefused;
    if (n < LZX_FRAME_SIZE) e->lastChunkShort = 1;

    uint8_t* target = WindowAt(e, e->position);
    if (n != 0) std::memcpy(target, data, n);
    if (e8Size != 0 && e->chunkCount < kMaxChunks) TranslateE8(target, n, &e->e8Offset, e8Size);
    NoteChunkForJobs(e, e->chunkCount, target, n);
    ++e->chunkCount;
    if (e->streamStart) WriteStreamHeader(e, e8Size);
    if (n != 0) ParseChunk(e, n);

    if (e->outputOverflow) return kChunkOverflow;
    BuildPricingLengths(e);
    *estimate = EstimateBlockBytes(e);
    PatchLengthsForPricing(e);
    return kChunkOk;
}

bool LzxEncoderFlush(LzxEncoder* e) {
    while (e->itemCount != 0) OutputBlock(e);
    FlushFrame(e);
    return !e->outputOverflow;
}

}  // namespace lzxenc

}  // namespace treepak
