// Round trip through both engines: the input chooses the writer parameters
// (size limit, folder threshold, reserves) and a few files (size, contents,
// compression type none / deflate / LZX with window 2^15..2^21, execute
// flag, a folder or cabinet break after each); the writer builds the set
// in memory, the reader walks it from the first cabinet on, and every file
// must come back with its bytes, date, time and attributes. Any failure of
// the writer other than refusing a size limit that fits no data block, or
// any failure of the reader, is a finding.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "cabinet/format.h"
#include "cabinet/lzx_format.h"
#include "fci/fci.h"
#include "fei/fei.h"
#include "memory_files.h"

namespace treepak {

namespace {

constexpr int kMaxFiles = 6;
constexpr uint32_t kMaxFileSize = 70000;       // a little over two data blocks
constexpr uint32_t kMaxTotalSize = 120000;     // keeps one run fast
constexpr uint32_t kSmallestCabinetLimit = 600;
constexpr uint32_t kLargestCabinetLimit = 80000;
constexpr uint32_t kLargestHeaderReserve = 600;
constexpr uint32_t kLargestByteReserve = 255;
constexpr int kMaxCabinets = 120;              // the client aborts beyond this
constexpr int kOutputHandleBase = 1 << 20;
constexpr uint16_t kSetId = 0x2468;


void* Alloc(uint32_t size) { return std::malloc(size ? size : 1); }
void Free(void* block) { std::free(block); }


struct SourceFile {
    std::string sourceName;
    std::string storedName;
    std::vector<uint8_t> bytes;
    uint16_t type;
    int32_t execute;
    uint16_t date, time, attributes;
    int breakAfter;  // 0 none, 1 folder, 2 cabinet
};

std::vector<SourceFile> g_sources;

uint16_t PickType(FuzzedDataProvider& in) {
    const int kind = in.ConsumeIntegralInRange(0, 2);
    if (kind == 0) return COMPRESS_NONE;
    if (kind == 1) return COMPRESS_DEFLATE;
    return MakeLzxType(in.ConsumeIntegralInRange<uint32_t>(LZX_MIN_WINDOW_BITS, LZX_MAX_WINDOW_BITS));
}

// Contents: a short pattern from the input repeated, with every n-th byte
// disturbed by a small generator, so that the sizes stay large while the
// input stays short and the compressors see both runs and noise.
std::vector<uint8_t> MakeContents(FuzzedDataProvider& in, uint32_t size) {
    const std::string pattern = in.ConsumeRandomLengthString(64);
    const uint32_t noiseEvery = in.ConsumeIntegralInRange<uint32_t>(0, 64);
    uint32_t state = in.ConsumeIntegral<uint32_t>() | 1;
    std::vector<uint8_t> bytes(size);
    for (uint32_t i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        uint8_t b = pattern.empty() ? 0 : static_cast<uint8_t>(pattern[i % pattern.size()]);
        if (noiseEvery && i % noiseEvery == 0) b = static_cast<uint8_t>(state >> 24);
        bytes[i] = b;
    }
    return bytes;
}


int g_cabinetsStarted = 0;
int g_tempCounter = 0;

int32_t FciOpen(const char* path, int32_t flags, int32_t, int32_t*, void*) {
    return memfiles::Open(path, (flags & IO_OPEN_CREATE) != 0);
}
int32_t FciRead(int32_t h, void* b, uint32_t n, int32_t*, void*) { return memfiles::Read(h, b, n); }
int32_t FciWrite(int32_t h, const void* b, uint32_t n, int32_t*, void*) { return memfiles::Write(h, b, n); }
int32_t FciClose(int32_t h, int32_t*, void*) { return memfiles::Close(h); }
int32_t FciSeek(int32_t h, int32_t o, int origin, int32_t*, void*) { return memfiles::Seek(h, o, origin); }
int32_t FciDelete(const char* path, int32_t*, void*) { return memfiles::files.erase(path) ? 0 : -1; }
int32_t FciTempName(char* buffer, int32_t size, void*) {
    std::snprintf(buffer, static_cast<size_t>(size), "temp%d", g_tempCounter++);
    return 1;
}
int32_t FciPlaced(CabParams*, const char*, uint32_t, int32_t, void*) { return 0; }
int32_t FciNextCabinet(CabParams* next, uint32_t, void*) {
    if (++g_cabinetsStarted > kMaxCabinets) return -1;
    std::snprintf(next->cabinetName, sizeof next->cabinetName, "cab%d.cab", next->cabinetNumber);
    std::snprintf(next->diskName, sizeof next->diskName, "disk%d", next->cabinetNumber);
    return 0;
}
int32_t FciStatus(uint32_t, uint32_t, uint32_t, void*) { return 0; }
int32_t FciOpenInfo(const char* path, uint16_t* date, uint16_t* time, uint16_t* attributes, int32_t*, void*) {
    for (const SourceFile& s : g_sources) {
        if (s.sourceName == path) {
            *date = s.date;
            *time = s.time;
            *attributes = s.attributes;
            return memfiles::Open(path, false);
        }
    }
    return -1;
}


struct Extracted {
    std::string name;
    std::vector<uint8_t> bytes;
    bool closed = false;
    int32_t executable = 0;
    uint16_t date = 0, time = 0, attributes = 0;
};

std::vector<Extracted> g_extracted;
std::string g_nextCabinet;
bool g_headerSeen = false;

int FeiOpen(const char* path, int flags, int) {
    if (flags & IO_OPEN_CREATE) return -1;  // no spill file for these folders
    return memfiles::Open(path, false);
}
int32_t FeiRead(int h, void* b, uint32_t n) { return memfiles::Read(h, b, n); }
int32_t FeiWrite(int h, const void* b, uint32_t n) {
    const int index = h - kOutputHandleBase;
    if (index < 0 || static_cast<size_t>(index) >= g_extracted.size()) __builtin_trap();
    const auto* p = static_cast<const uint8_t*>(b);
    g_extracted[index].bytes.insert(g_extracted[index].bytes.end(), p, p + n);
    return static_cast<int32_t>(n);
}
int FeiClose(int h) { return memfiles::Close(h); }
int32_t FeiSeek(int h, int32_t o, int origin) { return memfiles::Seek(h, o, origin); }

int FeiNotify(int kind, FEINotification* n) {
    switch (kind) {
    case FEI_NOTIFY_CABINET_INFO:
        if (!g_headerSeen) g_nextCabinet = n->text1 ? n->text1 : "";
        g_headerSeen = true;
        return 0;
    case FEI_NOTIFY_COPY_FILE:
        g_extracted.push_back({n->text1, {}, false, 0, 0, 0, 0});
        return kOutputHandleBase + static_cast<int>(g_extracted.size() - 1);
    case FEI_NOTIFY_CLOSE_FILE: {
        Extracted& e = g_extracted.at(static_cast<size_t>(n->handle - kOutputHandleBase));
        e.closed = true;
        e.executable = n->value;
        e.date = n->date;
        e.time = n->time;
        e.attributes = n->attributes;
        return 1;
    }
    case FEI_NOTIFY_NEXT_CABINET:
        return n->errorCode == 0 ? 0 : FEI_REPLY_ABORT;
    default:
        return 0;  // continued entries were extracted from the cabinet before
    }
}

void ResetWorld() {
    memfiles::Reset();
    g_sources.clear();
    g_extracted.clear();
    g_cabinetsStarted = 0;
    g_tempCounter = 0;
}

// Builds the set; false when the writer refused the parameters (or the
// client stopped a run of very many cabinets).
bool BuildSet(FuzzedDataProvider& in) {
    CabParams params{};
    params.maxCabinetSize = in.ConsumeBool() ? 0
                                             : in.ConsumeIntegralInRange(kSmallestCabinetLimit, kLargestCabinetLimit);
    params.folderThreshold = in.ConsumeIntegralInRange<uint32_t>(0, 2 * kMaxFileSize);
    params.headerReserveSize = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, kLargestHeaderReserve) : 0;
    params.folderReserveSize = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, kLargestByteReserve) : 0;
    params.dataReserveSize = in.ConsumeBool() ? in.ConsumeIntegralInRange<uint32_t>(0, kLargestByteReserve) : 0;
    params.cabinetNumber = 1;
    params.setId = kSetId;
    std::snprintf(params.cabinetName, sizeof params.cabinetName, "cab1.cab");
    std::snprintf(params.diskName, sizeof params.diskName, "disk1");

