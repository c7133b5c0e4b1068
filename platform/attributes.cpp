#include "platform/attributes.h"

#include <sys/stat.h>

namespace platform {

bool GetFileAttributes(const char* path, uint32_t* attributes) {
    struct stat info;
    if (::stat(path, &info) != 0) return false;
    if (S_ISDIR(info.st_mode)) {
        *attributes = ATTRIBUTE_DIRECTORY;
    } else {
        *attributes = ATTRIBUTE_ARCHIVE | ((info.st_mode & S_IWUSR) ? 0 : ATTRIBUTE_READONLY);
    }
    return true;
}

bool SetFileAttributes(const char* path, uint32_t attributes) {
    struct stat info;
    if (::stat(path, &info) != 0) return false;
    mode_t mode = info.st_mode & 07777;
    if (attributes & ATTRIBUTE_READONLY) {
        mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    } else {
        mode |= S_IWUSR;
    }
    return ::chmod(path, mode) == 0;
}

bool IsDirectoryPath(const char* path) {
    uint32_t attributes;
    return GetFileAttributes(path, &attributes) && (attributes & ATTRIBUTE_DIRECTORY);
}

}  // namespace platform
