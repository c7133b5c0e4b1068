#include "platform/source_files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/attributes.h"
#include "platform/long_paths.h"

namespace treepak {

namespace platform {

namespace {

void StampOf(const struct stat& status, FileStamp* stamp) {
    stamp->size = static_cast<int64_t>(status.st_size);
    stamp->modifiedSeconds = static_cast<int64_t>(status.st_mtim.tv_sec);
    stamp->modifiedNanoseconds = static_cast<int64_t>(status.st_mtim.tv_nsec);
}

}  // namespace

int32_t OpenSourceFile(const char* path, SourceFileInfo* info, FileStamp* stamp, int32_t* error) {
    const AnchoredPath at(path);
    if (!at.ok()) {
        *error = at.error();
        return -1;
    }
    int fd;
    do {
        fd = ::openat(at.directory(), at.name(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        *error = S_ISREG(status.st_mode) ? errno : EINVAL;
        ::close(fd);
        return -1;
    }
    UnixTimeToDosDateTime(static_cast<int64_t>(status.st_mtim.tv_sec), &info->date, &info->time);
    info->attributes = ATTRIBUTE_ARCHIVE | ((status.st_mode & S_IWUSR) ? 0 : ATTRIBUTE_READONLY);
    StampOf(status, stamp);
    return fd;
}

bool GetFileStamp(int32_t handle, FileStamp* stamp) {
    struct stat status;
    if (fstat(handle, &status) != 0) return false;
    StampOf(status, stamp);
    return true;
}

int32_t ReadSome(int32_t handle, void* buffer, uint32_t count, int32_t* error) {
    ssize_t n;
    do {
        n = ::read(handle, buffer, count);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        *error = errno;
        return -1;
    }
    return static_cast<int32_t>(n);
}

int64_t FileSize(const char* path) {
    struct stat status;
    if (stat(path, &status) != 0) return -1;
    return static_cast<int64_t>(status.st_size);
}

}  // namespace platform

}  // namespace treepak
