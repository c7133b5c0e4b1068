// Block-deflate decoding speed: the folder decoder against zlib's inflate
// on the same blocks (each 32768-byte block a raw deflate stream after "CK"
// with the previous block as preset dictionary, as a cabinet holds them).
// Data: C headers from /usr/include when present, else generated text; plus
// a mix with incompressible stretches. libdeflate (when installed) takes no
// preset dictionary, so it decodes each block of a folder after a stored
// block holding the 32768 bytes before it (the same compressed blocks and
// history, plus one copy of the history, as our decoder makes one copy of
// its block out of its window). All three decoders also run on the text
// compressed as independent blocks, and libdeflate decodes the text
// compressed as one whole stream as well (its best case: one call, fewer
// and larger DEFLATE blocks, no data block boundaries).
#include <benchmark/benchmark.h>
#include <zlib.h>
#ifdef HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "bench_corpus.h"
#include "decompress/decoder.h"

namespace treepak {

namespace {

constexpr uint32_t kBlockSize = 32768;
constexpr size_t kCorpusBytes = 8u << 20;
constexpr uint32_t kSlack = DECODER_BUFFER_SLACK;

std::vector<uint8_t> MixedData() {
    std::vector<uint8_t> data = BenchHeaderText(kCorpusBytes);
    std::mt19937 rng(2);
    for (size_t at = 0; at + 4096 < data.size(); at += 20000)
        for (size_t i = 0; i < 4096; ++i) data[at + i] = static_cast<uint8_t>(rng());
    return data;
}

struct Folder {
    std::vector<uint8_t> original;
    std::vector<std::vector<uint8_t>> blocks;  // "CK" + raw deflate
};

enum class History { PreviousBlock, None };

Folder Compress(std::vector<uint8_t> data, int level, History history = History::PreviousBlock) {
    Folder folder;
    folder.original = std::move(data);
    for (size_t offset = 0; offset < folder.original.size(); offset += kBlockSize) {
        const uint32_t size = static_cast<uint32_t>(std::min<size_t>(kBlockSize, folder.original.size() - offset));
        z_stream stream{};
        deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
        if (offset != 0 && history == History::PreviousBlock)
            deflateSetDictionary(&stream, folder.original.data() + offset - kBlockSize, kBlockSize);
        std::vector<uint8_t> block(2 + deflateBound(&stream, size));
        block[0] = 'C';
        block[1] = 'K';
        stream.next_in = folder.original.data() + offset;
        stream.avail_in = size;
        stream.next_out = block.data() + 2;
        stream.avail_out = static_cast<uInt>(block.size() - 2);
        deflate(&stream, Z_FINISH);
        block.erase(block.begin() + 2 + stream.total_out, block.end());
        block.resize(block.size() + kSlack);  // the reader's zeroed slack
        deflateEnd(&stream);
        folder.blocks.push_back(std::move(block));
    }
    return folder;
}

const Folder& TextFolder() {
    static const Folder folder = Compress(BenchHeaderText(kCorpusBytes), 6);
    return folder;
}
const Folder& MixedFolder() {
    static const Folder folder = Compress(MixedData(), 6);
    return folder;
}

const Folder& IndependentFolder() {
    static const Folder folder = Compress(BenchHeaderText(kCorpusBytes), 6, History::None);
    return folder;
}

void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* block) { std::free(block); }

void DecodeWithFolderDecoder(benchmark::State& state, const Folder& folder) {
    uint32_t uncompressedSize = kBlockSize, compressedSize = 0;
    void* handle = nullptr;
    DdiCreate(&uncompressedSize, Alloc, Free, &compressedSize, &handle);
    std::vector<uint8_t> ring(kBlockSize + kSlack);
    for (auto _ : state) {
        DdiReset(handle);
        for (const std::vector<uint8_t>& block : folder.blocks) {
            uint32_t produced = kBlockSize;
            if (DdiDecode(handle, block.data(), static_cast<uint32_t>(block.size() - kSlack), ring.data(),
                          &produced) != DECODER_OK) {
                state.SkipWithError("decode failed");
                break;
            }
        }
        benchmark::DoNotOptimize(ring.data());
    }
    DdiDestroy(handle);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * folder.original.size()));
}

void DecodeWithZlib(benchmark::State& state, const Folder& folder) {
    z_stream stream{};
    inflateInit2(&stream, -15);
    std::vector<uint8_t> out(2 * kBlockSize);
    for (auto _ : state) {
        uint8_t* current = out.data();
        uint8_t* previous = out.data() + kBlockSize;
        bool first = true;
        for (const std::vector<uint8_t>& block : folder.blocks) {
            inflateReset(&stream);
            if (!first) inflateSetDictionary(&stream, previous, kBlockSize);
            stream.next_in = const_cast<uint8_t*>(block.data() + 2);
            stream.avail_in = static_cast<uInt>(block.size() - kSlack - 2);
            stream.next_out = current;
            stream.avail_out = kBlockSize;
            if (inflate(&stream, Z_FINISH) != Z_STREAM_END) {
                state.SkipWithError("inflate failed");
                break;
            }
            std::swap(current, previous);
            first = false;
        }
        benchmark::DoNotOptimize(out.data());
    }
    inflateEnd(&stream);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * folder.original.size()));
}

