// Search jobs against the encoder alone: a folder whose stretches were
// searched ahead on another thread must come out the same bytes, and a job
// whose bytes are not the folder's must be refused or left without harm.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <thread>

#include "compress/lzx/lzx_search_job.h"
#include "lzx_harness.h"

namespace treepak {

namespace {

constexpr uint32_t kChunk = 32768;
constexpr uint32_t kSlide = 65536;

// Jobs allocate on their own threads, which the counting allocator is not
// made for.
void* JobAlloc(uint32_t size) { return std::malloc(size); }
void JobFree(void* block) { std::free(block); }

int CollectFrame(void* context, const uint8_t* bytes, uint32_t size, uint32_t uncompressed) {
    static_cast<lzxtest::Frames*>(context)->push_back({std::vector<uint8_t>(bytes, bytes + size), uncompressed});
    return 0;
}

struct Stretch {
    uint32_t from, to;
    // Applied to the job's copy of the folder's bytes: offset into the
    // folder, or none.
    uint32_t changedAt = UINT32_MAX;
    uint32_t stopAfterChunks = UINT32_MAX;  // the job's progress stops it there
};

struct Running {
    LzxSearchJob* job = nullptr;
    uint32_t stopAfter = UINT32_MAX;
    std::thread thread;
};

int StopWhenTold(void* context, uint32_t chunksDone) {
    return chunksDone < static_cast<Running*>(context)->stopAfter ? 1 : 0;
}

// The folder through the compressor interface, every stretch's job running
// on a thread of its own from the start; before each chunk of a stretch the
// encoder is given its job once the job is done with that chunk (or has
// stopped before it).
lzxtest::Frames EncodeWithJobs(const std::vector<uint8_t>& data, uint32_t windowBits,
                               const std::vector<Stretch>& stretches, std::vector<uint32_t>* taken = nullptr) {
    const LzxParams params{1u << windowBits, kSlide};
    std::vector<Running> running(stretches.size());
    for (size_t i = 0; i < stretches.size(); ++i) {
        const Stretch& s = stretches[i];
        Running& r = running[i];
        EXPECT_EQ(LzxSearchJobCreate(&params, JobAlloc, JobFree, &r.job), COMPRESSOR_OK);
        const uint32_t start = LzxSearchJobDataStart(r.job, s.from);
        uint8_t* bytes = LzxSearchJobPrepare(r.job, s.from, s.to);
        EXPECT_NE(bytes, nullptr) << s.from << ".." << s.to;
        if (!bytes) return {};
        std::memcpy(bytes, data.data() + start, s.to - start);
        if (s.changedAt != UINT32_MAX) bytes[s.changedAt - start] ^= 0x55;
        r.stopAfter = s.stopAfterChunks;
        r.thread = std::thread([&r] { EXPECT_EQ(LzxSearchJobRun(r.job, StopWhenTold, &r), COMPRESSOR_OK); });
    }
    lzxtest::Frames frames;
    uint32_t blockSize = 0, maxOutput = 0;
    void* handle = nullptr;
    EXPECT_EQ(LzxCreate(&blockSize, &params, testsupport::CountingAlloc, testsupport::CountingFree, &maxOutput,
                        &handle, CollectFrame, &frames),
              COMPRESSOR_OK);
    EXPECT_EQ(LzxEnableSearchJobs(handle), COMPRESSOR_OK);
    std::vector<uint8_t> output(maxOutput);
    for (uint32_t at = 0; at < data.size(); at += kChunk) {
        LzxSearchJob* job = nullptr;
        for (size_t i = 0; i < stretches.size(); ++i) {
            if (at < stretches[i].from || at >= stretches[i].to) continue;
            job = running[i].job;
            const uint32_t needed = (at - stretches[i].from) / kChunk + 1;
            while (LzxSearchJobChunksDone(job) < std::min(needed, running[i].stopAfter)) std::this_thread::yield();
        }
        EXPECT_EQ(LzxUseSearchJob(handle, job), COMPRESSOR_OK);
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(kChunk, data.size() - at));
        uint32_t estimate = 0;
        EXPECT_EQ(LzxCompressBlock(handle, data.data() + at, n, output.data(), maxOutput, &estimate), COMPRESSOR_OK);
    }
    EXPECT_EQ(LzxFlush(handle), COMPRESSOR_OK);
    EXPECT_EQ(LzxDestroy(handle), COMPRESSOR_OK);
    for (Running& r : running) {
        r.thread.join();
        if (taken) taken->push_back(r.job->chunksTaken.load());
        EXPECT_EQ(LzxSearchJobDestroy(r.job), COMPRESSOR_OK);
    }
    return frames;
}

// Text, code with call operands, random bytes and runs (some of them
// across chunk ends), so that stretches see tainted and untainted keys,
// long and short matches, and every record form.
std::vector<uint8_t> MixedFolder(size_t size, uint64_t seed) {
    std::vector<uint8_t> out;
    uint64_t part = seed;
    while (out.size() < size) {
        std::vector<uint8_t> piece;
        switch (part++ % 5) {
            case 0: piece = lzxtest::ProseBytes(90000, part); break;
            case 1: piece = lzxtest::X86LikeBytes(70000, part); break;
            case 2: piece = testsupport::RandomBytes(20000, part); break;
            case 3: piece = lzxtest::RunBytes(30000); break;
            default: piece.assign(out.end() - std::min<size_t>(out.size(), 60000), out.end()); break;  // a copy
        }
        out.insert(out.end(), piece.begin(), piece.end());
    }
    out.resize(size);
    return out;
}

}  // namespace

