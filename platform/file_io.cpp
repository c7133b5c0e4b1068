#include "platform/file_io.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/long_paths.h"
#include "platform/transfer_loop.h"

namespace treepak {

namespace platform {

namespace {

int HostOpenFlags(int32_t flags) {
    int host = O_CLOEXEC;
    switch (flags & OPEN_ACCESS_MASK) {
        case OPEN_WRITE_ONLY: host |= O_WRONLY; break;
        case OPEN_READ_WRITE: host |= O_RDWR; break;
        default: host |= O_RDONLY; break;
    }
    if (flags & OPEN_APPEND) host |= O_APPEND;
    if (flags & OPEN_CREATE) host |= O_CREAT;
    if (flags & OPEN_TRUNCATE) host |= O_TRUNC;
    if (flags & OPEN_EXCLUSIVE) host |= O_EXCL;
    return host;
}

// The C runtime's read and write permission bits mean "readable" and "not
// read-only" for everyone the umask lets in, as for any file a program
// creates. A file created exclusively is a scratch file (the writer's
// temporary files are made that way), so it stays private to the user.
mode_t HostMode(int32_t flags, int32_t mode) {
    const bool scratch = (flags & OPEN_CREATE) && (flags & OPEN_EXCLUSIVE);
    mode_t host = 0;
    if (mode & MODE_READ) host |= scratch ? S_IRUSR : (S_IRUSR | S_IRGRP | S_IROTH);
    if (mode & MODE_WRITE) host |= scratch ? S_IWUSR : (S_IWUSR | S_IWGRP | S_IWOTH);
    return host;
}

}  // namespace

int32_t OpenFile(const char* path, int32_t flags, int32_t mode, int32_t* error) {
    const AnchoredPath at(path);
    if (!at.ok()) {
        *error = at.error();
        return -1;
    }
    int fd;
    do {
        fd = ::openat(at.directory(), at.name(), HostOpenFlags(flags), HostMode(flags, mode));
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    return fd;
}

int32_t ReadFile(int32_t handle, void* buffer, uint32_t count, int32_t* error) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    return TransferWhole<Direction::READ>(count, error,
                                          [&](uint32_t done) { return ::read(handle, bytes + done, count - done); });
}

int32_t WriteFile(int32_t handle, const void* buffer, uint32_t count, int32_t* error) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    return TransferWhole<Direction::WRITE>(count, error,
                                           [&](uint32_t done) { return ::write(handle, bytes + done, count - done); });
}

int32_t CloseFile(int32_t handle, int32_t* error) {
    // A close interrupted by a signal has still released the handle on
    // Linux, so it is not retried.
    if (::close(handle) != 0) {
        *error = errno;
        return -1;
    }
    return 0;
}

int64_t SeekFile(int32_t handle, int64_t offset, int origin, int32_t* error) {
    int whence;
    switch (origin) {
        case SEEK_FROM_START: whence = SEEK_SET; break;
        case SEEK_FROM_CURRENT: whence = SEEK_CUR; break;
        case SEEK_FROM_END: whence = SEEK_END; break;
        default: *error = EINVAL; return -1;
    }
    off_t position = ::lseek(handle, static_cast<off_t>(offset), whence);
    if (position < 0) {
        *error = errno;
        return -1;
    }
    return static_cast<int64_t>(position);
}

int32_t DeleteFile(const char* path, int32_t* error) {
    const AnchoredPath at(path);
    if (!at.ok()) {
        *error = at.error();
        return -1;
    }
    if (::unlinkat(at.directory(), at.name(), 0) != 0) {
        *error = errno;
        return -1;
    }
    return 0;
}

}  // namespace platform

}  // namespace treepak
