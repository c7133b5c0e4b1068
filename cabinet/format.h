// The cabinet file format shared by the writer and the reader: record sizes,
// flag, continuation and attribute values, the compression type word and the
// largest compressed block of each kind.
#pragma once

#include <cstdint>

// Signature of a finished cabinet, and the placeholder that stands in its
// place while the file is being written (an unfinished file never carries
// the real signature).
inline constexpr uint8_t CAB_SIGNATURE[4] = {0x4D, 0x53, 0x43, 0x46};
inline constexpr uint8_t CAB_SIGNATURE_PLACEHOLDER[4] = {'!', 'C', 'A', 'B'};
inline constexpr uint16_t CAB_VERSION = 0x0103;  // versionMinor 3, versionMajor 1

// Record sizes without reserve areas and names.
inline constexpr uint32_t CFHEADER_SIZE = 36;
inline constexpr uint32_t CFHEADER_RESERVE_FIELDS_SIZE = 4;  // u16 header + u8 folder + u8 data
inline constexpr uint32_t CFFOLDER_SIZE = 8;
inline constexpr uint32_t CFFILE_SIZE = 16;
inline constexpr uint32_t CFDATA_SIZE = 8;

// Largest values of the 16- and 8-bit fields: the count of folders, files
// or data blocks in a cabinet and a cabinet's index in its set; the header's
// reserve size and the folder and data reserve sizes.
inline constexpr uint32_t CAB_MAX_COUNT = 0xFFFF;
inline constexpr uint32_t CAB_MAX_HEADER_RESERVE = 0xFFFF;
inline constexpr uint32_t CAB_MAX_ITEM_RESERVE = 0xFF;

// Names inside a cabinet: at most 255 bytes before the NUL.
inline constexpr uint32_t CAB_NAME_MAX = 256;

// CFHEADER flags.
inline constexpr uint16_t CAB_FLAG_PREV_CABINET = 0x0001;
inline constexpr uint16_t CAB_FLAG_NEXT_CABINET = 0x0002;
inline constexpr uint16_t CAB_FLAG_RESERVE_PRESENT = 0x0004;

// CFFILE folderIndex continuation values.
inline constexpr uint16_t FOLDER_CONTINUED_FROM_PREV = 0xFFFD;
inline constexpr uint16_t FOLDER_CONTINUED_TO_NEXT = 0xFFFE;
inline constexpr uint16_t FOLDER_CONTINUED_PREV_AND_NEXT = 0xFFFF;

// CFFILE attribute bits.
inline constexpr uint16_t FILE_ATTR_READONLY = 0x01;
inline constexpr uint16_t FILE_ATTR_HIDDEN = 0x02;
inline constexpr uint16_t FILE_ATTR_SYSTEM = 0x04;
inline constexpr uint16_t FILE_ATTR_ARCHIVE = 0x20;
inline constexpr uint16_t FILE_ATTR_EXECUTE = 0x40;
inline constexpr uint16_t FILE_ATTR_NAME_IS_UTF8 = 0x80;

// Compression type word: kind in bits 0-3, window exponent in bits 8-12.
inline constexpr uint16_t COMPRESS_TYPE_MASK = 0x000F;
inline constexpr uint16_t COMPRESS_NONE = 0;
inline constexpr uint16_t COMPRESS_DEFLATE = 1;
inline constexpr uint16_t COMPRESS_QUANTUM = 2;
inline constexpr uint16_t COMPRESS_LZX = 3;
inline constexpr uint16_t COMPRESS_UNSET = 0x000F;
inline constexpr uint16_t COMPRESS_WINDOW_MASK = 0x1F00;
inline constexpr int COMPRESS_WINDOW_SHIFT = 8;

inline constexpr uint16_t CompressKind(uint16_t typeWord) { return typeWord & COMPRESS_TYPE_MASK; }
inline constexpr uint32_t CompressWindowBits(uint16_t typeWord) {
    return (typeWord & COMPRESS_WINDOW_MASK) >> COMPRESS_WINDOW_SHIFT;
}
inline constexpr uint16_t MakeLzxType(uint32_t windowBits) {
    return static_cast<uint16_t>(COMPRESS_LZX | (windowBits << COMPRESS_WINDOW_SHIFT));
}
inline constexpr uint16_t MakeQuantumType(uint32_t windowBits) {
    return static_cast<uint16_t>(COMPRESS_QUANTUM | (windowBits << COMPRESS_WINDOW_SHIFT));
}

// Every data block but a folder's last expands to exactly this many bytes.
inline constexpr uint32_t CAB_BLOCK_SIZE = 32768;
// Largest compressed size of one whole block, per kind.
inline constexpr uint32_t DEFLATE_BLOCK_SLACK = 12;
inline constexpr uint32_t QUANTUM_BLOCK_SLACK = 10240;
inline constexpr uint32_t LZX_BLOCK_SLACK = 6144;
inline constexpr uint32_t MAX_STORED_BLOCK = CAB_BLOCK_SIZE;
inline constexpr uint32_t MAX_DEFLATE_BLOCK = CAB_BLOCK_SIZE + DEFLATE_BLOCK_SLACK;  // 32780
inline constexpr uint32_t MAX_QUANTUM_BLOCK = CAB_BLOCK_SIZE + QUANTUM_BLOCK_SLACK;  // 43008
inline constexpr uint32_t MAX_LZX_BLOCK = CAB_BLOCK_SIZE + LZX_BLOCK_SLACK;          // 38912

// Block-deflate blocks start with these two bytes before the deflate data.
inline constexpr uint8_t DEFLATE_BLOCK_MAGIC[2] = {0x43, 0x4B};  // "CK"
inline constexpr uint32_t DEFLATE_HISTORY_SIZE = 32768;
