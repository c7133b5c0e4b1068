// The block deflate compressor's handle: the buffers it owns and whether the
// next block may use the previous one as history. Shared by the entry points
// and by priming, which rebuilds the state a compressed block leaves behind.
#pragma once

#include <cstdint>

#include "compress/compressor.h"
#include "compress/deflate/deflate_state.h"

namespace treepak {

namespace blockdeflate {

// "DCIC", stored little-endian; cleared by destroy.
inline constexpr uint32_t kDeflateHandleTag = 0x43494344;

struct DeflateHandle {
    uint32_t tag;
    FCIFreeFn free;
    uint32_t blockSize;
    uint8_t* literalBuffer;
    uint16_t* distanceBuffer;
    uint16_t* chain;
    uint16_t* head;
    uint8_t* window;
    bool history;
    DeflateState* state;
};

inline DeflateHandle* CheckedHandle(void* handle) {
    auto* h = static_cast<DeflateHandle*>(handle);
    if (h == nullptr || h->tag != kDeflateHandleTag) return nullptr;
    return h;
}

}  // namespace blockdeflate

}  // namespace treepak
