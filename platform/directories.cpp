#include "platform/directories.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/long_paths.h"
#include "platform/wildcard.h"

namespace treepak {

namespace platform {

namespace {

// Newly created directories get every permission the umask allows.
constexpr mode_t kDirectoryMode = 0777;

enum class EntryKind { File, Directory, Never, Unreadable };

EntryKind KindOf(int directoryFd, const char* name, uint64_t* size) {
    struct stat info;
    // An entry removed since it was read is simply gone.
    if (fstatat(directoryFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? EntryKind::Never : EntryKind::Unreadable;
    if (S_ISDIR(info.st_mode)) return EntryKind::Directory;
    if (S_ISLNK(info.st_mode) && fstatat(directoryFd, name, &info, 0) != 0) return EntryKind::Never;
    if (!S_ISREG(info.st_mode)) return EntryKind::Never;
    *size = static_cast<uint64_t>(info.st_size);
    return EntryKind::File;
}

// Checked by the effective user, as an open is.
int32_t ReadErrorOf(int directoryFd, const char* name) {
    return faccessat(directoryFd, name, R_OK, AT_EACCESS) == 0 ? 0 : errno;
}

}  // namespace

bool ListDirectory(const std::string& directory, const std::string& pattern,
                   std::vector<DirectoryEntry>* entries, int32_t* error) {
    int32_t ignored = 0;
    if (error == nullptr) error = &ignored;
    entries->clear();
    const AnchoredPath at(directory.empty() ? "." : directory.c_str());
    const int fd = at.ok() ? ::openat(at.directory(), at.name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    DIR* dir = fd >= 0 ? fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        *error = at.ok() ? errno : at.error();
        if (fd >= 0) ::close(fd);
        return false;
    }
    int32_t failure = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(dir);
        if (entry == nullptr) {
            if (errno != 0) failure = errno;
            break;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (!MatchesWildcard(pattern, name)) continue;
        uint64_t size = 0;
        const EntryKind kind = KindOf(fd, name, &size);
        if (kind == EntryKind::Unreadable) {
            failure = errno;
            break;
        }
        if (kind == EntryKind::Never) continue;
        const bool isDirectory = kind == EntryKind::Directory;
        entries->push_back({name, isDirectory, size, isDirectory ? 0 : ReadErrorOf(fd, name)});
    }
    closedir(dir);
    if (failure != 0) {
        entries->clear();
        *error = failure;
        return false;
    }
    std::sort(entries->begin(), entries->end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return true;
}

bool CreateDirectory(const char* path) { return ::mkdir(path, kDirectoryMode) == 0; }

bool RemoveDirectory(const char* path) {
    const AnchoredPath at(path);
    return at.ok() && ::unlinkat(at.directory(), at.name(), AT_REMOVEDIR) == 0;
}

}  // namespace platform

}  // namespace treepak
