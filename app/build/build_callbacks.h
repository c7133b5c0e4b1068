// The build driver's callbacks for the writer engine: file access through
// the platform layer (the engine's temporary and cabinet files through the
// table of writer_files.h, which keeps small temporary files in memory and
// buffers writes), temporary names, progress counting and the verbose
// lines. EngineFree serves the reader engine as well, with ReaderAlloc. Once an
// interrupt has been requested, status, placed-file and next-cabinet reports
// answer "abort" and reads and writes fail, so the engine stops and cleans
// up through its ordinary failure paths. A source file that cannot be opened
// or read, and an engine file that cannot be created or written, are named
// on standard error with the system's reason.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/common/engine_memory.h"
#include "fci/fci.h"
#include "platform/source_files.h"

namespace treepak {

// The source file the engine is reading: what it was when opened, and what
// has been read of it since. At its close after a read found its end, a
// different stamp, or a count other than the size it had, is reported: the
// cabinet holds what was read.
struct SourceBeingRead {
    std::string path;
    int32_t handle = -1;
    platform::FileStamp stamp = {};
    uint64_t bytesRead = 0;
    bool atEnd = false;
};

class Precompressor;

// The client context of one build pass. The totals advance on every
// file-progress report, whatever the options; the automatic store-or-
// compress decision and the statistics line read them.
struct BuildClientTotals {
    uint32_t compressedTotal;
    uint32_t uncompressedTotal;
    std::string firstCabinetName;  // further cabinets of a set are named after it
    int32_t lastCabinetNumber;     // highest cabinet number handed out
    // Every cabinet file the engine created in this pass, in order: what an
    // interrupted build removes and what a finished one flushes and checks.
    std::vector<std::string> cabinetsCreated = {};
    // Set by the driver before each FCIAddFile: the name being stored has a
    // byte of 0x80 or more, so its entry is marked as a UTF-8 name.
    bool storedNameIsUtf8 = false;
    SourceBeingRead source = {};
    // Paths of the engine's open files by handle, to name the one a write
    // fails on; one such failure is reported per pass.
    std::map<int32_t, std::string> writerPaths = {};
    bool writeFailureReported = false;
    // The workers compressing ahead, told of every source read.
    Precompressor* workers = nullptr;
    // Where the first cabinet's data area is expected to start (0: unknown).
    uint32_t expectedDataOffset = 0;
};

// Prefix of the writer's temporary file names.
inline constexpr const char* BUILD_TEMP_PREFIX = "xx";

int32_t BuildOpen(const char* path, int32_t openFlags, int32_t mode, int32_t* error, void* context);
int32_t BuildRead(int32_t handle, void* buffer, uint32_t count, int32_t* error, void* context);
int32_t BuildWrite(int32_t handle, const void* buffer, uint32_t count, int32_t* error, void* context);
int32_t BuildClose(int32_t handle, int32_t* error, void* context);
int32_t BuildSeek(int32_t handle, int32_t offset, int origin, int32_t* error, void* context);
int32_t BuildDelete(const char* path, int32_t* error, void* context);
int32_t BuildGetTempFile(char* buffer, int32_t bufferSize, void* context);
int32_t BuildFilePlaced(CabParams* current, const char* nameInCabinet, uint32_t fileSize, int32_t continuation,
                        void* context);
int32_t BuildGetNextCabinet(CabParams* next, uint32_t estimatedSize, void* context);
int32_t BuildStatus(uint32_t kind, uint32_t size1, uint32_t size2, void* context);
// The expected data-area offset of the set's first cabinet; 0 for the
// others, whose tables depend on where the cabinets before them were cut.
uint32_t BuildDataAreaOffset(const CabParams* cabinet, void* context);
int32_t BuildGetOpenInfo(const char* sourcePath, uint16_t* date, uint16_t* time, uint16_t* attributes,
                         int32_t* error, void* context);

}  // namespace treepak
