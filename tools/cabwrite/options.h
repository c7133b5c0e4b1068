// Command-line options of cabwrite.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "stored_times.h"

namespace treepak {

struct CabwriteOptions {
    std::string output;                  // path of the first cabinet
    std::vector<std::string> inputs;     // files and directories
    std::vector<std::string> fileLists;  // -L lists, "-" for standard input
    uint16_t compressionType = 1;        // block deflate unless told otherwise
    uint32_t maxCabinetSize = 0;
    uint32_t folderThreshold = 0x7FFFFFFF;
    uint32_t headerReserveSize = 0;
    uint32_t folderReserveSize = 0;
    uint32_t dataReserveSize = 0;
    uint32_t setId = 0;  // 16 bits in the cabinet
    std::string diskName = "DISK1";
    std::string diskPattern = "DISK%d";
    std::string nextPattern;  // empty: derived from the output name
    bool folderPerFile = false;
    bool executeAll = false;
    std::set<std::string> executeNames;  // names in the cabinet
    bool stripDirs = false;              // file arguments stored under their bare names
    bool force = false;                  // replace an existing file that is not a cabinet
    bool dryRun = false;
    bool hasMtime = false;
    int64_t mtime = 0;  // --mtime as seconds since the epoch
    AttributeMode attributes = AttributeMode::Keep;
    bool verbose = false;
    bool help = false;
    bool version = false;
};

// Fills the options from argv; false with a message on bad usage.
bool ParseCabwriteOptions(int argc, char** argv, CabwriteOptions* options, std::string* error);

const char* CabwriteUsage();
const char* CabwriteVersion();

// Expands a name pattern: "%d" becomes the number, "%%" a single '%'. False
// for any other '%' or a pattern without exactly one "%d".
bool ExpandNamePattern(const std::string& pattern, int32_t number, std::string* name);

// "dir/data.cab" -> "data%d.cab": the number goes before the extension.
std::string DefaultNextPattern(const std::string& cabinetName);

}  // namespace treepak
