#include "platform/attributes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "platform/long_paths.h"

namespace treepak {

namespace platform {

namespace {

mode_t ModeWithAttributes(mode_t mode, uint32_t attributes) {
    mode &= 07777;
    if (attributes & ATTRIBUTE_READONLY) return mode & ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
    return mode | S_IWUSR;
}

}  // namespace

bool GetFileAttributes(const char* path, uint32_t* attributes) {
    const AnchoredPath at(path);
    struct stat info;
    if (!at.ok() || ::fstatat(at.directory(), at.name(), &info, 0) != 0) return false;
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
    return ::chmod(path, ModeWithAttributes(info.st_mode, attributes)) == 0;
}

bool SetHandleAttributes(int32_t handle, uint32_t attributes) {
    struct stat info;
    if (::fstat(handle, &info) != 0) return false;
    const mode_t mode = ModeWithAttributes(info.st_mode, attributes);
    return mode == (info.st_mode & 07777) || ::fchmod(handle, mode) == 0;
}

bool IsDirectoryPath(const char* path) {
    uint32_t attributes;
    return GetFileAttributes(path, &attributes) && (attributes & ATTRIBUTE_DIRECTORY);
}

}  // namespace platform

}  // namespace treepak
