// A test-side cabinet reader, written independently of the engines: parses
// one cabinet file byte by byte and checks its structure (signature,
// version, reserved fields, sizes and offsets, flags, reserve areas, names,
// folder and block layout, data checksums, continuation indices), and joins
// the folders of a set of cabinets back into whole streams.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace treepak {

namespace testsupport {

struct ParsedBlock {
    uint32_t offset = 0;  // of the CFDATA record within the file
    uint16_t compressedSize = 0;
    uint16_t uncompressedSize = 0;
    std::vector<uint8_t> data;
};

struct ParsedFolder {
    uint32_t firstDataOffset = 0;
    uint16_t dataBlockCount = 0;
    uint16_t compressionType = 0;
    std::vector<ParsedBlock> blocks;
};

struct ParsedFile {
    uint32_t fileSize = 0;
    uint32_t folderOffset = 0;
    uint16_t folderIndex = 0;
    uint16_t date = 0;
    uint16_t time = 0;
    uint16_t attributes = 0;
    std::string name;
};

struct ParsedCabinet {
    uint32_t cabinetSize = 0;
    uint16_t version = 0;
    uint16_t folderCount = 0;
    uint16_t fileCount = 0;
    uint16_t flags = 0;
    uint16_t setId = 0;
    uint16_t cabinetIndex = 0;
    uint16_t headerReserveSize = 0;
    uint8_t folderReserveSize = 0;
    uint8_t dataReserveSize = 0;
    std::string prevCabinet, prevDisk, nextCabinet, nextDisk;
    std::vector<ParsedFolder> folders;
    std::vector<ParsedFile> files;
};

// The data-block checksum written independently of the engines: XOR of
// little-endian words, 0-3 tail bytes folded in with the first byte highest.
uint32_t ReferenceChecksum(const uint8_t* data, size_t size, uint32_t seed);

// Parses and checks one cabinet. Returns "" when every check passed, else a
// description of the first problem found (the record is then partial).
std::string ParseCabinet(const std::vector<uint8_t>& bytes, ParsedCabinet* out);

// A folder of a set with its split blocks joined: every block is whole.
struct JoinedBlock {
    std::vector<uint8_t> data;
    uint16_t uncompressedSize = 0;
};
struct JoinedFolder {
    uint16_t compressionType = 0;
    std::vector<JoinedBlock> blocks;
};

// Joins the folders of a set in cabinet order: the first folder of a
// cabinet continues the last folder of the previous cabinet when the
// cabinet lists a file continued from the previous one. Also checks that a
// block piece with uncompressedSize 0 ends a cabinet only where a folder
// continues. "" on success.
std::string JoinSet(const std::vector<ParsedCabinet>& set, std::vector<JoinedFolder>* folders);

// Uncompressed stream of a joined folder: stored blocks as they are, block
// deflate through zlib's raw inflate after the "CK" prefix, with the
// previous 32768 bytes as dictionary after a full block. "" on success.
std::string DecodeFolder(const JoinedFolder& folder, std::vector<uint8_t>* stream);

// Every file of a set with its bytes, by name; a file listed in several
// cabinets appears once (and its entries must agree). Needs folders of
// kinds the test side can decode (stored and block deflate). "" on success.
std::string ExtractSet(const std::vector<ParsedCabinet>& set,
                       std::map<std::string, std::vector<uint8_t>>* files);

}  // namespace testsupport

}  // namespace treepak
