// The data area written straight into the cabinet file. A cabinet is laid
// out as header, folder table, file table, data area, and only the data
// area is large; when the client can tell in advance where it will start,
// the data blocks go to that offset of the cabinet file as they are placed,
// and writing the cabinet puts the three tables in front of them instead of
// copying the whole area over from a temporary file. The cabinet file is
// then open from the first data block on, under the data file's record, so
// that a failure before the cabinet is written deletes it with the other
// temporary files.
#include "fci/fci_internal.h"

namespace treepak {

namespace {

// Gives up a cabinet file opened early: closed and removed, with the error
// already recorded kept rather than what the cleanup reports.
void DropCabinetFile(const FciIo& io, int32_t handle, const char* path) {
    const ErrorRecord saved = *io.errors;
    int32_t ignored = 0;
    io.close(handle, &ignored, io.clientContext);
    io.remove(path, &ignored, io.clientContext);
    *io.errors = saved;
}

// Copies `size` bytes from the current position of `from` into `to`.
bool CopyBytes(const FciIo& io, const TempFile& from, TempFile* to, uint32_t size) {
    uint8_t* buffer = static_cast<uint8_t*>(io.alloc(FCI_COPY_BUFFER_SIZE));
    if (buffer == nullptr) {
        RecordError(io, FCIERR_NO_MEMORY, 0);
        return false;
    }
    bool ok = true;
    for (uint32_t left = size; ok && left != 0;) {
        const uint32_t piece = left < FCI_COPY_BUFFER_SIZE ? left : FCI_COPY_BUFFER_SIZE;
        const int64_t got = ReadTemp(io, from, buffer, piece);
        if (got >= 0 && got != piece) RecordError(io, FCIERR_TEMP_FILE, 0);
        ok = got == piece && WriteTemp(io, to, buffer, piece);
        left -= piece;
    }
    io.free(buffer);
    return ok;
}

}  // namespace

bool StartDirectData(CabinetState* cab) {
    if (cab->expectedDataOffset == nullptr || cab->directDataOffset != 0 || cab->files[CABINET_DATA].size != 0)
        return true;
    const FciIo& io = *cab->io;
    const uint32_t offset = cab->expectedDataOffset(&cab->current, io.clientContext);
    char path[CABINET_PATH_SIZE];
    CurrentCabinetPath(*cab, path);
    // The seek callback takes a signed 32-bit offset; the record a name buffer.
    if (offset == 0 || offset > INT32_MAX || NameLength(path) >= FCI_NAME_SIZE) return true;
    int32_t error = 0;
    const int32_t handle = io.open(path, FCI_OPEN_CABINET_FLAGS, FCI_OPEN_MODE, &error, io.clientContext);
    // Written the usual way, whose open reports the failure should it recur.
    if (handle == -1) return true;
    if (io.seek(handle, static_cast<int32_t>(offset), IO_SEEK_SET, &error, io.clientContext) == -1) {
        RecordError(io, FCIERR_CABINET_FILE, error);
        DropCabinetFile(io, handle, path);
        return false;
    }
    // The data file is still empty: nothing is lost with it.
    if (!CloseAndDeleteTempFiles(io, cab->files + CABINET_DATA, 1)) {
        DropCabinetFile(io, handle, path);
        return false;
    }
    TempFile* data = &cab->files[CABINET_DATA];
    data->handle = handle;
    data->size = 0;
    CopyName(data->name, path);
    cab->directDataOffset = offset;
    return true;
}

bool TakeDirectData(CabinetState* cab, uint32_t dataAreaStart, int32_t* handle) {
    const FciIo& io = *cab->io;
    TempFile* data = &cab->files[CABINET_DATA];
    const uint32_t offset = cab->directDataOffset;
    cab->directDataOffset = 0;
    *handle = -1;
    if (offset == dataAreaStart) {
        // The cabinet's writing owns the handle now; the size still counts.
        *handle = data->handle;
        data->handle = -1;
        return true;
    }
    TempFile moved;
    if (!CreateTempFiles(io, &moved, 1)) return false;
    if (!SeekTemp(io, *data, offset) || !CopyBytes(io, *data, &moved, data->size)) {
        const ErrorRecord saved = *io.errors;
        CloseAndDeleteTempFiles(io, &moved, 1);
        *io.errors = saved;
        return false;
    }
    // The cabinet file is truncated when it is opened again to be written.
    int32_t error = 0;
    io.close(data->handle, &error, io.clientContext);
    *data = moved;
    return true;
}

}  // namespace treepak

int FCISetDataAreaOffset(FCIContext* context, FCIDataAreaOffsetFn expectedOffset) {
    using namespace treepak;
    if (context == nullptr || context->folder.compressionType != COMPRESS_UNSET) return 0;
    context->cabinet.expectedDataOffset = expectedOffset;
    return 1;
}
