#include "app/common/writer_callbacks.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "app/temp_store/writer_files.h"
#include "cabinet/format.h"
#include "platform/file_io.h"
#include "platform/source_files.h"
#include "platform/temp_names.h"

namespace treepak {

namespace {

// The attribute bits a source file may bring into the cabinet.
constexpr uint16_t kStoredAttributeMask = FILE_ATTR_READONLY | FILE_ATTR_HIDDEN | FILE_ATTR_SYSTEM | FILE_ATTR_ARCHIVE;

constexpr int kTempNameAttempts = 8;

}  // namespace

int32_t WriterOpen(const char* path, int32_t openFlags, int32_t mode, int32_t* error, void*) {
    return BuildWriterFiles().Open(path, openFlags, mode, error);
}

// Handles of the writer's own files come from the table; the others are
// source files opened by WriterOpenSource.
int32_t WriterRead(int32_t handle, void* buffer, uint32_t count, int32_t* error, void*) {
    if (WriterFiles::Owns(handle)) return BuildWriterFiles().Read(handle, buffer, count, error);
    // The engine reads a source until a read returns nothing, so a short
    // read needs no second host read to find the end.
    return platform::ReadSome(handle, buffer, count, error);
}

int32_t WriterWrite(int32_t handle, const void* buffer, uint32_t count, int32_t* error, void*) {
    int32_t failure = 0;
    const int32_t written = WriterFiles::Owns(handle) ? BuildWriterFiles().Write(handle, buffer, count, &failure)
                                                      : platform::WriteFile(handle, buffer, count, &failure);
    // A short write without an error number means the device is full.
    if (written >= 0 && static_cast<uint32_t>(written) != count && failure == 0) failure = ENOSPC;
    if (failure != 0) *error = failure;
    return written;
}

int32_t WriterClose(int32_t handle, int32_t* error, void*) {
    if (WriterFiles::Owns(handle)) return BuildWriterFiles().Close(handle, error);
    return platform::CloseFile(handle, error);
}

int32_t WriterSeek(int32_t handle, int32_t offset, int origin, int32_t* error, void*) {
    int64_t position = WriterFiles::Owns(handle) ? BuildWriterFiles().Seek(handle, offset, origin, error)
                                                 : platform::SeekFile(handle, offset, origin, error);
    if (position > INT32_MAX) {
        *error = EOVERFLOW;
        return -1;
    }
    return static_cast<int32_t>(position);
}

int32_t WriterDelete(const char* path, int32_t* error, void*) { return BuildWriterFiles().Delete(path, error); }

// The name is not looked up on disk: a temporary file is created in memory,
// and on disk only exclusively, should it ever move there.
int32_t WriterTempName(const char* prefix, char* buffer, int32_t bufferSize) {
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
        const std::string name = platform::UncheckedTempName(prefix);
        if (bufferSize <= 0 || name.size() >= static_cast<size_t>(bufferSize)) return 0;
        // An in-memory file may have the name already.
        if (!BuildWriterFiles().IssueTempName(name)) continue;
        std::memcpy(buffer, name.c_str(), name.size() + 1);
        return 1;
    }
    return 0;
}

bool IsCabinetOpen(int32_t openFlags) {
    return (openFlags & platform::OPEN_TRUNCATE) && !(openFlags & platform::OPEN_EXCLUSIVE);
}

int32_t WriterOpenSource(const char* sourcePath, uint16_t* date, uint16_t* time, uint16_t* attributes,
                         bool nameIsUtf8, platform::FileStamp* stamp, int32_t* openError) {
    platform::SourceFileInfo info;
    const int32_t handle = platform::OpenSourceFile(sourcePath, &info, stamp, openError);
    if (handle < 0) return -1;
    // A host handle in the table's range could not be told from its own.
    if (WriterFiles::Owns(handle)) {
        int32_t closeError = 0;
        platform::CloseFile(handle, &closeError);
        return -1;
    }
    *date = info.date;
    *time = info.time;
    *attributes = static_cast<uint16_t>(info.attributes & kStoredAttributeMask);
    if (nameIsUtf8) *attributes |= FILE_ATTR_NAME_IS_UTF8;
    return handle;
}

}  // namespace treepak
