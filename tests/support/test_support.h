// Small helpers shared by the test suites: scratch directories, whole-file
// reads and writes, deterministic pseudo-random data and a 64-bit hash for
// golden vectors.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace treepak {

namespace testsupport {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes out of scope.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
void WriteFileText(const std::filesystem::path& path, const std::string& text);
// Every regular file below `root`, by path relative to it.
std::map<std::string, std::vector<uint8_t>> TreeContents(const std::filesystem::path& root);
// A file of `size` bytes that occupies almost no disk: a hole with the
// given bytes written at the given offsets.
void MakeSparseFile(const std::filesystem::path& path, int64_t size,
                    const std::vector<std::pair<int64_t, std::string>>& marks = {});
// Compares piece by piece, for files too large to hold in memory.
bool SameFileBytes(const std::filesystem::path& a, const std::filesystem::path& b);

// Deterministic generator (splitmix64) so that random inputs can be replayed
// from the seed a test prints.
struct Rng {
    uint64_t state;
    explicit Rng(uint64_t seed) : state(seed) {}
    uint64_t Next();
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }
};
std::vector<uint8_t> RandomBytes(size_t count, uint64_t seed);
// Text-like bytes: words from a small vocabulary, so that they compress.
std::vector<uint8_t> TextBytes(size_t count, uint64_t seed);

// FNV-1a 64-bit, printed as 16 hex digits; used to pin compressor output.
std::string HashHex(const std::vector<uint8_t>& bytes);

// Allocation callbacks over malloc for the engines and codecs: they count
// calls and blocks still held, fill new blocks with 0xA5 so that memory used
// uncleared shows, and fail every call from number `failFrom` on (counted
// from 1; 0 never).
struct AllocationCounts {
    int64_t calls = 0, live = 0, failFrom = 0;
};
extern AllocationCounts allocations;
void* CountingAlloc(uint32_t size);
void CountingFree(void* block);
// Runs `create(k)` with the counting allocator failing from call k on, for
// k = 1 .. `calls`; no run may leave a block held.
template <typename Create>
void FailEachAllocation(int calls, Create create) {
    for (int failing = 1; failing <= calls; ++failing) {
        allocations = {0, 0, failing};
        create(failing);
        EXPECT_EQ(allocations.live, 0) << "allocation " << failing << " failing";
    }
    allocations = {};
}

// Runs a command through /bin/sh, capturing standard output; returns the
// exit status (or -1 when it could not be run or did not exit normally).
int RunCommand(const std::string& command, std::string* standardOutput);

}  // namespace testsupport

}  // namespace treepak
