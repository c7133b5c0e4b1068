#include "app/common/engine_memory.h"

#include <cstdlib>

#include "platform/large_blocks.h"

namespace treepak {

void* WriterAlloc(uint32_t size) {
    if (void* block = platform::AllocateLargeBlock(size, true)) return block;
    return std::malloc(size);
}

void* ReaderAlloc(uint32_t size) {
    if (void* block = platform::AllocateLargeBlock(size, false)) return block;
    return std::malloc(size);
}

void EngineFree(void* block) {
    if (!platform::FreeLargeBlock(block)) std::free(block);
}

}  // namespace treepak
