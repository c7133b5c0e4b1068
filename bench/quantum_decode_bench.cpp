// Quantum decoding speed in MB/s of uncompressed output, window 2^21, on
// text (C headers from /usr/include), on executables (shared libraries from
// the system's library directory), 4 MiB each with generated stand-ins when
// absent, and on incompressible bytes (nearly all literals, the slowest case
// per byte); the text also through the paged window. The system writes no
// Quantum, so the streams come from the benchmark's own encoder
// (quantum_bench_encoder.h).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bench_corpus.h"
#include "decompress/decoder.h"
#include "quantum_bench_encoder.h"

namespace treepak {

namespace {

constexpr size_t kCorpusBytes = 4u << 20;
constexpr uint32_t kWindowBits = 21;

std::vector<uint8_t> Noise() {
    std::mt19937 rng(3);
    std::vector<uint8_t> data(kCorpusBytes / 4);
    for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
    return data;
}

struct Corpus {
    std::vector<uint8_t> data;
    std::vector<qbench::EncodedBlock> blocks;
    explicit Corpus(std::vector<uint8_t> bytes) : data(std::move(bytes)), blocks(qbench::CompressQuantum(data, kWindowBits)) {}
};

const Corpus& TextCorpus() {
    static const Corpus corpus(BenchHeaderText(kCorpusBytes));
    return corpus;
}
const Corpus& BinaryCorpus() {
    static const Corpus corpus(BenchExecutables(kCorpusBytes));
    return corpus;
}
const Corpus& NoiseCorpus() {
    static const Corpus corpus(Noise());
    return corpus;
}

void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* block) { std::free(block); }
// Refuses the window in one piece, so that the paged window is used.
void* PagedAlloc(uint32_t size) { return size == (uint32_t{1} << kWindowBits) ? nullptr : std::malloc(size); }

// An in-memory spill file, so that the paged numbers measure the decoder.
std::vector<uint8_t> g_file;
size_t g_position = 0;
int Open(const char*, int, int) {
    g_file.assign(size_t{1} << kWindowBits, 0);
    g_position = 0;
    return 3;
}
int32_t Read(int, void* buffer, uint32_t count) {
    std::memcpy(buffer, g_file.data() + g_position, count);
    g_position += count;
    return static_cast<int32_t>(count);
}
int32_t Write(int, const void* buffer, uint32_t count) {
    std::memcpy(g_file.data() + g_position, buffer, count);
    g_position += count;
    return static_cast<int32_t>(count);
}
int Close(int) { return 0; }
int32_t Seek(int, int32_t offset, int) {
    g_position = static_cast<size_t>(offset);
    return offset;
}

void DecodeCorpus(benchmark::State& state, const Corpus& corpus, bool paged) {
    const DecoderFileCallbacks files{Open, Read, Write, Close, Seek};
    const DecoderConfig config{kWindowBits, 0};
    uint32_t uncompressed = 0, compressed = 0;
    void* handle = nullptr;
    if (QdiCreate(&uncompressed, &config, paged ? PagedAlloc : Alloc, Free, &compressed, &handle, &files) != 0) {
        state.SkipWithError("create failed");
        return;
    }
    std::vector<uint8_t> out(uncompressed);
    for (auto _ : state) {
        QdiReset(handle);
        for (const auto& block : corpus.blocks) {
            uint32_t size = block.uncompressedSize;
            if (QdiDecode(handle, block.bytes.data(), static_cast<uint32_t>(block.bytes.size()), out.data(), &size) != 0) {
                state.SkipWithError("decode failed");
                break;
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    QdiDestroy(handle);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(corpus.data.size()));
    size_t packed = 0;
    for (const auto& block : corpus.blocks) packed += block.bytes.size();
    state.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(corpus.data.size());
}

void BM_QuantumDecodeText(benchmark::State& state) { DecodeCorpus(state, TextCorpus(), false); }
void BM_QuantumDecodeExecutables(benchmark::State& state) { DecodeCorpus(state, BinaryCorpus(), false); }
void BM_QuantumDecodeNoise(benchmark::State& state) { DecodeCorpus(state, NoiseCorpus(), false); }
void BM_QuantumDecodeTextPaged(benchmark::State& state) { DecodeCorpus(state, TextCorpus(), true); }
BENCHMARK(BM_QuantumDecodeText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuantumDecodeExecutables)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuantumDecodeNoise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuantumDecodeTextPaged)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace treepak
