#include "quantum_test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "test_support.h"

namespace treepak {

namespace qtest {
namespace {

uint32_t g_refuseFrom = UINT32_MAX, g_refuseExactly = 0, g_maxBlocks = UINT32_MAX, g_outstanding = 0;

// The spill file lives in memory; reads, writes and seeks spend a budget.
SpillRecord g_spill;
std::vector<uint8_t> g_spillBytes;
size_t g_spillPosition = 0;
uint32_t g_ioBudget = UINT32_MAX;
constexpr int kSpillHandle = 7;

bool SpendIo() {
    if (g_ioBudget == 0) return false;
    if (g_ioBudget != UINT32_MAX) --g_ioBudget;
    return true;
}

int SpillOpen(const char* name, int flags, int mode) {
    g_spill = SpillRecord{{name, name + 6}, flags, mode, 0, 0, 1};
    g_spillBytes.clear();
    g_spillPosition = 0;
    return kSpillHandle;
}
int32_t SpillRead(int, void* buffer, uint32_t count) {
    if (!SpendIo()) return -1;
    ++g_spill.reads;
    const size_t n = std::min<size_t>(count, g_spillBytes.size() - std::min(g_spillPosition, g_spillBytes.size()));
    if (n) std::memcpy(buffer, g_spillBytes.data() + g_spillPosition, n);
    g_spillPosition += n;
    return static_cast<int32_t>(n);
}
int32_t SpillWrite(int, const void* buffer, uint32_t count) {
    if (!SpendIo()) return -1;
    ++g_spill.writes;
    if (g_spillBytes.size() < g_spillPosition + count) g_spillBytes.resize(g_spillPosition + count);
    std::memcpy(g_spillBytes.data() + g_spillPosition, buffer, count);
    g_spillPosition += count;
    return static_cast<int32_t>(count);
}
int SpillClose(int) { return --g_spill.openHandles, 0; }
int32_t SpillSeek(int, int32_t offset, int origin) {
    if (!SpendIo() || origin != 0 || offset < 0) return -1;
    g_spillPosition = static_cast<size_t>(offset);
    return offset;
}

}  // namespace

// Hashes recorded when the streams were made.
const CommittedStream kStreams[] = {
    {"mixed10", 10, "f5c392aa770c8d3b"}, {"mixed13", 13, "c48dc7b485e1a4d3"},
    {"mixed16", 16, "c456c529a4ff605d"}, {"blocks12", 12, "126639ca860ffeac"},  // blocks of 7 bytes
    {"edges10", 10, "a36b64cf67d25402"},  {"edges19", 19, "145b7d4146dd8f8b"},
    {"edges21", 21, "758afed63f57c6db"},
};
const size_t kStreamCount = std::size(kStreams);

std::vector<EncodedBlock> LoadStream(const char* name) {
    const std::vector<uint8_t> file =
        testsupport::ReadFileBytes(std::filesystem::path(TREEPAK_SOURCE_DIR) / "tests/decompress/quantum/streams" / name);
    auto u32 = [&](size_t at) { return uint32_t{file[at]} | file[at + 1] << 8 | file[at + 2] << 16 | uint32_t{file[at + 3]} << 24; };
    std::vector<EncodedBlock> blocks;
    for (size_t at = 0; at + 8 <= file.size();) {
        const uint32_t compressed = u32(at + 4);
        blocks.push_back({{file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                           file.begin() + static_cast<std::ptrdiff_t>(at + 8 + compressed)}, u32(at)});
        at += 8 + compressed;
    }
    EXPECT_FALSE(blocks.empty()) << name;
    return blocks;
}

void* TestAlloc(uint32_t size) {
    if (size >= g_refuseFrom || size == g_refuseExactly || g_outstanding >= g_maxBlocks) return nullptr;
    void* block = std::malloc(size);
    if (!block) return nullptr;
    ++g_outstanding;
    std::memset(block, 0xA5, size);
    return block;
}
void TestFree(void* block) {
    if (block) --g_outstanding;
    std::free(block);
}
void LimitAllocation(uint32_t refuseFrom, uint32_t refuseExactly, uint32_t maxBlocks) {
    g_refuseFrom = refuseFrom;
    g_refuseExactly = refuseExactly;
    g_maxBlocks = maxBlocks;
}
void AllowAllAllocation() { LimitAllocation(UINT32_MAX, 0, UINT32_MAX); }
uint32_t OutstandingBlocks() { return g_outstanding; }

DecoderFileCallbacks SpillFiles() {
    g_ioBudget = UINT32_MAX;
    return DecoderFileCallbacks{SpillOpen, SpillRead, SpillWrite, SpillClose, SpillSeek};
}
SpillRecord& LastSpill() { return g_spill; }
void FailSpillIoAfter(uint32_t operations) { g_ioBudget = operations; }

Decoder::Decoder(uint32_t windowBits, const DecoderFileCallbacks* files, uint32_t bufferSize) {
    const DecoderConfig config{windowBits, 0};
    uint32_t compressed = 0;
    created = QdiCreate(&bufferSize, &config, TestAlloc, TestFree, &compressed, &handle, files);
}

Decoder::~Decoder() {
    if (handle) {
        EXPECT_EQ(QdiDestroy(handle), DECODER_OK);
    }
}

int Decoder::Decode(std::vector<uint8_t> bytes, uint32_t wanted, std::vector<uint8_t>* out) {
    std::vector<uint8_t> buffer(wanted);
    uint32_t size = wanted;
    const int result = QdiDecode(handle, bytes.data(), static_cast<uint32_t>(bytes.size()), buffer.data(), &size);
    EXPECT_EQ(size, wanted) << "the size is left unchanged";
    if (out) *out = std::move(buffer);
    return result;
}

DecodeRun Decoder::DecodeAll(const std::vector<EncodedBlock>& blocks) {
    DecodeRun run;
    std::vector<uint8_t> out;
    for (size_t i = 0; i < blocks.size() && run.result == DECODER_OK; ++i) {
        run.result = Decode(blocks[i].bytes, blocks[i].uncompressedSize, &out);
        run.failedBlock = i;
        run.output.insert(run.output.end(), out.begin(), out.end());
    }
    return run;
}

DecodeRun DecodeFolder(uint32_t windowBits, const std::vector<EncodedBlock>& blocks) {
    Decoder decoder(windowBits);
    EXPECT_EQ(decoder.created, DECODER_OK) << "window bits " << windowBits;
    return decoder.created == DECODER_OK ? decoder.DecodeAll(blocks) : DecodeRun{decoder.created, 0, {}};
}

}  // namespace qtest

}  // namespace treepak
