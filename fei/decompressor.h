// The reader's decompressor interface: turns a folder's compression type
// word into a decoder with its two block buffers, and decodes one data block
// at a time. Stored data (COMPRESS_NONE) is handled here without a decoder.
#pragma once

#include <cstdint>

namespace treepak {

struct FEIContext;

// Makes typeWord the current compression type. An unchanged word keeps the
// decoder and all its history; a changed one destroys the old decoder and
// builds the new one. COMPRESS_UNSET only tears down. Returns 1 on success;
// on failure the error is recorded and the word is COMPRESS_UNSET (or left
// unchanged when the old decoder could not be destroyed).
int FeiSetCompressionType(FEIContext* context, uint16_t typeWord);

// Starts a new stream in the current decoder.
int FeiResetDecoder(FEIContext* context);

// Decodes the context's compressed buffer (compressedSize bytes of one whole
// block) into its uncompressed buffer; *produced receives the decoded size.
int FeiDecodeBlock(FEIContext* context, uint32_t compressedSize, uint32_t expectedSize,
                   uint32_t* produced);

}  // namespace treepak
