#include "app/file_list.h"

#include "app/path_helpers.h"
#include "platform/directories.h"
#include "platform/interrupts.h"

namespace {

constexpr const char* kEveryName = "*.*";

}  // namespace

void WalkDirectory(const std::string& dir, const std::string& pattern, WalkCallback callback,
                   void* context, bool recurse) {
    // An interrupted walk stops; the caller sees the request and ends.
    if (platform::InterruptRequested()) return;
    std::vector<platform::DirectoryEntry> entries;
    if (recurse && platform::ListDirectory(dir, kEveryName, &entries)) {
        for (const auto& entry : entries) {
            if (entry.isDirectory && entry.name != "." && entry.name != "..") {
                WalkDirectory(JoinPath(dir, entry.name), pattern, callback, context, recurse);
            }
        }
    }
    if (platform::ListDirectory(dir, pattern, &entries)) {
        for (const auto& entry : entries) {
            if (!entry.isDirectory) callback(JoinPath(dir, entry.name), context);
        }
    }
}
