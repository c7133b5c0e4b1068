#include "platform/temp_names.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/attributes.h"
#include "platform/file_io.h"

namespace treepak {

namespace platform {

namespace {

constexpr int kNameAttempts = 100;
// Attempts at an unnamed file, as many as the writer makes at a name.
constexpr int kUnnamedAttempts = 11;
constexpr int kSuffixLength = 6;
constexpr char kSuffixAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr uint64_t kAlphabetSize = sizeof(kSuffixAlphabet) - 1;

// splitmix64: good enough spread for name suffixes; uniqueness is checked.
uint64_t NextRandom() {
    static uint64_t state = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull ^
                            static_cast<uint64_t>(time(nullptr));
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

bool UsableDirectory(const char* path) { return path != nullptr && *path != '\0' && IsDirectoryPath(path); }

}  // namespace

std::string TempDirectory() {
    for (const char* variable : {"TMP", "TMPDIR"}) {
        const char* value = std::getenv(variable);
        if (UsableDirectory(value)) return value;
    }
    if (UsableDirectory("/tmp")) return "/tmp";
    return "";
}

std::string RandomTempName(const std::string& directory, const char* prefix) {
    std::string name = directory;
    if (!name.empty() && name.back() != '/') name += '/';
    name += prefix;
    uint64_t bits = NextRandom();
    for (int i = 0; i < kSuffixLength; ++i) {
        name += kSuffixAlphabet[bits % kAlphabetSize];
        bits /= kAlphabetSize;
    }
    return name;
}

bool MakeTempName(const char* prefix, std::string* name) {
    const std::string directory = TempDirectory();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string candidate = RandomTempName(directory, prefix);
        struct stat info;
        if (lstat(candidate.c_str(), &info) != 0 && errno == ENOENT) {
            *name = candidate;
            return true;
        }
    }
    return false;
}

std::string UncheckedTempName(const char* prefix) {
    static std::string tmp, tmpdir, directory;
    static bool known = false;
    const char* tmpNow = std::getenv("TMP");
    const char* tmpdirNow = std::getenv("TMPDIR");
    if (!known || tmp != (tmpNow ? tmpNow : "") || tmpdir != (tmpdirNow ? tmpdirNow : "")) {
        tmp = tmpNow ? tmpNow : "";
        tmpdir = tmpdirNow ? tmpdirNow : "";
        directory = TempDirectory();
        known = true;
    }
    return RandomTempName(directory, prefix);
}

int32_t OpenUnnamedTempFile(const char* prefix) {
    for (int attempt = 0; attempt < kUnnamedAttempts; ++attempt) {
        std::string name;
        if (!MakeTempName(prefix, &name)) return -1;
        int32_t error = 0;
        const int32_t handle = OpenFile(name.c_str(), OPEN_BINARY | OPEN_EXCLUSIVE | OPEN_CREATE | OPEN_READ_WRITE,
                                        MODE_READ | MODE_WRITE, &error);
        if (handle < 0) continue;
        if (DeleteFile(name.c_str(), &error) != 0) {
            // A name that stays would outlive the process.
            CloseFile(handle, &error);
            return -1;
        }
        return handle;
    }
    return -1;
}

}  // namespace platform

}  // namespace treepak
