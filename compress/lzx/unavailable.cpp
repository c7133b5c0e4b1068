// Interim entry points until the LZX compressor lands: every creation fails,
// so the writer reports FCIERR_COMPRESS. Delete this file when the real
// compressor is added to this folder.
#include "compress/compressor.h"
int LzxCreate(uint32_t*, const LzxParams*, FCIAllocFn, FCIFreeFn, uint32_t*, void** handle, LzxOutputCallback, void*) { if (handle) *handle = nullptr; return COMPRESSOR_NO_MEMORY; }
int LzxCompressBlock(void*, const uint8_t*, uint32_t, uint8_t*, uint32_t, uint32_t*) { return COMPRESSOR_BAD_PARAMETER; }
int LzxFlush(void*) { return COMPRESSOR_BAD_PARAMETER; }
int LzxReset(void*) { return COMPRESSOR_BAD_PARAMETER; }
int LzxDestroy(void*) { return COMPRESSOR_BAD_PARAMETER; }
