// Interim entry points until the block deflate compressor lands: every
// creation fails, so the writer reports FCIERR_COMPRESS. Delete this file
// when the real compressor is added to this folder.
#include "compress/compressor.h"
int DeflateCreate(uint32_t*, FCIAllocFn, FCIFreeFn, uint32_t*, void** handle) { if (handle) *handle = nullptr; return COMPRESSOR_NO_MEMORY; }
int DeflateCompressBlock(void*, const uint8_t*, uint32_t, uint8_t*, uint32_t, uint32_t*) { return COMPRESSOR_BAD_PARAMETER; }
int DeflateReset(void*) { return COMPRESSOR_BAD_PARAMETER; }
int DeflateDestroy(void*) { return COMPRESSOR_BAD_PARAMETER; }
