// Interim entry points until this decoder lands: creation fails with a data
// error, which the reader reports as FEIERR_DECODE. Delete this file when the
// real decoder is added to this folder.
#include "decompress/decoder.h"
int LdiCreate(uint32_t*, const DecoderConfig*, FEIAllocFn, FEIFreeFn, uint32_t*, void** handle, const DecoderFileCallbacks*) { if (handle) *handle = nullptr; return DECODER_DATA_ERROR; }
int LdiDecode(void*, const uint8_t*, uint32_t, uint8_t*, uint32_t*) { return DECODER_BAD_HANDLE; }
int LdiReset(void*) { return DECODER_BAD_HANDLE; }
int LdiDestroy(void*) { return DECODER_BAD_HANDLE; }
