// Feeds arbitrary frames to the LZX decoder through its reader-facing entry
// points. Input layout: one byte choosing the window (2^15..2^21), then
// frames, each a 4-byte header (compressed size, uncompressed size, both
// 16-bit little-endian; sizes above 32768 are taken modulo 32769) followed
// by its bytes. A header byte of 0xFF in the size's high half asks for a
// reset first. Each frame is copied into a heap block of exactly its size
// plus the 4 bytes of slack the decoder may read, so that any read past it
// is caught. One decoder per window size is kept across inputs and reset
// at the start of each; a reset clears the window, so runs stay
// reproducible.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cabinet/lzx_format.h"
#include "decompress/decoder.h"

namespace treepak {

namespace {

void* Alloc(uint32_t size) { return std::malloc(size); }
void Free(void* block) { std::free(block); }

constexpr uint32_t kSlack = 4;
constexpr uint32_t kFrameHeader = 4;
constexpr uint32_t kWindowChoices = LZX_MAX_WINDOW_BITS - LZX_MIN_WINDOW_BITS + 1;

}  // namespace

}  // namespace treepak

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace treepak;
    if (size < 1) return 0;
    static void* decoders[kWindowChoices];
    static std::vector<uint8_t> output(LZX_FRAME_SIZE);
    const uint32_t choice = data[0] % kWindowChoices;
    void*& handle = decoders[choice];
    if (handle == nullptr) {
        const DecoderConfig config{1u << (LZX_MIN_WINDOW_BITS + choice), 0};
        uint32_t uncompressedBuffer = LZX_FRAME_SIZE, compressedBuffer = 0;
        if (LdiCreate(&uncompressedBuffer, &config, Alloc, Free, &compressedBuffer, &handle, nullptr) != DECODER_OK)
            std::abort();
    }
    if (LdiReset(handle) != DECODER_OK) std::abort();
    size_t at = 1;
    while (at + kFrameHeader <= size) {
        uint32_t compressed = data[at] | (data[at + 1] << 8);
        uint32_t wanted = (data[at + 2] | (data[at + 3] << 8)) % (LZX_FRAME_SIZE + 1);
        const bool reset = data[at + 3] == 0xFF;
        at += kFrameHeader;
        if (compressed > size - at) compressed = static_cast<uint32_t>(size - at);
        if (reset) LdiReset(handle);
        uint8_t* input = static_cast<uint8_t*>(std::calloc(compressed + kSlack, 1));
        if (compressed) std::memcpy(input, data + at, compressed);
        at += compressed;
        uint32_t produced = wanted;
        const int status = LdiDecode(handle, input, compressed, output.data(), &produced);
        std::free(input);
        if (status != DECODER_OK && status != DECODER_DATA_ERROR) std::abort();
        if (status == DECODER_OK && produced != wanted) std::abort();
    }
    return 0;
}
