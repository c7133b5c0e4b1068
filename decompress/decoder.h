// The contract between the reader's decompressor interface and the three
// decoders: the reader's callback shapes, the per-kind create / decode /
// reset / destroy operations and their result codes. Handles begin with a
// 32-bit tag of four ASCII letters stored little-endian ("DDIC", "QDIC",
// "LDIC"), set by create, checked first by every other operation and cleared
// by destroy just before the handle is freed.
#pragma once

#include <cstdint>

#include "cabinet/client_callbacks.h"

namespace treepak {

struct DecoderFileCallbacks {
    FEIOpenFn open;
    FEIReadFn read;
    FEIWriteFn write;
    FEICloseFn close;
    FEISeekFn seek;
};

// Configuration handed to create. The window is a number of bits for
// Quantum and a size in bytes for LZX; cpuType is the reader's word for
// Quantum and 0 for LZX, kept in the handle by both and used by neither.
struct DecoderConfig {
    uint32_t window;
    uint32_t cpuType;
};

inline constexpr int DECODER_OK = 0;
inline constexpr int DECODER_NO_MEMORY = 1;
inline constexpr int DECODER_BAD_HANDLE = 2;
inline constexpr int DECODER_BAD_SIZE = 3;
inline constexpr int DECODER_DATA_ERROR = 4;
inline constexpr int DECODER_BAD_PARAMETER = 5;

inline constexpr uint32_t MakeDecoderTag(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24);
}
inline constexpr uint32_t DEFLATE_DECODER_TAG = MakeDecoderTag('D', 'D', 'I', 'C');
inline constexpr uint32_t QUANTUM_DECODER_TAG = MakeDecoderTag('Q', 'D', 'I', 'C');
inline constexpr uint32_t LZX_DECODER_TAG = MakeDecoderTag('L', 'D', 'I', 'C');

// Slack the reader keeps (zeroed) after both block buffers, beyond the sizes
// that create reports, so that decoders may fetch input a word at a time and
// check the end afterwards. The LZX decoder relies on at least 4 bytes.
inline constexpr uint32_t DECODER_BUFFER_SLACK = 16;

// Block deflate ("DDIC"). create with handle == nullptr only settles the sizes.
// decode: *uncompressedSize is the room available on entry, the size
// produced on return; the buffer holds the folder's history, and between two
// decodes with no reset between them the caller leaves it as it is.
int DdiCreate(uint32_t* uncompressedSize, FEIAllocFn alloc, FEIFreeFn free,
              uint32_t* compressedSize, void** handle);
int DdiDecode(void* handle, const uint8_t* compressed, uint32_t compressedSize,
              uint8_t* uncompressed, uint32_t* uncompressedSize);
int DdiReset(void* handle);
int DdiDestroy(void* handle);

// Quantum ("QDIC"). decode: *uncompressedSize is the size wanted (the block's
// uncompressedSize) and stays unchanged on success.
int QdiCreate(uint32_t* uncompressedSize, const DecoderConfig* config, FEIAllocFn alloc,
              FEIFreeFn free, uint32_t* compressedSize, void** handle,
              const DecoderFileCallbacks* files);
int QdiDecode(void* handle, const uint8_t* compressed, uint32_t compressedSize,
              uint8_t* uncompressed, uint32_t* uncompressedSize);
int QdiReset(void* handle);
int QdiDestroy(void* handle);

// LZX ("LDIC"). decode: *uncompressedSize is the size wanted on entry, the
// size produced on return.
int LdiCreate(uint32_t* uncompressedSize, const DecoderConfig* config, FEIAllocFn alloc,
              FEIFreeFn free, uint32_t* compressedSize, void** handle,
              const DecoderFileCallbacks* files);
int LdiDecode(void* handle, const uint8_t* compressed, uint32_t compressedSize,
              uint8_t* uncompressed, uint32_t* uncompressedSize);
int LdiReset(void* handle);
int LdiDestroy(void* handle);

}  // namespace treepak
