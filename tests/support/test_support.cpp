#include "test_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace treepak {

namespace testsupport {

ScratchDir::ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tp-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    // Make everything writable again so that read-only test files go too.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void WriteFileText(const std::filesystem::path& path, const std::string& text) {
    WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

uint64_t Rng::Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::vector<uint8_t> RandomBytes(size_t count, uint64_t seed) {
    Rng rng(seed);
    std::vector<uint8_t> out(count);
    for (auto& b : out) b = static_cast<uint8_t>(rng.Next());
    return out;
}

std::vector<uint8_t> TextBytes(size_t count, uint64_t seed) {
    static const char* const kWords[] = {
        "the", "cabinet", "folder", "block", "of", "and", "data", "file", "stream",
        "window", "match", "literal", "offset", "length", "tree", "header", "to", "in",
        "compress", "expand", "directory", "reader", "writer", "with", "a", "is"};
    Rng rng(seed);
    std::vector<uint8_t> out;
    out.reserve(count + 16);
    while (out.size() < count) {
        const char* w = kWords[rng.Below(sizeof(kWords) / sizeof(kWords[0]))];
        while (*w) out.push_back(static_cast<uint8_t>(*w++));
        uint32_t r = rng.Below(16);
        out.push_back(r == 0 ? '\n' : r == 1 ? ',' : ' ');
    }
    out.resize(count);
    return out;
}

std::string HashHex(const std::vector<uint8_t>& bytes) {
    uint64_t h = 0xCBF29CE484222325ull;
    for (uint8_t b : bytes) h = (h ^ b) * 0x100000001B3ull;
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

AllocationCounts allocations;

void* CountingAlloc(uint32_t size) {
    if (++allocations.calls >= allocations.failFrom && allocations.failFrom != 0) return nullptr;
    void* block = std::malloc(size ? size : 1);
    std::memset(block, 0xA5, size);
    ++allocations.live;
    return block;
}

void CountingFree(void* block) {
    if (block != nullptr) --allocations.live;
    std::free(block);
}

void MakeSparseFile(const std::filesystem::path& path, int64_t size, const std::vector<std::pair<int64_t, std::string>>& marks) {
    std::filesystem::create_directories(path.parent_path());
    { std::ofstream create(path, std::ios::binary); }
    std::filesystem::resize_file(path, static_cast<uintmax_t>(size));
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    for (const auto& [offset, text] : marks) {
        file.seekp(offset);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
}

std::map<std::string, std::vector<uint8_t>> TreeContents(const std::filesystem::path& root) {
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files[std::filesystem::relative(entry.path(), root).string()] = ReadFileBytes(entry);
    }
    return files;
}

bool SameFileBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
    if (std::filesystem::file_size(a) != std::filesystem::file_size(b)) return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    constexpr size_t kPiece = 1 << 20;
    std::vector<char> ba(kPiece), bb(kPiece);
    while (fa && fb) {
        fa.read(ba.data(), kPiece);
        fb.read(bb.data(), kPiece);
        if (fa.gcount() != fb.gcount() || std::memcmp(ba.data(), bb.data(), static_cast<size_t>(fa.gcount())) != 0)
            return false;
    }
    return true;
}

int RunCommand(const std::string& command, std::string* standardOutput) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    int status = pclose(pipe);
    if (standardOutput) *standardOutput = out;
    if (status == -1 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

}  // namespace testsupport

}  // namespace treepak
