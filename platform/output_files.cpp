#include "platform/output_files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/temp_names.h"

namespace treepak {

namespace platform {

namespace {

constexpr mode_t kOutputFileMode = 0666;  // narrowed by the umask
constexpr mode_t kScratchFileMode = 0600;
constexpr const char* kScratchNamePattern = "/xxspillXXXXXX";

int OpenRetrying(const char* path, int flags, mode_t mode) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

int32_t OpenOutput(const char* path, int flags, int32_t* error) {
    const int fd = OpenRetrying(path, flags | O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kOutputFileMode);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    // A FIFO or device already at the path must not receive the data.
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = EINVAL;
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int32_t CreateOutputFile(const char* path, int32_t* error) { return OpenOutput(path, O_TRUNC, error); }

int32_t CreateNewOutputFile(const char* path, int32_t* error) { return OpenOutput(path, O_EXCL, error); }

int32_t DuplicateStandardOutput(int32_t* error) {
    const int fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) *error = errno;
    return fd;
}

int32_t OpenAnonymousTempFile(int32_t* error) {
    const std::string temporary = TempDirectory();
    const char* directory = temporary.empty() ? "." : temporary.c_str();
    int fd = OpenRetrying(directory, O_TMPFILE | O_RDWR | O_CLOEXEC, kScratchFileMode);
    if (fd >= 0) return fd;
    // File systems without unnamed files: create one and unlink it at once.
    std::vector<char> pattern(std::strlen(directory) + std::strlen(kScratchNamePattern) + 1);
    std::snprintf(pattern.data(), pattern.size(), "%s%s", directory, kScratchNamePattern);
    fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    ::unlink(pattern.data());
    return fd;
}

int32_t SpoolStandardInput(int32_t* error) {
    const int32_t fd = OpenAnonymousTempFile(error);
    if (fd < 0) return -1;
    static constexpr size_t kPiece = 1 << 16;
    std::vector<char> buffer(kPiece);
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 || (got > 0 && ::write(fd, buffer.data(), static_cast<size_t>(got)) != got)) {
            *error = errno;
            ::close(fd);
            return -1;
        }
        if (got == 0) break;
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        *error = errno;
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace platform

}  // namespace treepak
