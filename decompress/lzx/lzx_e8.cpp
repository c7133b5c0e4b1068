// Call-address untranslation.
//
// The compressor rewrites the 32-bit operand after each 0xE8 byte (an x86
// relative call) of the first 32768 frames into an absolute value, so that
// repeated calls to one target become repeated byte strings. With cur the
// stream offset of the 0xE8 byte and S the translation size, it stored
// abs = rel + cur when 0 <= abs < S, and rel - S when S <= abs < cur + S;
// everything else stayed. Untranslation maps those back: a value below S
// was absolute, a value v with -v <= cur was rel - S.
//
// Neither side touches an 0xE8 whose operand reaches into the frame's last
// six bytes; after a translated operand the scan resumes behind it.
#include <cstring>

#include "cabinet/bytes.h"

#include "decompress/lzx/lzx_decoder_state.h"

namespace treepak {

namespace lzxdec {
namespace {

constexpr uint8_t kCallOpcode = 0xE8;
constexpr uint32_t kUntouchedTail = LZX_E8_TAIL_BYTES + LZX_E8_OPERAND_BYTES;

}  // namespace

void UntranslateE8(uint8_t* data, uint32_t size, uint32_t e8Size, uint32_t* e8Offset) {
    const uint32_t first = *e8Offset;
    *e8Offset = first + size;
    if (size <= kUntouchedTail) return;
    // An 0xE8 at index i is handled only when its operand i+1..i+4 ends
    // before the last LZX_E8_TAIL_BYTES bytes.
    uint8_t* const scanEnd = data + (size - kUntouchedTail);
    uint8_t* p = data;
    while (p < scanEnd) {
        p = static_cast<uint8_t*>(std::memchr(p, kCallOpcode, static_cast<size_t>(scanEnd - p)));
        if (p == nullptr) break;
        const uint32_t cur = first + static_cast<uint32_t>(p - data);
        const uint32_t value = cab::LoadLe32(p + 1);
        if (value < e8Size)
            cab::StoreLe32(p + 1, value - cur);
        else if (0u - value <= cur)
            cab::StoreLe32(p + 1, value + e8Size);
        p += 1 + LZX_E8_OPERAND_BYTES;
    }
}

}  // namespace lzxdec

}  // namespace treepak