// Stretches that start at the earliest offset allowed, follow one another
// with a gap, or run to the folder's last full chunk, at several windows:
// the frames are those of the encoder alone, and they decode to the folder.
TEST(LzxSearchJobs, StretchesSearchedAheadGiveTheSameFrames) {
    struct Case {
        uint32_t bits;
        size_t size;
        std::vector<Stretch> stretches;
    };
    const uint32_t k = kChunk;
    const std::vector<Case> cases = {
        {15, 1200000, {{2 * 32768 + kSlide, 2 * 32768 + kSlide + 4 * k}, {20 * k, 30 * k}}},
        {16, 2000000, {{10 * k, 25 * k}, {29 * k, 61 * k}}},
        {17, 2400000, {{16 * k, 73 * k}}},
        {15, 1300000, {{8 * k, 1300000 / k * k}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        const std::vector<uint8_t> data = MixedFolder(c.size, c.bits);
        const lzxtest::Frames alone = lzxtest::EncodeFolders({data}, c.bits).at(0);
        std::vector<uint32_t> taken;
        const lzxtest::Frames split = EncodeWithJobs(data, c.bits, c.stretches, &taken);
        EXPECT_EQ(lzxtest::HashFrames(split), lzxtest::HashFrames(alone));
        for (size_t i = 0; i < c.stretches.size(); ++i)
            EXPECT_EQ(taken.at(i), (c.stretches[i].to - c.stretches[i].from) / kChunk) << i;
        EXPECT_EQ(lzxtest::DecodeFrames(split, 1u << c.bits).output, data);
    }
}

// A job whose bytes differ before its stretch is refused (the frames are
// the encoder's alone); one that differs inside it, or stops before its
// end, is left at that chunk, and the frames still decode to the folder.
TEST(LzxSearchJobs, JobsThatDoNotMatchAreRefusedOrLeft) {
    const uint32_t k = kChunk;
    const std::vector<uint8_t> data = MixedFolder(1500000, 3);
    const lzxtest::Frames alone = lzxtest::EncodeFolders({data}, 15).at(0);
    std::vector<uint32_t> taken;
    Stretch before{12 * k, 30 * k};
    before.changedAt = 8 * k + 100;
    EXPECT_EQ(lzxtest::HashFrames(EncodeWithJobs(data, 15, {before}, &taken)), lzxtest::HashFrames(alone));
    Stretch inside{12 * k, 30 * k};
    inside.changedAt = 20 * k + 7;
    EXPECT_EQ(lzxtest::DecodeFrames(EncodeWithJobs(data, 15, {inside}, &taken), 1u << 15).output, data);
    Stretch stopped{12 * k, 30 * k};
    stopped.stopAfterChunks = 5;
    EXPECT_EQ(lzxtest::DecodeFrames(EncodeWithJobs(data, 15, {stopped}, &taken), 1u << 15).output, data);
    EXPECT_EQ(taken, (std::vector<uint32_t>{0, 8, 5}));
}

// Inside a copy of earlier bytes each position's result is the same long
// match: a chunk's results are one run record and the records of the
// chunk's last positions (too near its end to take a long match whole),
// and the frames are still the encoder's alone. A job frees its trees and
// bytes once it has run and makes them again for its next stretch.
TEST(LzxSearchJobs, CopiesCostAFewBytesAChunk) {
    const uint32_t k = kChunk;
    const std::vector<uint8_t> period = testsupport::RandomBytes(24000, 11);
    std::vector<uint8_t> data;
    while (data.size() < 14 * k) data.insert(data.end(), period.begin(), period.end());
    const Stretch stretch{4 * k, 12 * k};
    EXPECT_EQ(lzxtest::HashFrames(EncodeWithJobs(data, 15, {stretch})),
              lzxtest::HashFrames(lzxtest::EncodeFolders({data}, 15).at(0)));

    const LzxParams params{1u << 15, kSlide};
    LzxSearchJob* job = nullptr;
    ASSERT_EQ(LzxSearchJobCreate(&params, JobAlloc, JobFree, &job), COMPRESSOR_OK);
    std::vector<uint32_t> firstSizes;
    for (int round = 0; round < 2; ++round) {
        const uint32_t start = LzxSearchJobDataStart(job, stretch.from);
        uint8_t* bytes = LzxSearchJobPrepare(job, stretch.from, stretch.to);
        ASSERT_NE(bytes, nullptr);
        std::memcpy(bytes, data.data() + start, stretch.to - start);
        ASSERT_EQ(LzxSearchJobRun(job, nullptr, nullptr), COMPRESSOR_OK);
        EXPECT_EQ(job->trees, nullptr);
        EXPECT_EQ(job->data, nullptr);
        std::vector<uint32_t> sizes;
        for (uint32_t c = 0; c < (stretch.to - stretch.from) / k; ++c) {
            const lzxenc::ChunkRecords& records = job->records[c];
            ASSERT_GT(records.size, 0u);
            EXPECT_EQ(records.bytes[0], lzxenc::kRecordLongRun) << c;
            EXPECT_LT(records.size, 1024u) << c;
            sizes.push_back(records.size);
        }
        if (round == 0) firstSizes = sizes;
        EXPECT_EQ(sizes, firstSizes);
    }
    EXPECT_EQ(LzxSearchJobDestroy(job), COMPRESSOR_OK);
}

// A note holds every length up to kLongMatch and every distance of the
// largest window, across the boundaries where it takes one more byte.
TEST(LzxSearchJobs, NotesHoldEveryLengthAndDistance) {
    std::vector<uint32_t> distances = {0, 1, 3, 4, (1u << 21) + 2 * kSlide};
    for (uint32_t bits = 9; bits <= 23; bits += 7)
        for (uint32_t d : {(1u << bits) - 1, 1u << bits, (1u << bits) + 1}) distances.push_back(d);
    for (uint32_t length = 2; length <= lzxenc::kLongMatch; ++length) {
        for (uint32_t distance : distances) {
            uint8_t note[lzxenc::kMaxNoteBytes + 1] = {};
            const uint32_t size = lzxenc::PutNote(note, length, distance);
            ASSERT_LE(size, lzxenc::kMaxNoteBytes);
            uint32_t gotLength = 0, gotDistance = 0;
            EXPECT_EQ(lzxenc::TakeNote(note, &gotLength, &gotDistance), note + size);
            EXPECT_EQ(gotLength, length);
            EXPECT_EQ(gotDistance, distance);
        }
    }
}

// Where jobs may start and how long they must be; handles of the wrong
// kind are refused.
TEST(LzxSearchJobs, StretchLimitsAndBadHandles) {
    const LzxParams params{1u << 16, kSlide};
    LzxSearchJob* job = nullptr;
    ASSERT_EQ(LzxSearchJobCreate(&params, testsupport::CountingAlloc, testsupport::CountingFree, &job),
              COMPRESSOR_OK);
    const uint32_t first = 2 * 65536 + kSlide;  // 2W + slide
    EXPECT_EQ(LzxSearchJobDataStart(job, first - kChunk), kNoSearchJob);
    EXPECT_EQ(LzxSearchJobDataStart(job, first + 1), kNoSearchJob);
    EXPECT_EQ(LzxSearchJobDataStart(job, first), 0u);  // W + 2 slides back from the warm-up's start
    EXPECT_EQ(LzxSearchJobDataStart(job, first + 4 * kChunk), 2 * kChunk);
    EXPECT_EQ(LzxSearchJobPrepare(job, first - kChunk, first + 4 * kChunk), nullptr);
    EXPECT_EQ(LzxSearchJobPrepare(job, first, first + 3 * kChunk), nullptr);  // shorter than 2W
    EXPECT_EQ(LzxSearchJobPrepare(job, first + 1, first + 5 * kChunk), nullptr);
    EXPECT_NE(LzxSearchJobPrepare(job, first, first + 4 * kChunk), nullptr);
    EXPECT_EQ(LzxSearchJobRun(nullptr, nullptr, nullptr), COMPRESSOR_BAD_PARAMETER);
    uint32_t notAJob[64] = {};
    EXPECT_EQ(LzxSearchJobDestroy(reinterpret_cast<LzxSearchJob*>(notAJob)), COMPRESSOR_BAD_PARAMETER);
    uint32_t blockSize = 0, maxOutput = 0;
    void* handle = nullptr;
    ASSERT_EQ(LzxCreate(&blockSize, &params, testsupport::CountingAlloc, testsupport::CountingFree, &maxOutput, &handle,
                        CollectFrame, nullptr),
              COMPRESSOR_OK);
    EXPECT_EQ(LzxUseSearchJob(handle, reinterpret_cast<LzxSearchJob*>(notAJob)), COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(LzxUseSearchJob(job, job), COMPRESSOR_BAD_PARAMETER);
    EXPECT_EQ(LzxDestroy(handle), COMPRESSOR_OK);
    EXPECT_EQ(LzxSearchJobDestroy(job), COMPRESSOR_OK);
}

}  // namespace treepak
