// LZX search jobs against the encoder alone. The input's first bytes place
// one stretch in a folder of 32 KiB window and say whether the job's copy
// of the folder differs (before the stretch or inside it) or the job stops
// early (every integer is taken from the input's end, as the provider
// does); the rest is a script that makes the folder: literal bytes, copies
// from earlier output and runs of one byte (runs taint keys, copies make
// long matches and run records), repeated with a drift once it ends. A job
// on the folder's own bytes must give the encoder's frames exactly and have
// every chunk of its stretch taken; any job's frames must decode to the
// folder.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "compress/compressor.h"
#include "compress/lzx/lzx_search_job.h"
#include "decompress/decoder.h"

namespace treepak {

namespace {

constexpr uint32_t kChunk = 32768;
constexpr uint32_t kWindow = 1u << 15;
constexpr uint32_t kSlide = 2 * kChunk;
// The earliest stretch start for this window and slide (2W + slide).
constexpr uint32_t kFirstFrom = 2 * kWindow + kSlide;
constexpr uint32_t kMaxExtraStartChunks = 3;
constexpr uint32_t kMinStretchChunks = 2 * kWindow / kChunk;
constexpr uint32_t kMaxStretchChunks = 6;
constexpr uint32_t kMaxTailBytes = 2 * kChunk;
constexpr uint32_t kDecoderSlack = DECODER_BUFFER_SLACK;

enum class Change : uint8_t { kNone, kBefore, kInside, kStop, kCount };

void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* block) { std::free(block); }

using Frames = std::vector<std::vector<uint8_t>>;

int Collect(void* context, const uint8_t* bytes, uint32_t size, uint32_t uncompressed) {
    std::vector<uint8_t> frame(bytes, bytes + size);
    for (int k = 0; k < 4; ++k) frame.push_back(static_cast<uint8_t>(uncompressed >> (8 * k)));
    static_cast<Frames*>(context)->push_back(std::move(frame));
    return 0;
}

std::vector<uint8_t> MakeFolder(FuzzedDataProvider& script, size_t size) {
    std::vector<uint8_t> out;
    while (out.size() < size && script.remaining_bytes() > 0) {
        const uint8_t op = script.ConsumeIntegral<uint8_t>();
        const uint32_t count = op & 0x3F;
        switch (op >> 6) {
        case 0:
            for (uint32_t i = 0; i <= count; ++i) out.push_back(script.ConsumeIntegral<uint8_t>());
            break;
        case 1:
        case 2: {
            if (out.empty()) break;
            const uint32_t distance = 1 + script.ConsumeIntegralInRange<uint32_t>(0, static_cast<uint32_t>(out.size()) - 1);
            const uint32_t length = 3 + count * (op >> 6 == 1 ? 4 : 512);
            for (uint32_t i = 0; i < length; ++i) out.push_back(out[out.size() - distance]);
            break;
        }
        default:
            out.insert(out.end(), 18 + count * 8, script.ConsumeIntegral<uint8_t>());
            break;
        }
    }
    if (out.empty()) out.push_back(0);
    const size_t made = out.size();
    while (out.size() < size) out.push_back(static_cast<uint8_t>(out[out.size() - made] + out.size() / 40009));
    out.resize(size);
    return out;
}

Frames Encode(const std::vector<uint8_t>& folder, LzxSearchJob* job, uint32_t from, uint32_t to) {
    Frames frames;
    const LzxParams params{kWindow, kSlide};
    uint32_t blockSize = 0, maxOutput = 0;
    void* handle = nullptr;
    if (LzxCreate(&blockSize, &params, Alloc, Free, &maxOutput, &handle, Collect, &frames) != COMPRESSOR_OK) std::abort();
    if (job && LzxEnableSearchJobs(handle) != COMPRESSOR_OK) std::abort();
    std::vector<uint8_t> output(maxOutput);
    for (uint32_t at = 0; at < folder.size(); at += kChunk) {
        if (job && LzxUseSearchJob(handle, at >= from && at < to ? job : nullptr) != COMPRESSOR_OK) std::abort();
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kChunk, folder.size() - at));
        uint32_t estimate = 0;
        if (LzxCompressBlock(handle, folder.data() + at, n, output.data(), maxOutput, &estimate) != COMPRESSOR_OK)
            std::abort();
    }
    if (LzxFlush(handle) != COMPRESSOR_OK || LzxDestroy(handle) != COMPRESSOR_OK) std::abort();
    return frames;
}

