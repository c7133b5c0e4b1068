// Fuzzes the Quantum decoder alone, in both window kinds. Input layout:
// byte 0 picks the window bits (10..21) and whether the window is paged
// (bit 7); then records of [u16 wanted size][u16 compressed size][bytes],
// little-endian, each decoded as one data block (a wanted size with bit 15
// and bit 14 both set resets the decoder first). Every decode must end in
// 0 or 4 without touching memory outside its buffers.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decompress/decoder.h"
#include "memory_files.h"

namespace treepak {

namespace {

constexpr uint32_t BLOCK_SIZE = 32768;
constexpr uint32_t PAGED_FLAG = 0x80;
constexpr uint16_t RESET_MARK = 0xC000;

void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* block) { std::free(block); }

// Refuses the window in one piece so that the paged window is used.
uint32_t g_refusedSize = 0;
void* PagedAlloc(uint32_t size) { return size == g_refusedSize ? nullptr : std::malloc(size); }

// The paged window's spill file, in memory.
int Open(const char*, int, int) { return memfiles::Open("spill", true); }
int32_t Read(int handle, void* buffer, uint32_t count) { return memfiles::Read(handle, buffer, count); }
int32_t Write(int handle, const void* buffer, uint32_t count) { return memfiles::Write(handle, buffer, count); }
int Close(int handle) { return memfiles::Close(handle); }
int32_t Seek(int handle, int32_t offset, int origin) { return memfiles::Seek(handle, offset, origin); }

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

}  // namespace treepak

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace treepak;
    if (size < 1) return 0;
    memfiles::Reset();
    const uint32_t bits = 10 + data[0] % 12;
    const bool paged = data[0] & PAGED_FLAG;
    g_refusedSize = uint32_t{1} << bits;
    const DecoderFileCallbacks files{Open, Read, Write, Close, Seek};
    const DecoderConfig config{bits, 0};
    uint32_t uncompressedSize = 0, compressedSize = 0;
    void* handle = nullptr;
    if (QdiCreate(&uncompressedSize, &config, paged ? PagedAlloc : Alloc, Free, &compressedSize, &handle, &files) != 0)
        std::abort();

    std::vector<uint8_t> out(BLOCK_SIZE);
    size_t at = 1;
    while (at + 4 <= size) {
        uint16_t wanted = Le16(data + at);
        const size_t length = std::min<size_t>(Le16(data + at + 2), size - at - 4);
        at += 4;
        if ((wanted & RESET_MARK) == RESET_MARK) {
            if (QdiReset(handle) != 0) std::abort();
            wanted &= ~RESET_MARK;
        }
        wanted = static_cast<uint16_t>(wanted % (BLOCK_SIZE + 1));
        // Exactly sized copies, so that any read or write past them is caught.
        std::vector<uint8_t> compressed(data + at, data + at + length);
        std::vector<uint8_t> target(wanted);
        uint32_t produced = wanted;
        const int result = QdiDecode(handle, compressed.data(), static_cast<uint32_t>(length), target.data(), &produced);
        if ((result != 0 && result != 4) || produced != wanted) std::abort();
        at += length;
    }
    if (QdiDestroy(handle) != 0) std::abort();
    return 0;
}
