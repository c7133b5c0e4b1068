// LZX compressor throughput: one folder of mixed generated data (prose-like
// text, x86-like code, a little random data) through the compressor
// interface, at the largest window and at the smallest. Reports input MB/s
// and the compressed size as a fraction of the input, beside the `xz -6`
// program packing the same bytes (a whole process, timed by its CPU time).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "child_cpu_time.h"
#include "compress/compressor.h"
#include "platform/large_blocks.h"

namespace treepak {

namespace {

uint64_t gState = 0x9E3779B97F4A7C15ull;
uint32_t Next() {
    gState ^= gState << 13;
    gState ^= gState >> 7;
    gState ^= gState << 17;
    return static_cast<uint32_t>(gState >> 16);
}

std::vector<uint8_t> MakeInput(size_t size) {
    std::vector<std::string> words(3000);
    for (auto& w : words)
        for (uint32_t k = 2 + Next() % 7; k > 0; --k) w += static_cast<char>('a' + Next() % 26);
    std::vector<uint8_t> out;
    while (out.size() < size) {
        const uint32_t kind = Next() % 16;
        if (kind < 10) {  // a sentence
            for (uint32_t k = 4 + Next() % 12; k > 0; --k) {
                const double u = (Next() % 65536) / 65536.0;
                const std::string& w = words[static_cast<size_t>(u * u * u * words.size())];
                out.insert(out.end(), w.begin(), w.end());
                out.push_back(' ');
            }
            out.push_back('\n');
        } else if (kind < 15) {  // code with calls
            for (uint32_t k = 0; k < 64; ++k) {
                out.push_back(0xE8);
                const uint32_t rel = (Next() % 64) * 0x40 - static_cast<uint32_t>(out.size());
                for (int b = 0; b < 4; ++b) out.push_back(static_cast<uint8_t>(rel >> (8 * b)));
                const uint8_t ops[] = {0x8B, 0x45, 0xFC, 0x50, 0x83, 0xC4, 0x08};
                out.insert(out.end(), ops, ops + 1 + Next() % 7);
            }
        } else {  // noise
            for (uint32_t k = 0; k < 512; ++k) out.push_back(static_cast<uint8_t>(Next()));
        }
    }
    out.resize(size);
    return out;
}

// As the tool's clients do: large tables and windows in huge pages.
void* Alloc(uint32_t n) {
    if (void* block = platform::AllocateLargeBlock(n, true)) return block;
    return std::malloc(n == 0 ? 1 : n);
}
void Free(void* p) {
    if (!platform::FreeLargeBlock(p)) std::free(p);
}
int CountFrame(void* context, const uint8_t*, uint32_t compressedSize, uint32_t) {
    *static_cast<uint64_t*>(context) += compressedSize;
    return 0;
}

const std::vector<uint8_t>& Input() {
    static const std::vector<uint8_t> input = MakeInput(8u << 20);
    return input;
}

void BM_LzxEncodeFolder(benchmark::State& state) {
    const std::vector<uint8_t>& input = Input();
    const uint32_t window = 1u << state.range(0);
    uint64_t compressed = 0;
    uint32_t blockSize = 32768, maxOutput = 0;
    void* handle = nullptr;
    const LzxParams params{window, 65536};
    if (LzxCreate(&blockSize, &params, Alloc, Free, &maxOutput, &handle, CountFrame, &compressed) != COMPRESSOR_OK) {
        state.SkipWithError("LzxCreate failed");
        return;
    }
    std::vector<uint8_t> output(maxOutput);
    for (auto _ : state) {
        compressed = 0;
        uint32_t estimate = 0;
        for (size_t at = 0; at < input.size(); at += blockSize) {
            const uint32_t n = static_cast<uint32_t>(std::min<size_t>(blockSize, input.size() - at));
            LzxCompressBlock(handle, input.data() + at, n, output.data(), maxOutput, &estimate);
        }
        LzxFlush(handle);
        LzxReset(handle);
    }
    LzxDestroy(handle);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
    state.counters["ratio"] = static_cast<double>(compressed) / static_cast<double>(input.size());
}

void BM_XzLevel6(benchmark::State& state) {
    const std::vector<uint8_t>& input = Input();
    const std::string base =
        (std::filesystem::temp_directory_path() / ("lzx_encode_bench_" + std::to_string(::getpid()))).string();
    std::ofstream(base, std::ios::binary)
        .write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    const std::string packed = base + ".xz";
    const std::string pack = "xz -6 -c " + base + " > " + packed + " 2>/dev/null";
    for (auto _ : state) {
        const double start = ChildCpuSeconds();
        if (std::system(pack.c_str()) != 0) {
            state.SkipWithError("xz not available");
            break;
        }
        state.SetIterationTime(ChildCpuSeconds() - start);
    }
    std::error_code error;
    const auto packedSize = std::filesystem::file_size(packed, error);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * input.size()));
    if (!error) state.counters["ratio"] = static_cast<double>(packedSize) / static_cast<double>(input.size());
    std::filesystem::remove(base, error);
    std::filesystem::remove(packed, error);
}

}  // namespace

BENCHMARK(BM_LzxEncodeFolder)->Arg(21)->Arg(15)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_XzLevel6)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace treepak