std::vector<uint8_t> Decode(const Frames& frames) {
    uint32_t room = kChunk, compressedRoom = 0;
    const DecoderConfig config{kWindow, 0};
    void* handle = nullptr;
    if (LdiCreate(&room, &config, Alloc, Free, &compressedRoom, &handle, nullptr) != DECODER_OK) std::abort();
    std::vector<uint8_t> out, output(kChunk + kDecoderSlack);
    for (const std::vector<uint8_t>& frame : frames) {
        const size_t size = frame.size() - 4;
        uint32_t uncompressed = 0;
        for (int k = 0; k < 4; ++k) uncompressed |= static_cast<uint32_t>(frame[size + k]) << (8 * k);
        std::vector<uint8_t> input(frame.begin(), frame.begin() + size);
        input.resize(size + kDecoderSlack);
        if (LdiDecode(handle, input.data(), static_cast<uint32_t>(size), output.data(), &uncompressed) != DECODER_OK)
            std::abort();
        out.insert(out.end(), output.begin(), output.begin() + uncompressed);
    }
    LdiDestroy(handle);
    return out;
}

int StopAt(void* context, uint32_t chunksDone) { return chunksDone < *static_cast<uint32_t*>(context) ? 1 : 0; }

}  // namespace

}  // namespace treepak

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace treepak;
    FuzzedDataProvider input(data, size);
    const uint32_t from = kFirstFrom + kChunk * input.ConsumeIntegralInRange<uint32_t>(0, kMaxExtraStartChunks);
    const uint32_t to = from + kChunk * input.ConsumeIntegralInRange<uint32_t>(kMinStretchChunks, kMaxStretchChunks);
    const auto change = static_cast<Change>(input.ConsumeIntegralInRange<uint8_t>(0, static_cast<uint8_t>(Change::kCount) - 1));
    const uint32_t where = input.ConsumeIntegral<uint32_t>();
    const uint32_t tail = input.ConsumeIntegralInRange<uint32_t>(0, kMaxTailBytes);
    const std::vector<uint8_t> folder = MakeFolder(input, to + tail);

    const LzxParams params{kWindow, kSlide};
    LzxSearchJob* job = nullptr;
    if (LzxSearchJobCreate(&params, Alloc, Free, &job) != COMPRESSOR_OK) std::abort();
    const uint32_t start = LzxSearchJobDataStart(job, from);
    uint8_t* bytes = LzxSearchJobPrepare(job, from, to);
    if (start == kNoSearchJob || !bytes) std::abort();
    std::memcpy(bytes, folder.data() + start, to - start);
    uint32_t stopAfter = UINT32_MAX;
    if (change == Change::kBefore) bytes[where % (from - start)] ^= (where >> 24) | 1;
    if (change == Change::kInside) bytes[from - start + where % (to - from)] ^= (where >> 24) | 1;
    if (change == Change::kStop) stopAfter = where % ((to - from) / kChunk);
    if (LzxSearchJobRun(job, StopAt, &stopAfter) != COMPRESSOR_OK) std::abort();

    const Frames split = Encode(folder, job, from, to);
    if (change == Change::kNone) {
        if (split != Encode(folder, nullptr, 0, 0)) std::abort();
        if (job->chunksTaken.load() != (to - from) / kChunk) std::abort();
    }
    if (Decode(split) != folder) std::abort();
    LzxSearchJobDestroy(job);
    return 0;
}
