#include "platform/directories.h"

#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/wildcard.h"

namespace platform {

namespace {

// Newly created directories get every permission the umask allows.
constexpr mode_t kDirectoryMode = 0777;

enum class EntryKind { File, Directory, Never };

EntryKind KindOf(int directoryFd, const char* name) {
    struct stat info;
    if (fstatat(directoryFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::Never;
    if (S_ISDIR(info.st_mode)) return EntryKind::Directory;
    if (S_ISREG(info.st_mode)) return EntryKind::File;
    if (S_ISLNK(info.st_mode) && fstatat(directoryFd, name, &info, 0) == 0 && S_ISREG(info.st_mode)) {
        return EntryKind::File;
    }
    return EntryKind::Never;
}

}  // namespace

bool ListDirectory(const std::string& directory, const std::string& pattern,
                   std::vector<DirectoryEntry>* entries) {
    entries->clear();
    DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
    if (dir == nullptr) return false;
    int fd = dirfd(dir);
    while (const dirent* entry = readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (!MatchesWildcard(pattern, name)) continue;
        EntryKind kind = KindOf(fd, name);
        if (kind == EntryKind::Never) continue;
        entries->push_back({name, kind == EntryKind::Directory});
    }
    closedir(dir);
    std::sort(entries->begin(), entries->end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return true;
}

bool CreateDirectory(const char* path) { return ::mkdir(path, kDirectoryMode) == 0; }

bool RemoveDirectory(const char* path) { return ::rmdir(path) == 0; }

}  // namespace platform
