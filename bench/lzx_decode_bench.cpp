// LZX decoding speed in MB/s of uncompressed output, for windows 2^15 and
// 2^21, on text and on executables, side by side with zlib's inflate (what
// `gzip -d` runs) and with the `xz -d` and `gzip -d` programs on the same
// bytes (those two timed as whole processes by their CPU time, so they
// include start-up).
// Data: C headers from /usr/include and shared libraries from the system's
// library directory, 4 MiB each (generated stand-ins when absent). The
// streams come from the tool's own LZX compressor, one 32768-byte frame per
// data block as a cabinet holds them.
#include <benchmark/benchmark.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bench_corpus.h"
#include "cabinet/lzx_format.h"
#include "child_cpu_time.h"
#include "compress/compressor.h"
#include "decompress/decoder.h"

namespace treepak {

namespace {

constexpr size_t kCorpusBytes = 4u << 20;
constexpr uint32_t kSlack = DECODER_BUFFER_SLACK;

void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* block) { std::free(block); }

struct Frame {
    std::vector<uint8_t> bytes;  // data followed by the reader's zeroed slack
    uint32_t uncompressedSize;
};

struct Folder {
    std::vector<uint8_t> original;
    std::vector<Frame> frames;
};

int CollectFrame(void* context, const uint8_t* bytes, uint32_t compressedSize, uint32_t uncompressedSize) {
    Frame frame{std::vector<uint8_t>(bytes, bytes + compressedSize), uncompressedSize};
    frame.bytes.resize(compressedSize + kSlack);
    static_cast<Folder*>(context)->frames.push_back(std::move(frame));
    return 0;
}

Folder Compress(std::vector<uint8_t> data, uint32_t windowBits) {
    Folder folder;
    folder.original = std::move(data);
    uint32_t blockSize = 0, maxOutput = 0;
    void* handle = nullptr;
    const LzxParams params{1u << windowBits, 65536};
    if (LzxCreate(&blockSize, &params, Alloc, Free, &maxOutput, &handle, CollectFrame, &folder) != COMPRESSOR_OK)
        return folder;
    std::vector<uint8_t> scratch(maxOutput);
    for (size_t at = 0; at < folder.original.size(); at += LZX_FRAME_SIZE) {
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(LZX_FRAME_SIZE, folder.original.size() - at));
        uint32_t estimate = 0;
        LzxCompressBlock(handle, folder.original.data() + at, n, scratch.data(), maxOutput, &estimate);
    }
    LzxFlush(handle);
    LzxDestroy(handle);
    return folder;
}

const std::vector<uint8_t>& Text() {
    static const std::vector<uint8_t> data = BenchHeaderText(kCorpusBytes);
    return data;
}
const std::vector<uint8_t>& Code() {
    static const std::vector<uint8_t> data = BenchExecutables(kCorpusBytes);
    return data;
}

void DecodeLzx(benchmark::State& state, const std::vector<uint8_t>& (*source)(), uint32_t windowBits) {
    static Folder cache[2][LZX_MAX_WINDOW_BITS + 1];
    Folder& folder = cache[source == &Code][windowBits];
    if (folder.original.empty()) folder = Compress(source(), windowBits);
    if (folder.frames.empty()) {
        state.SkipWithError("the LZX compressor is not available");
        return;
    }
    uint32_t uncompressedSize = LZX_FRAME_SIZE, compressedSize = 0;
    void* handle = nullptr;
    const DecoderConfig config{1u << windowBits, 0};
    LdiCreate(&uncompressedSize, &config, Alloc, Free, &compressedSize, &handle, nullptr);
    std::vector<uint8_t> out(LZX_FRAME_SIZE);
    size_t compressedTotal = 0;
    for (const Frame& f : folder.frames) compressedTotal += f.bytes.size() - kSlack;
    for (auto _ : state) {
        LdiReset(handle);
        for (const Frame& f : folder.frames) {
            uint32_t produced = f.uncompressedSize;
            if (LdiDecode(handle, f.bytes.data(), static_cast<uint32_t>(f.bytes.size() - kSlack), out.data(),
                          &produced) != DECODER_OK) {
                state.SkipWithError("decode failed");
                break;
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    LdiDestroy(handle);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * folder.original.size()));
    state.counters["ratio"] = static_cast<double>(compressedTotal) / static_cast<double>(folder.original.size());
}

void DecodeZlib(benchmark::State& state, const std::vector<uint8_t>& (*source)()) {
    const std::vector<uint8_t>& data = source();
    uLongf bound = compressBound(static_cast<uLong>(data.size()));
    std::vector<uint8_t> packed(bound);
    compress2(packed.data(), &bound, data.data(), static_cast<uLong>(data.size()), 6);
    packed.resize(bound);
    std::vector<uint8_t> out(data.size());
    for (auto _ : state) {
        uLongf size = static_cast<uLongf>(out.size());
        uncompress(out.data(), &size, packed.data(), static_cast<uLong>(packed.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
}

// Times `program -dc` over a file it packed itself, as a whole process (CPU time).
void DecodeProgram(benchmark::State& state, const std::vector<uint8_t>& (*source)(), const char* program) {
    const std::string base = (std::filesystem::temp_directory_path() /
                              ("lzx_bench_" + std::to_string(::getpid()) + (source == &Code ? "_code" : "_text")))
                                 .string();
    {
        std::ofstream(base, std::ios::binary)
            .write(reinterpret_cast<const char*>(source().data()), static_cast<std::streamsize>(source().size()));
    }
    const std::string packed = base + "." + program;
    const std::string pack = std::string(program) + " -6 -c " + base + " > " + packed + " 2>/dev/null";
    if (std::system(pack.c_str()) != 0) {
        state.SkipWithError("program not available");
        std::filesystem::remove(base);
        return;
    }
    const std::string unpack = std::string(program) + " -dc " + packed + " > /dev/null";
    for (auto _ : state) {
        const double start = ChildCpuSeconds();
        if (std::system(unpack.c_str()) != 0) state.SkipWithError("decode failed");
        state.SetIterationTime(ChildCpuSeconds() - start);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * source().size()));
    std::filesystem::remove(base);
    std::filesystem::remove(packed);
}

BENCHMARK_CAPTURE(DecodeLzx, text_w15, &Text, 15)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeLzx, text_w21, &Text, 21)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeLzx, exe_w15, &Code, 15)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeLzx, exe_w21, &Code, 21)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeZlib, text, &Text)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeZlib, exe, &Code)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeProgram, text_xz, &Text, "xz")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeProgram, exe_xz, &Code, "xz")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeProgram, text_gzip, &Text, "gzip")->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(DecodeProgram, exe_gzip, &Code, "gzip")->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace treepak
