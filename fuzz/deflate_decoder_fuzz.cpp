// Fuzz target for the block-deflate decoder alone. The first input byte
// picks the output room and whether "CK" is put in front of the rest; the
// rest is decoded twice into the same ring, so the second pass reads history
// left by the first. Input and ring are exactly sized heap blocks, so the
// sanitizer sees any access outside them.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "decompress/decoder.h"

namespace treepak {

namespace {

constexpr uint32_t kRingSize = 32768;
constexpr uint8_t kAddPrefixFlag = 0x80;
constexpr uint8_t kRoomMask = 0x7F;

void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* block) { std::free(block); }

}  // namespace

}  // namespace treepak

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace treepak;
    if (size < 1 || size > 2 * kRingSize) return 0;
    const uint8_t control = data[0];
    const bool addPrefix = (control & kAddPrefixFlag) != 0;
    // Room 0..127 selects small rooms; 127 stands for the whole buffer.
    const uint32_t room = (control & kRoomMask) == kRoomMask ? kRingSize : (control & kRoomMask) * 64u;
    const size_t bodySize = size - 1;
    const size_t blockSize = bodySize + (addPrefix ? 2 : 0);

    auto* block = static_cast<uint8_t*>(std::malloc(blockSize ? blockSize : 1));
    if (addPrefix) {
        block[0] = 'C';
        block[1] = 'K';
    }
    if (bodySize) std::memcpy(block + (addPrefix ? 2 : 0), data + 1, bodySize);
    auto* ring = static_cast<uint8_t*>(std::calloc(kRingSize, 1));

    uint32_t uncompressedSize = kRingSize, compressedSize = 0;
    void* handle = nullptr;
    if (DdiCreate(&uncompressedSize, Alloc, Free, &compressedSize, &handle) == DECODER_OK) {
        for (int pass = 0; pass < 2; ++pass) {
            uint32_t produced = room;
            const int result = DdiDecode(handle, block, static_cast<uint32_t>(blockSize), ring, &produced);
            if (result != DECODER_OK && result != DECODER_DATA_ERROR && result != DECODER_BAD_SIZE) std::abort();
            if (produced > room) std::abort();
        }
        DdiDestroy(handle);
    }
    std::free(ring);
    std::free(block);
    return 0;
}
