#include "platform/sync.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace treepak {

namespace platform {

namespace {

int32_t SyncOpened(const char* path, int flags, int32_t* error) {
    int fd;
    do {
        fd = ::open(path, flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    int result = ::fsync(fd);
    if (result != 0) *error = errno;
    ::close(fd);
    return result == 0 ? 0 : -1;
}

}  // namespace

int32_t SyncFile(const char* path, int32_t* error) { return SyncOpened(path, O_RDONLY, error); }

int32_t SyncDirectory(const char* path, int32_t* error) {
    return SyncOpened(*path == '\0' ? "." : path, O_RDONLY | O_DIRECTORY, error);
}

}  // namespace platform

}  // namespace treepak
