// Round trip of the block-deflate compressor through our own decoder. The
// first byte chooses the block length and whether the rest of the input is
// repeated (so that short inputs still fill whole 32768-byte blocks with
// long matches); the second byte is a mask of the blocks after which both
// sides are reset. Every block is compressed into an exactly sized output
// and must decode to itself, with the history carried across blocks.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cabinet/format.h"
#include "compress/compressor.h"
#include "decompress/decoder.h"

namespace treepak {

namespace {

constexpr uint32_t kBlockSize = 32768;
constexpr size_t kControlBytes = 2;
constexpr uint8_t kRepeatFlag = 0x80;
constexpr uint8_t kLengthMask = 0x7F;
constexpr uint32_t kRepeatedTotal = 3 * kBlockSize + 1234;
constexpr int kResetMaskBits = 8;

void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* block) { std::free(block); }

}  // namespace

}  // namespace treepak

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace treepak;
    if (size <= kControlBytes || size > kControlBytes + 4 * kBlockSize) return 0;
    const uint8_t control = data[0];
    const uint8_t resetMask = data[1];
    data += kControlBytes;
    size -= kControlBytes;

    // Block length: 1..127 hundredths of a block, 127 meaning a whole block.
    const uint32_t lengthChoice = control & kLengthMask;
    const uint32_t blockLength =
        lengthChoice == 0 || lengthChoice == kLengthMask ? kBlockSize : lengthChoice * (kBlockSize / kLengthMask);
    std::vector<uint8_t> input(data, data + size);
    if ((control & kRepeatFlag) && size > 0) {
        input.resize(kRepeatedTotal);
        for (size_t i = size; i < input.size(); ++i) input[i] = input[i - size] ^ static_cast<uint8_t>(i / 4099);
    }

    uint32_t requested = kBlockSize, maxOutput = 0;
    void* compressor = nullptr;
    if (DeflateCreate(&requested, Alloc, Free, &maxOutput, &compressor) != COMPRESSOR_OK) std::abort();
    uint32_t room = kBlockSize, compressedRoom = 0;
    void* decoder = nullptr;
    if (DdiCreate(&room, Alloc, Free, &compressedRoom, &decoder) != DECODER_OK) std::abort();
    if (maxOutput > compressedRoom) std::abort();  // the reader could not hold a block the writer makes

    std::vector<uint8_t> ring(kBlockSize);
    int blockIndex = 0;
    for (size_t at = 0; at < input.size(); at += blockLength, ++blockIndex) {
        const uint32_t length = static_cast<uint32_t>(std::min<size_t>(blockLength, input.size() - at));
        // Exactly sized blocks, so that the sanitizer sees any stray access.
        std::vector<uint8_t> plain(input.begin() + static_cast<long>(at), input.begin() + static_cast<long>(at + length));
        std::vector<uint8_t> packed(maxOutput);
        uint32_t packedSize = 0;
        if (DeflateCompressBlock(compressor, plain.data(), length, packed.data(), maxOutput, &packedSize) !=
            COMPRESSOR_OK)
            std::abort();
        if (packedSize == 0 || packedSize > maxOutput) std::abort();
        packed.resize(packedSize + DECODER_BUFFER_SLACK);
        uint32_t produced = kBlockSize;
        if (DdiDecode(decoder, packed.data(), packedSize, ring.data(), &produced) != DECODER_OK) std::abort();
        if (produced != length || std::memcmp(ring.data(), plain.data(), length) != 0) std::abort();
        if (blockIndex < kResetMaskBits && (resetMask >> blockIndex) & 1) {
            if (DeflateReset(compressor) != COMPRESSOR_OK || DdiReset(decoder) != DECODER_OK) std::abort();
        }
    }
    DeflateDestroy(compressor);
    DdiDestroy(decoder);
    return 0;
}
