#include "platform/file_status.h"

#include <cerrno>
#include <sys/stat.h>

namespace treepak {

namespace platform {

bool GetFileStatus(const char* path, FileStatus* status, int32_t* error) {
    struct stat info;
    if (::stat(path, &info) != 0) {
        *error = errno;
        return false;
    }
    status->device = static_cast<uint64_t>(info.st_dev);
    status->inode = static_cast<uint64_t>(info.st_ino);
    status->size = static_cast<int64_t>(info.st_size);
    status->modified = static_cast<int64_t>(info.st_mtim.tv_sec);
    status->isRegular = S_ISREG(info.st_mode);
    status->isDirectory = S_ISDIR(info.st_mode);
    return true;
}

}  // namespace platform

}  // namespace treepak
