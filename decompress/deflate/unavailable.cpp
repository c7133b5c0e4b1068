// Interim entry points until this decoder lands: creation fails with a data
// error, which the reader reports as FEIERR_DECODE. Delete this file when the
// real decoder is added to this folder.
#include "decompress/decoder.h"
int DdiCreate(uint32_t*, FEIAllocFn, FEIFreeFn, uint32_t*, void** handle) { if (handle) *handle = nullptr; return DECODER_DATA_ERROR; }
int DdiDecode(void*, const uint8_t*, uint32_t, uint8_t*, uint32_t*) { return DECODER_BAD_HANDLE; }
int DdiReset(void*) { return DECODER_BAD_HANDLE; }
int DdiDestroy(void*) { return DECODER_BAD_HANDLE; }
