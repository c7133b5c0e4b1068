// Temporary files of the engine: the folder's data blocks and file entries,
// and the cabinet's data area, file table and folder table. Each is created
// under a client-chosen name that must not exist yet (the open fails if it
// does), so a name clash costs one more attempt instead of clobbering a file.
#include "fci/fci_internal.h"

namespace treepak {

void MarkClosed(TempFile* files, int count) {
    for (int i = 0; i < count; ++i) {
        files[i].size = 0;
        files[i].handle = -1;
        files[i].name[0] = '\0';
    }
}

bool CreateTempFiles(const FciIo& io, TempFile* files, int count) {
    MarkClosed(files, count);
    for (int i = 0; i < count; ++i) {
        int32_t error = 0;
        for (int attempt = 0; attempt < FCI_TEMP_ATTEMPTS && files[i].handle == -1; ++attempt) {
            files[i].name[0] = '\0';
            if (io.getTempFile(files[i].name, static_cast<int32_t>(FCI_NAME_SIZE),
                               io.clientContext) == 0)
                continue;
            files[i].name[FCI_NAME_SIZE - 1] = '\0';
            files[i].handle = io.open(files[i].name, FCI_OPEN_TEMP_FLAGS, FCI_OPEN_MODE, &error,
                                      io.clientContext);
        }
        if (files[i].handle == -1) {
            RecordError(io, FCIERR_TEMP_FILE, error);
            // The error of the creation is the one the client sees, whatever
            // the cleanup reports.
            ErrorRecord saved = *io.errors;
            CloseAndDeleteTempFiles(io, files, i);
            *io.errors = saved;
            return false;
        }
    }
    return true;
}

bool CloseAndDeleteTempFiles(const FciIo& io, TempFile* files, int count) {
    bool ok = true;
    for (int i = 0; i < count; ++i) {
        if (files[i].handle == -1) continue;
        int32_t error = 0;
        if (io.close(files[i].handle, &error, io.clientContext) != 0) {
            RecordError(io, FCIERR_TEMP_FILE, error);
            ok = false;
        }
        files[i].handle = -1;
        error = 0;
        if (io.remove(files[i].name, &error, io.clientContext) == -1) {
            RecordError(io, FCIERR_TEMP_FILE, error);
            ok = false;
        }
        files[i].size = 0;
    }
    return ok;
}

bool WriteTemp(const FciIo& io, TempFile* file, const void* bytes, uint32_t count) {
    file->size += count;
    int32_t error = 0;
    if (io.write(file->handle, bytes, count, &error, io.clientContext) !=
        static_cast<int32_t>(count)) {
        RecordError(io, FCIERR_TEMP_FILE, error);
        return false;
    }
    return true;
}

bool WriteTempString(const FciIo& io, TempFile* file, const char* text) {
    return WriteTemp(io, file, text, NameLength(text) + 1);
}

bool SeekTemp(const FciIo& io, const TempFile& file, uint32_t position) {
    int32_t error = 0;
    if (io.seek(file.handle, static_cast<int32_t>(position), IO_SEEK_SET, &error,
                io.clientContext) == -1) {
        RecordError(io, FCIERR_TEMP_FILE, error);
        return false;
    }
    return true;
}

int64_t ReadTemp(const FciIo& io, const TempFile& file, void* bytes, uint32_t count) {
    uint32_t got = 0;
    while (got < count) {
        int32_t error = 0;
        int32_t n = io.read(file.handle, static_cast<uint8_t*>(bytes) + got, count - got, &error,
                            io.clientContext);
        if (n == 0) break;
        if (n < 0 || static_cast<uint32_t>(n) > count - got) {
            RecordError(io, FCIERR_TEMP_FILE, error);
            return -1;
        }
        got += static_cast<uint32_t>(n);
    }
    return got;
}

}  // namespace treepak
