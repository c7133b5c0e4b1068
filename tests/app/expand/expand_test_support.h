#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace treepak {

namespace expandtest {

struct CabFile {
    std::string name;  // as stored, '\' separators
    std::vector<uint8_t> data;
    uint16_t attributes = 0x20;
    uint16_t date = 0x5A21;  // 2025-01-01
    uint16_t time = 0x6000;  // 12:00:00
};

struct CabLayout {
    std::string nextCabinet;  // empty: last of its set
    uint16_t setId = 0;
    uint16_t cabinetIndex = 0;
};

// One stored folder holding all files in order, in 32768-byte blocks.
std::vector<uint8_t> BuildCabinet(const std::vector<CabFile>& files, const CabLayout& layout = {});

struct FileState {
    std::vector<uint8_t> bytes;
    int64_t mtime;
    bool readOnly;
    bool operator==(const FileState&) const = default;
};
std::map<std::string, FileState> Snapshot(const std::filesystem::path& root);

// Text, noise, runs and empty files in nested directories, with even-second
// times (the cabinet keeps 2-second steps) and some read-only files.
void MakeSampleTree(const std::filesystem::path& root, uint64_t seed);

// A DOS header, PE header, optional header and `sections` sections with
// their raw data; an appended cabinet goes after the last one.
std::vector<uint8_t> MakeExecutable(uint16_t sections);

}  // namespace expandtest

}  // namespace treepak
