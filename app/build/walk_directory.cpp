#include "app/build/file_selection.h"

#include <cstring>

#include "app/common/diagnostics.h"
#include "app/common/path_helpers.h"
#include "platform/directories.h"
#include "platform/interrupts.h"
#include "platform/wildcard.h"

namespace treepak {

namespace {

constexpr const char* kEveryName = "*.*";

}  // namespace

void WalkDirectory(const std::string& dir, const std::string& pattern, WalkCallback callback,
                   void* context, bool recurse) {
    // An interrupted walk stops; the caller sees the request and ends.
    if (platform::InterruptRequested()) return;
    // Subdirectories first, then the files that match; a recursing walk
    // lists the directory once for both.
    std::vector<platform::DirectoryEntry> entries;
    int32_t error = 0;
    if (!platform::ListDirectory(dir, recurse ? kEveryName : pattern, &entries, &error)) {
        ReportProblem("%s: cannot list directory: %s (its files are not in the cabinet)", dir.c_str(),
                      std::strerror(error));
        return;
    }
    if (recurse) {
        for (const auto& entry : entries) {
            if (entry.isDirectory && entry.name != "." && entry.name != "..") {
                WalkDirectory(JoinPath(dir, entry.name), pattern, callback, context, recurse);
            }
        }
    }
    for (const auto& entry : entries) {
        if (!entry.isDirectory && (!recurse || platform::MatchesWildcard(pattern, entry.name))) {
            callback(JoinPath(dir, entry.name), entry, context);
        }
    }
}

}  // namespace treepak
