#include "platform/long_paths.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <unistd.h>

namespace treepak {

namespace platform {

namespace {

constexpr char kSeparator = '/';
constexpr const char* kThisDirectory = ".";

// The first run of `rest` that the kernel accepts: all of it when it is short
// enough, else up to and including the last separator that keeps it so.
size_t RunLength(std::string_view rest) {
    if (rest.size() < PATH_MAX) return rest.size();
    const size_t cut = rest.rfind(kSeparator, PATH_MAX - 2);
    return cut == std::string_view::npos ? 0 : cut + 1;
}

}  // namespace

AnchoredPath::AnchoredPath(const char* path) : directory_(AT_FDCWD), name_(path) {
    const char* lastSeparator = std::strrchr(path, kSeparator);
    // A short path, or one long name that the kernel refuses by itself.
    if (std::strlen(path) < PATH_MAX || lastSeparator == nullptr) return;
    name_ = lastSeparator[1] != '\0' ? lastSeparator + 1 : kThisDirectory;
    std::string_view rest(path, static_cast<size_t>(lastSeparator - path) + 1);
    int directory = AT_FDCWD;
    while (!rest.empty()) {
        const size_t length = RunLength(rest);
        int next = -1;
        if (length == 0) {
            errno = ENAMETOOLONG;
        } else {
            // Search permission is all a directory on the way needs, as for
            // any path the kernel resolves.
            const std::string run(rest.substr(0, length));
            do {
                next = ::openat(directory, run.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            } while (next < 0 && errno == EINTR);
        }
        const int openError = errno;
        if (directory != AT_FDCWD) ::close(directory);
        if (next < 0) {
            directory_ = kFailed;
            error_ = openError;
            return;
        }
        directory = next;
        rest.remove_prefix(length);
        // The next run is relative: separators between runs are dropped.
        while (!rest.empty() && rest.front() == kSeparator) rest.remove_prefix(1);
    }
    directory_ = directory;
}

AnchoredPath::~AnchoredPath() {
    if (directory_ >= 0) ::close(directory_);
}

}  // namespace platform

}  // namespace treepak
