// A small, independent reader of the cabinets the tool writes, for tests:
// checks the layout (offsets, counts, checksums) and expands stored and
// block-deflate folders, the latter with zlib's raw inflate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cabinet/records.h"

struct ParsedFile {
    CFFILE entry;
    std::string name;
};

struct ParsedFolder {
    CFFOLDER entry;
    std::vector<uint8_t> content;  // the folder's uncompressed stream
};

struct ParsedCabinet {
    CFHEADER header;
    std::string nextCabinetName;
    std::vector<ParsedFolder> folders;
    std::vector<ParsedFile> files;
};

// Parses and expands; on any inconsistency returns false with a reason.
bool ParseCabinet(const std::vector<uint8_t>& bytes, ParsedCabinet* cabinet, std::string* reason);
// The bytes of one file, cut out of its folder's stream.
std::vector<uint8_t> FileContent(const ParsedCabinet& cabinet, const ParsedFile& file);
