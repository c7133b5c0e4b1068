// Memory for the engines and the compressors, shared by every client. Large
// blocks come from huge-page regions (see platform/large_blocks.h): the
// writer's compressor tables share regions; the reader, whose tables are
// small next to a region, takes huge pages only for windows of a megabyte or
// more. Anything else comes from the heap; EngineFree takes both.
#pragma once

#include <cstdint>

namespace treepak {

void* WriterAlloc(uint32_t size);
void* ReaderAlloc(uint32_t size);
void EngineFree(void* block);

}  // namespace treepak