    const int fileCount = in.ConsumeIntegralInRange(0, kMaxFiles);
    uint32_t total = 0;
    for (int i = 0; i < fileCount; ++i) {
        SourceFile s;
        s.sourceName = "src" + std::to_string(i);
        s.storedName = in.ConsumeBool() ? "dir\\file" + std::to_string(i) : "f" + std::to_string(i) + ".bin";
        const uint32_t size = std::min(in.ConsumeIntegralInRange<uint32_t>(0, kMaxFileSize), kMaxTotalSize - total);
        total += size;
        s.type = PickType(in);
        s.execute = in.ConsumeBool();
        s.date = in.ConsumeIntegral<uint16_t>();
        s.time = in.ConsumeIntegral<uint16_t>();
        s.attributes = in.ConsumeIntegral<uint8_t>() & (FILE_ATTR_READONLY | FILE_ATTR_HIDDEN | FILE_ATTR_SYSTEM |
                                                      FILE_ATTR_ARCHIVE);
        s.breakAfter = in.ConsumeIntegralInRange(0, 2);
        s.bytes = MakeContents(in, size);
        memfiles::files[s.sourceName] = s.bytes;
        g_sources.push_back(std::move(s));
    }

    ErrorRecord error{};
    FCIContext* writer = FCICreate(&error, FciPlaced, Alloc, Free, FciOpen, FciRead, FciWrite, FciClose, FciSeek,
                                   FciDelete, FciTempName, &params, nullptr);
    if (!writer) {
        if (error.errorCode != FCIERR_CABINET_FILE) __builtin_trap();
        return false;
    }
    bool ok = true;
    for (const SourceFile& s : g_sources) {
        ok = FCIAddFile(writer, s.sourceName.c_str(), s.storedName.c_str(), s.execute, FciNextCabinet, FciStatus,
                        FciOpenInfo, s.type);
        if (ok && s.breakAfter == 1) ok = FCIFlushFolder(writer, FciNextCabinet, FciStatus);
        if (ok && s.breakAfter == 2) ok = FCIFlushCabinet(writer, 1, FciNextCabinet, FciStatus);
        if (!ok) break;
    }
    if (ok) ok = FCIFlushCabinet(writer, 0, FciNextCabinet, FciStatus);
    if (!ok && error.errorCode != FCIERR_CABINET_FILE &&
        !(error.errorCode == FCIERR_ABORT && g_cabinetsStarted > kMaxCabinets))
        __builtin_trap();
    if (!FCIDestroy(writer)) __builtin_trap();
    if (memfiles::AnyOpen()) __builtin_trap();
    for (const auto& [name, bytes] : memfiles::files)
        if (name.rfind("temp", 0) == 0) __builtin_trap();  // a temporary file was left
    return ok;
}

