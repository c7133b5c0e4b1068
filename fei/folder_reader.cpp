// Loading a folder entry of the current cabinet through the data handle.
// Facts relied on: folder entries follow the header's names back to back,
// each 8 bytes plus the folder reserve; an entry holds the offset of the
// folder's first data block in this cabinet, the number of its blocks here
// and the compression type word.
#include "cabinet/records.h"
#include "fei/context.h"
#include "fei/decompressor.h"

namespace treepak {

namespace {
constexpr uint64_t LARGEST_SEEK_OFFSET = 0x7FFFFFFF;

bool SeekTo(FEIContext* context, uint64_t position) {
    return position <= LARGEST_SEEK_OFFSET &&
           context->seek(context->dataHandle, static_cast<int32_t>(position), IO_SEEK_SET) >= 0;
}
}  // namespace

int FeiLoadFolder(FEIContext* context, uint32_t folderIndex) {
    context->currentFolder = folderIndex;
    const uint64_t entryPosition = uint64_t{context->firstFolderEntryOffset} +
                                   uint64_t{folderIndex} * context->folderEntrySize;
    if (!SeekTo(context, entryPosition) ||
        context->read(context->dataHandle, context->folderEntry, context->folderEntrySize) !=
            static_cast<int32_t>(context->folderEntrySize)) {
        return FeiFail(context, FEIERR_CORRUPT);
    }
    CFFOLDER folder;
    DecodeFolder(context->folderEntry, &folder);
    if (!SeekTo(context, folder.firstDataOffset)) return FeiFail(context, FEIERR_CORRUPT);
    context->blocksLeft = folder.dataBlockCount;

    // The "no decoder" mark is internal to the engines and never valid in a
    // cabinet; taking it from one would leave the engine without buffers.
    if (CompressKind(folder.compressionType) == COMPRESS_UNSET) {
        return FeiFail(context, FEIERR_COMPRESSION_TYPE);
    }
    if (!FeiSetCompressionType(context, folder.compressionType)) return 0;

    const uint32_t reserveSize = context->folderEntrySize - CFFOLDER_SIZE;
    FEIHookRecord& h = context->hookRecord;
    h.reserve = reserveSize ? context->folderEntry + CFFOLDER_SIZE : nullptr;
    h.reserveSize = static_cast<uint16_t>(reserveSize);
    h.folderIndex = static_cast<uint16_t>(folderIndex);
    return FeiCallHook(context, FEI_HOOK_FOLDER);
}

}  // namespace treepak
