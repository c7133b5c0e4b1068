// Helpers for the expand tests: cabinets assembled byte by byte (so that
// tests control every name, field and block), tree snapshots for comparing
// what went in with what came out, and runs of the built binaries.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace expandtest {

struct CabFile {
    std::string name;  // as stored, '\' separators
    std::vector<uint8_t> data;
    uint16_t attributes = 0x20;
    uint16_t date = 0x5A21;  // 2025-01-01
    uint16_t time = 0x6000;  // 12:00:00
};

enum class BlockCoding { Stored, ZlibDeflate };

struct ZlibCoding {
    int level = 6;
    int strategy = 0;  // Z_DEFAULT_STRATEGY
};

struct CabLayout {
    BlockCoding coding = BlockCoding::Stored;
    ZlibCoding zlib;
    std::string nextCabinet;  // empty: last of its set
    uint16_t setId = 0;
    uint16_t cabinetIndex = 0;
};

// One cabinet with one folder holding all files in order; data blocks of
// 32768 bytes, stored or each a zlib raw deflate stream after "CK" with the
// previous block as preset dictionary. Checksums are left 0.
std::vector<uint8_t> BuildCabinet(const std::vector<CabFile>& files, const CabLayout& layout = {});

// Relative path -> contents, modification time and read-only bit.
struct FileState {
    std::vector<uint8_t> bytes;
    int64_t mtime;
    bool readOnly;
    bool operator==(const FileState&) const = default;
};
using TreeSnapshot = std::map<std::string, FileState>;
TreeSnapshot Snapshot(const std::filesystem::path& root);

// Files of varied kinds (text, noise, runs, empty, larger than a block) in
// nested directories, with even-second times and some read-only files.
void MakeSampleTree(const std::filesystem::path& root, uint64_t seed);

void SetReadOnly(const std::filesystem::path& path, bool readOnly);

std::string ShellQuote(const std::string& text);
// Runs a command line in `directory`; returns the exit status, output kept.
int RunIn(const std::filesystem::path& directory, const std::string& command, std::string* output = nullptr);
std::string TreepakBinary();
std::string CabwriteBinary();

// A minimal executable image: DOS header, PE header, optional header and
// `sections` section headers with their raw data; the overlay goes after
// the last section's raw data.
std::vector<uint8_t> MakeExecutable(uint16_t sections);

}  // namespace expandtest