void ReadSet() {
    ErrorRecord error{};
    FEIContext* reader = FEICreate(Alloc, Free, FeiOpen, FeiRead, FeiWrite, FeiClose, FeiSeek, 1, &error);
    if (!reader) __builtin_trap();
    std::string name = "cab1.cab";
    for (int cabinets = 0;; ++cabinets) {
        if (cabinets > kMaxCabinets) __builtin_trap();  // the next names run in a circle
        g_headerSeen = false;
        g_nextCabinet.clear();
        if (!FEIExtract(reader, name.c_str(), "", 0, FeiNotify, nullptr, nullptr)) {
            std::fprintf(stderr, "reader failed on %s: code %d\n", name.c_str(), error.errorCode);
            __builtin_trap();
        }
        if (g_nextCabinet.empty()) break;
        name = g_nextCabinet;
    }
    FEIDestroy(reader);
    if (memfiles::AnyOpen()) __builtin_trap();
}

void Compare() {
    if (g_extracted.size() != g_sources.size()) {
        std::fprintf(stderr, "%zu files written, %zu read back\n", g_sources.size(), g_extracted.size());
        __builtin_trap();
    }
    for (size_t i = 0; i < g_sources.size(); ++i) {
        const SourceFile& s = g_sources[i];
        const Extracted& e = g_extracted[i];
        if (e.name != s.storedName || !e.closed || e.bytes != s.bytes || e.date != s.date || e.time != s.time ||
            e.attributes != s.attributes || (e.executable != 0) != (s.execute != 0)) {
            std::fprintf(stderr, "file %zu (%s) differs: %zu bytes back of %zu\n", i, s.storedName.c_str(),
                         e.bytes.size(), s.bytes.size());
            __builtin_trap();
        }
    }
}

}  // namespace

}  // namespace treepak

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace treepak;
    FuzzedDataProvider in(data, size);
    ResetWorld();
    if (BuildSet(in)) {
        ReadSet();
        Compare();
    }
    ResetWorld();
    return 0;
}
