// Paths of any length. The kernel refuses a path of PATH_MAX bytes or more,
// so a longer one is reached piece by piece: its directory part is opened in
// runs of whole components, each run shorter than the limit and relative to
// the directory the run before opened, and the last component is then named
// relative to that directory with the *at calls. A shorter path goes to the
// kernel as it is. Only one directory handle is open at a time.
#pragma once

#include <cstdint>

namespace treepak {

namespace platform {

class AnchoredPath {
public:
    explicit AnchoredPath(const char* path);
    ~AnchoredPath();
    AnchoredPath(const AnchoredPath&) = delete;
    AnchoredPath& operator=(const AnchoredPath&) = delete;

    // False when a directory on the way could not be opened; error() then
    // holds its errno.
    bool ok() const { return directory_ != kFailed; }
    int32_t error() const { return error_; }
    // The directory handle (AT_FDCWD for a short path) and the name below it.
    int directory() const { return directory_; }
    const char* name() const { return name_; }

private:
    static constexpr int kFailed = -1;
    int directory_;
    const char* name_;
    int32_t error_ = 0;
};

}  // namespace platform

}  // namespace treepak
