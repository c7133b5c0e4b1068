// E8 call translation: x86 relative CALL operands (the four bytes after an
// 0xE8 byte) are rewritten as absolute targets, so that repeated calls to one
// function become repeated byte strings. The decoder undoes it per frame
// with the same byte ranges, since its frames are this encoder's chunks.
//
// Format facts: a chunk's last six bytes are never translated, and an 0xE8
// whose operand would reach into them is left alone (the scan reads those
// bytes as 0xE8 fill; translating there stops being invertible at high
// stream offsets). An operand is translated only when the absolute target
// is non-negative and below cur + S; targets of S and more are stored as
// rel - S.
#include <cstring>

#include "cabinet/bytes.h"
#include "compress/lzx/lzx_encoder.h"

namespace treepak {

namespace lzxenc {
namespace {
constexpr uint8_t kCallOpcode = 0xE8;
constexpr uint32_t kTailBytes = 6;
constexpr uint32_t kOperandBytes = 4;
}  // namespace

void TranslateE8(uint8_t* chunk, uint32_t size, uint32_t* e8Offset, uint32_t translationSize) {
    if (size <= kTailBytes) {
        *e8Offset += size;
        return;
    }
    uint8_t savedTail[kTailBytes];
    uint8_t* tail = chunk + size - kTailBytes;
    std::memcpy(savedTail, tail, kTailBytes);
    std::memset(tail, kCallOpcode, kTailBytes);

    const uint32_t start = *e8Offset;
    const uint32_t limit = start + size - kTailBytes;
    uint32_t i = 0;
    for (;;) {
        while (chunk[i] != kCallOpcode) ++i;  // the 0xE8 fill of the tail ends this loop
        const uint32_t cur = start + i;
        if (cur + kOperandBytes >= limit) break;
        const uint32_t rel = cab::LoadLe32(chunk + i + 1);
        const uint32_t abs = rel + cur;
        if (static_cast<int32_t>(abs) >= 0 && abs < cur + translationSize)
            cab::StoreLe32(chunk + i + 1, abs < translationSize ? abs : rel - translationSize);
        i += 1 + kOperandBytes;
    }

    std::memcpy(tail, savedTail, kTailBytes);
    *e8Offset = limit + kTailBytes;
}

}  // namespace lzxenc

}  // namespace treepak
