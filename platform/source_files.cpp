#include "platform/source_files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/attributes.h"

namespace platform {

int32_t OpenSourceFile(const char* path, SourceFileInfo* info, int32_t* error) {
    int fd;
    do {
        fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
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
    return fd;
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

}  // namespace platform
