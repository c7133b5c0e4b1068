// Reading and decoding the data blocks of the current folder. Facts relied
// on: a data block is an 8-byte header (checksum, compressedSize,
// uncompressedSize) plus the data reserve, followed by its compressed bytes;
// a stored checksum of 0 means none was computed; a block split across
// cabinets has uncompressedSize 0 in every piece but the last, and its
// pieces follow one another as the first blocks of the next cabinets'
// folder 0. A piece may hold 0 bytes.
#include "cabinet/bytes.h"
#include "cabinet/checksum.h"
#include "cabinet/records.h"
#include "fei/context.h"
#include "fei/decompressor.h"

namespace treepak {

namespace {

// Reads one data block (or one piece of a split block) into the compressed
// buffer at offset `offset`, verifies its checksum and shows it to the hook.
int ReadBlockPiece(FEIContext* context, uint32_t offset, CFDATA* data) {
    const uint32_t headerSize = context->dataHeaderSize;
    if (context->read(context->dataHandle, context->dataHeader, headerSize) !=
        static_cast<int32_t>(headerSize)) {
        return FeiFail(context, FEIERR_CORRUPT);
    }
    DecodeData(context->dataHeader, data);
    // Bounds every block by the largest whole block of the folder's kind.
    if (uint64_t{offset} + data->compressedSize > context->compressedBufferSize) {
        return FeiFail(context, FEIERR_CORRUPT);
    }
    uint8_t* piece = context->compressedBuffer + offset;
    if (context->read(context->dataHandle, piece, data->compressedSize) !=
        static_cast<int32_t>(data->compressedSize)) {
        return FeiFail(context, FEIERR_CORRUPT);
    }
    if (data->checksum != 0 &&
        CabDataChecksum(context->dataHeader, headerSize - CFDATA_SIZE, piece,
                        data->compressedSize) != data->checksum) {
        return FeiFail(context, FEIERR_CORRUPT);
    }
    context->blockCompressedSize = offset + data->compressedSize;

    const uint32_t reserveSize = headerSize - CFDATA_SIZE;
    FEIHookRecord& h = context->hookRecord;
    h.reserve = reserveSize ? context->dataHeader + CFDATA_SIZE : nullptr;
    h.reserveSize = static_cast<uint16_t>(reserveSize);
    h.data = piece;
    h.dataSize = static_cast<uint16_t>(context->blockCompressedSize);
    // Only the last piece of a split block carries the real uncompressed size.
    h.complete = data->uncompressedSize != 0 ? 1 : 0;
    h.partOffset = static_cast<uint16_t>(offset);
    return FeiCallHook(context, FEI_HOOK_DATA);
}

// Takes one block of the folder's count in this cabinet, moving into the
// next cabinet when none is left here.
int TakeBlock(FEIContext* context, bool mustMove) {
    if (mustMove || context->blocksLeft == 0) {
        if (!FeiMoveToNextCabinet(context)) return 0;
        // A folder that continues into a cabinet has at least one block there.
        if (context->blocksLeft == 0) return FeiFail(context, FEIERR_CORRUPT);
    }
    --context->blocksLeft;
    return 1;
}

}  // namespace

int FeiReadNextBlock(FEIContext* context) {
    context->blockStart += context->blockSize;
    context->blockSize = 0;

    CFDATA data;
    if (!TakeBlock(context, false) || !ReadBlockPiece(context, 0, &data)) return 0;
    // Join the pieces of a split block, one cabinet at a time.
    while (data.uncompressedSize == 0) {
        if (!TakeBlock(context, true) ||
            !ReadBlockPiece(context, context->blockCompressedSize, &data)) {
            return 0;
        }
    }

    uint32_t produced = 0;
    if (!FeiDecodeBlock(context, context->blockCompressedSize, data.uncompressedSize, &produced)) {
        return 0;
    }
    if (produced != data.uncompressedSize) return FeiFail(context, FEIERR_DECODE);
    context->blockSize = produced;
    return 1;
}

}  // namespace treepak
