#include "app/expand/next_cabinet.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/common/path_helpers.h"
#include "platform/attributes.h"
#include "platform/directories.h"

namespace treepak {

namespace {
constexpr const char* kEveryName = "*";
}  // namespace

std::string FindNextCabinet(const std::string& directory, const std::string& storedName, std::string* problem) {
    const std::string lookedIn = " (looked in " + (directory.empty() ? std::string(".") : directory) + ")";
    const std::string cannot = "cannot open the next cabinet of the set: ";
    uint32_t attributes = 0;
    if (platform::GetFileAttributes((directory + storedName).c_str(), &attributes)) return storedName;
    std::vector<platform::DirectoryEntry> entries;
    if (!platform::ListDirectory(directory, kEveryName, &entries)) {
        *problem = cannot + std::strerror(ENOENT) + lookedIn;
        return "";
    }
    std::string found;
    int matches = 0;
    for (const platform::DirectoryEntry& entry : entries) {
        if (!entry.isDirectory && EqualsIgnoreCase(entry.name, storedName)) {
            found = entry.name;
            ++matches;
        }
    }
    if (matches == 1) return found;
    *problem = cannot + (matches == 0 ? std::strerror(ENOENT) : "several files match it when case is ignored") + lookedIn;
    return "";
}

}  // namespace treepak
