// Block deflate compressor speed, side by side with zlib at level 9 on the
// same 32768-byte blocks (one raw deflate stream, flushed after every block,
// so both sides keep the previous block as history). Inputs: text-like
// words, random bytes, a binary-like patchwork, and the file named by
// TREEPAK_BENCH_FILE when set. Reports bytes/s of input and the ratio of
// output to input. libdeflate (when installed) keeps no history between
// calls, so it compresses each block on its own.
#include <benchmark/benchmark.h>
#include <zlib.h>
#ifdef HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "compress/compressor.h"

namespace treepak {

namespace {

constexpr uint32_t kBlock = 32768;
constexpr uint32_t kMaxOutput = kBlock + 12;
constexpr size_t kCorpusSize = 32 * kBlock;

struct SplitMix {
    uint64_t state;
    uint64_t Next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
};

std::vector<uint8_t> Words(size_t count) {
    static const char* const kWords[] = {"the", "cabinet", "folder", "block", "of", "and", "data", "to",
                                         "compress", "a", "file", "tree", "history", "match", "window",
                                         "length", "distance", "code", "literal", "stream", "writer",
                                         "reader", "engine", "callback", "temporary", "directory"};
    SplitMix rng{1};
    std::vector<uint8_t> v;
    while (v.size() < count) {
        const char* w = kWords[rng.Next() % std::size(kWords)];
        v.insert(v.end(), w, w + std::strlen(w));
        v.push_back(rng.Next() % 12 == 0 ? '\n' : ' ');
    }
    v.resize(count);
    return v;
}

std::vector<uint8_t> Random(size_t count) {
    SplitMix rng{2};
    std::vector<uint8_t> v(count);
    for (auto& b : v) b = static_cast<uint8_t>(rng.Next() >> 56);
    return v;
}

// Records with counters, small integers and repeated names: many short
// matches at varied distances, as in executables and tables.
std::vector<uint8_t> Binary(size_t count) {
    SplitMix rng{3};
    std::vector<uint8_t> v;
    for (uint32_t i = 0; v.size() < count; ++i) {
        uint32_t x = static_cast<uint32_t>(rng.Next() % (1u << (rng.Next() % 20)));
        const uint8_t rec[12] = {0x8B, static_cast<uint8_t>(0x40 + i % 8), static_cast<uint8_t>(i),
                                 static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8),
                                 static_cast<uint8_t>(x >> 16), 0, 0xE8, static_cast<uint8_t>(rng.Next()), 0xFF, 0xFF};
        v.insert(v.end(), rec, rec + sizeof rec);
    }
    v.resize(count);
    return v;
}

std::vector<uint8_t> FromFile() {
    const char* path = std::getenv("TREEPAK_BENCH_FILE");
    if (path == nullptr) return {};
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> v((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (v.size() > kCorpusSize) v.resize(kCorpusSize);
    return v;
}

const std::vector<uint8_t>& Corpus(int which) {
    static const std::vector<uint8_t> corpora[] = {Words(kCorpusSize), Random(kCorpusSize), Binary(kCorpusSize),
                                                   FromFile()};
    return corpora[which];
}

const char* const kCorpusNames[] = {"words", "random", "binary", "file"};

void Finish(benchmark::State& state, const std::vector<uint8_t>& corpus, size_t outputBytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(corpus.size()));
    state.counters["ratio"] = corpus.empty() ? 0.0 : static_cast<double>(outputBytes) / corpus.size();
    state.SetLabel(kCorpusNames[state.range(0)]);
}

void BM_BlockDeflate(benchmark::State& state) {
    const std::vector<uint8_t>& corpus = Corpus(static_cast<int>(state.range(0)));
    if (corpus.empty()) {
        state.SkipWithError("TREEPAK_BENCH_FILE not set");
        return;
    }
    uint32_t blockSize = kBlock;
    uint32_t maxOutput = 0;
    void* handle = nullptr;
    if (DeflateCreate(&blockSize, [](uint32_t n) { return std::malloc(n); }, [](void* p) { std::free(p); },
                      &maxOutput, &handle) != COMPRESSOR_OK) {
        state.SkipWithError("DeflateCreate failed");
        return;
    }
    std::vector<uint8_t> out(kMaxOutput);
    size_t outputBytes = 0;
    for (auto _ : state) {
        DeflateReset(handle);
        outputBytes = 0;
        for (size_t off = 0; off < corpus.size(); off += kBlock) {
            uint32_t n = static_cast<uint32_t>(std::min<size_t>(kBlock, corpus.size() - off));
            uint32_t size = 0;
            if (DeflateCompressBlock(handle, corpus.data() + off, n, out.data(), kMaxOutput, &size) != COMPRESSOR_OK) {
                state.SkipWithError("DeflateCompressBlock failed");
                break;
            }
            outputBytes += size;
        }
        benchmark::DoNotOptimize(out.data());
    }
    DeflateDestroy(handle);
    Finish(state, corpus, outputBytes);
}

void BM_ZlibLevel9(benchmark::State& state) {
    const std::vector<uint8_t>& corpus = Corpus(static_cast<int>(state.range(0)));
    if (corpus.empty()) {
        state.SkipWithError("TREEPAK_BENCH_FILE not set");
        return;
    }
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(2 * kBlock);
    size_t outputBytes = 0;
    for (auto _ : state) {
        deflateReset(&z);
        outputBytes = 0;
        for (size_t off = 0; off < corpus.size(); off += kBlock) {
            uint32_t n = static_cast<uint32_t>(std::min<size_t>(kBlock, corpus.size() - off));
            z.next_in = const_cast<Bytef*>(corpus.data() + off);
            z.avail_in = n;
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            deflate(&z, Z_SYNC_FLUSH);
            outputBytes += out.size() - z.avail_out;
        }
        benchmark::DoNotOptimize(out.data());
    }
    deflateEnd(&z);
    Finish(state, corpus, outputBytes);
}

#ifdef HAVE_LIBDEFLATE
// Level 9 to stand beside zlib's; the blocks are independent.
constexpr int kLibdeflateLevel = 9;

void BM_LibdeflateLevel9(benchmark::State& state) {
    const std::vector<uint8_t>& corpus = Corpus(static_cast<int>(state.range(0)));
    if (corpus.empty()) {
        state.SkipWithError("TREEPAK_BENCH_FILE not set");
        return;
    }
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(kLibdeflateLevel);
    std::vector<uint8_t> out(libdeflate_deflate_compress_bound(compressor, kBlock));
    size_t outputBytes = 0;
    for (auto _ : state) {
        outputBytes = 0;
        for (size_t off = 0; off < corpus.size(); off += kBlock) {
            const size_t n = std::min<size_t>(kBlock, corpus.size() - off);
            outputBytes += libdeflate_deflate_compress(compressor, corpus.data() + off, n, out.data(), out.size());
        }
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_compressor(compressor);
    Finish(state, corpus, outputBytes);
}
BENCHMARK(BM_LibdeflateLevel9)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_BlockDeflate)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibLevel9)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace treepak