#ifdef HAVE_LIBDEFLATE
// libdeflate takes no preset dictionary, so a block that reaches into the
// one before goes after a stored, non-final DEFLATE block of the previous
// 32768 bytes: a stored block ends on a byte boundary and the block's own
// DEFLATE data starts on one, so the two concatenate. Blocks of a folder
// without history go as they are.
std::vector<std::vector<uint8_t>> LibdeflateStreams(const Folder& folder, History history) {
    // Final bit 0 and type 00 (stored) in the first byte, whose other bits
    // pad to the byte's end; then LEN and its complement, little-endian.
    constexpr uint8_t kStoredHeader[5] = {0x00, kBlockSize & 0xFF, kBlockSize >> 8,
                                         static_cast<uint8_t>(~kBlockSize & 0xFF),
                                         static_cast<uint8_t>((~kBlockSize >> 8) & 0xFF)};
    std::vector<std::vector<uint8_t>> streams;
    for (size_t k = 0; k < folder.blocks.size(); ++k) {
        std::vector<uint8_t> stream;
        if (k != 0 && history == History::PreviousBlock) {
            stream.assign(std::begin(kStoredHeader), std::end(kStoredHeader));
            const uint8_t* previous = folder.original.data() + (k - 1) * kBlockSize;
            stream.insert(stream.end(), previous, previous + kBlockSize);
        }
        const std::vector<uint8_t>& block = folder.blocks[k];
        stream.insert(stream.end(), block.begin() + 2, block.end() - kSlack);
        streams.push_back(std::move(stream));
    }
    return streams;
}

void DecodeWithLibdeflate(benchmark::State& state, const Folder& folder, History history) {
    const std::vector<std::vector<uint8_t>> streams = LibdeflateStreams(folder, history);
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    std::vector<uint8_t> out(2 * kBlockSize);
    // Checked once, outside the timing: each stream gives its history, if
    // any, then its block.
    for (size_t k = 0; k < streams.size(); ++k) {
        size_t produced = 0;
        const size_t prefix = k != 0 && history == History::PreviousBlock ? kBlockSize : 0;
        if (libdeflate_deflate_decompress(decompressor, streams[k].data(), streams[k].size(), out.data(), out.size(),
                                          &produced) != LIBDEFLATE_SUCCESS ||
            produced < prefix ||
            std::memcmp(out.data() + prefix, folder.original.data() + k * kBlockSize, produced - prefix) != 0) {
            state.SkipWithError("libdeflate decoded something else");
            libdeflate_free_decompressor(decompressor);
            return;
        }
    }
    for (auto _ : state) {
        for (const std::vector<uint8_t>& stream : streams) {
            size_t produced = 0;
            if (libdeflate_deflate_decompress(decompressor, stream.data(), stream.size(), out.data(), out.size(),
                                              &produced) != LIBDEFLATE_SUCCESS) {
                state.SkipWithError("libdeflate failed");
                break;
            }
        }
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_decompressor(decompressor);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * folder.original.size()));
}
void BM_Libdeflate_Text(benchmark::State& state) {
    DecodeWithLibdeflate(state, TextFolder(), History::PreviousBlock);
}
void BM_Libdeflate_Mixed(benchmark::State& state) {
    DecodeWithLibdeflate(state, MixedFolder(), History::PreviousBlock);
}
void BM_Libdeflate_Independent(benchmark::State& state) {
    DecodeWithLibdeflate(state, IndependentFolder(), History::None);
}
BENCHMARK(BM_Libdeflate_Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libdeflate_Mixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Libdeflate_Independent)->Unit(benchmark::kMillisecond);

void BM_Libdeflate_TextWholeStream(benchmark::State& state) {
    const std::vector<uint8_t> text = BenchHeaderText(kCorpusBytes);
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> compressed(deflateBound(&stream, text.size()));
    stream.next_in = const_cast<uint8_t*>(text.data());
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = compressed.data();
    stream.avail_out = static_cast<uInt>(compressed.size());
    deflate(&stream, Z_FINISH);
    compressed.resize(stream.total_out);
    deflateEnd(&stream);
    libdeflate_decompressor* decompressor = libdeflate_alloc_decompressor();
    std::vector<uint8_t> out(text.size());
    for (auto _ : state) {
        if (libdeflate_deflate_decompress(decompressor, compressed.data(), compressed.size(), out.data(), out.size(),
                                          nullptr) != LIBDEFLATE_SUCCESS) {
            state.SkipWithError("libdeflate failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    libdeflate_free_decompressor(decompressor);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Libdeflate_TextWholeStream)->Unit(benchmark::kMillisecond);
#endif

void BM_FolderDecoder_Independent(benchmark::State& state) { DecodeWithFolderDecoder(state, IndependentFolder()); }
void BM_ZlibInflate_Independent(benchmark::State& state) { DecodeWithZlib(state, IndependentFolder()); }
void BM_FolderDecoder_Text(benchmark::State& state) { DecodeWithFolderDecoder(state, TextFolder()); }
void BM_ZlibInflate_Text(benchmark::State& state) { DecodeWithZlib(state, TextFolder()); }
void BM_FolderDecoder_Mixed(benchmark::State& state) { DecodeWithFolderDecoder(state, MixedFolder()); }
void BM_ZlibInflate_Mixed(benchmark::State& state) { DecodeWithZlib(state, MixedFolder()); }

BENCHMARK(BM_FolderDecoder_Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate_Text)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FolderDecoder_Mixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate_Mixed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FolderDecoder_Independent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate_Independent)->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace treepak
