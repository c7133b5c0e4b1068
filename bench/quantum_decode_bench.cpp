// Quantum decoding throughput (MB/s of output) on a few MB of text and of
// binary data, with the memory window and with the paged window. The
// streams come from the test encoder in tests/quantum.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "decompress/decoder.h"
#include "quantum_test_encoder.h"
#include "test_support.h"

namespace {

constexpr size_t DATA_SIZE = 4 << 20;
constexpr uint32_t WINDOW_BITS = 21;

// Structured binary: records of counters, small integers, addresses and
// floats, with occasional stretches of random bytes between them.
std::vector<uint8_t> BinaryData(size_t size) {
    std::vector<uint8_t> data;
    testsupport::Rng rng(99);
    uint32_t counter = 0;
    while (data.size() < size) {
        if (rng.Below(64) == 0) {
            const auto noise = testsupport::RandomBytes(16 + rng.Below(256), rng.Next());
            data.insert(data.end(), noise.begin(), noise.end());
            continue;
        }
        const uint32_t fields[4] = {counter++, rng.Below(100), 0x00400000u + 16 * rng.Below(4096), 0};
        const float value = static_cast<float>(rng.Below(1000)) / 8.0f;
        uint8_t record[20];
        std::memcpy(record, fields, 16);
        std::memcpy(record + 16, &value, 4);
        data.insert(data.end(), record, record + sizeof(record));
    }
    data.resize(size);
    return data;
}

struct Corpus {
    std::vector<uint8_t> data;
    std::vector<qtest::EncodedBlock> blocks;
};

const Corpus& TextCorpus() {
    static const Corpus corpus = [] {
        Corpus c{testsupport::TextBytes(DATA_SIZE, 7), {}};
        c.blocks = qtest::CompressQuantum(c.data, WINDOW_BITS);
        return c;
    }();
    return corpus;
}
// Incompressible bytes: nearly all literals, the slowest case per byte.
const Corpus& RandomCorpus() {
    static const Corpus corpus = [] {
        Corpus c{testsupport::RandomBytes(DATA_SIZE / 4, 5), {}};
        c.blocks = qtest::CompressQuantum(c.data, WINDOW_BITS);
        return c;
    }();
    return corpus;
}
const Corpus& BinaryCorpus() {
    static const Corpus corpus = [] {
        Corpus c{BinaryData(DATA_SIZE), {}};
        c.blocks = qtest::CompressQuantum(c.data, WINDOW_BITS);
        return c;
    }();
    return corpus;
}

void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* block) { std::free(block); }
uint32_t g_refused = 0;
void* PagedAlloc(uint32_t size) { return size == g_refused ? nullptr : std::malloc(size); }

// An in-memory spill file, so that the paged numbers measure the decoder.
std::vector<uint8_t> g_file;
size_t g_position = 0;
int Open(const char*, int, int) { g_file.assign(size_t{1} << WINDOW_BITS, 0); g_position = 0; return 3; }
int32_t Read(int, void* b, uint32_t n) { std::memcpy(b, g_file.data() + g_position, n); g_position += n; return static_cast<int32_t>(n); }
int32_t Write(int, const void* b, uint32_t n) { std::memcpy(g_file.data() + g_position, b, n); g_position += n; return static_cast<int32_t>(n); }
int Close(int) { return 0; }
int32_t Seek(int, int32_t offset, int) { g_position = static_cast<size_t>(offset); return offset; }

void DecodeCorpus(benchmark::State& state, const Corpus& corpus, bool paged) {
    const DecoderFileCallbacks files{Open, Read, Write, Close, Seek};
    const DecoderConfig config{WINDOW_BITS, 0};
    uint32_t uncompressed = 0, compressed = 0;
    void* handle = nullptr;
    g_refused = uint32_t{1} << WINDOW_BITS;
    if (QdiCreate(&uncompressed, &config, paged ? PagedAlloc : Alloc, Free, &compressed, &handle, &files) != 0) {
        state.SkipWithError("create failed");
        return;
    }
    std::vector<uint8_t> out(32768);
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
void BM_QuantumDecodeBinary(benchmark::State& state) { DecodeCorpus(state, BinaryCorpus(), false); }
void BM_QuantumDecodeRandom(benchmark::State& state) { DecodeCorpus(state, RandomCorpus(), false); }
void BM_QuantumDecodeTextPaged(benchmark::State& state) { DecodeCorpus(state, TextCorpus(), true); }
BENCHMARK(BM_QuantumDecodeText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuantumDecodeBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuantumDecodeRandom)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QuantumDecodeTextPaged)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
