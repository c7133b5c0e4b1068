// The process-wide options, set once by the option loop and read everywhere
// else.
#pragma once

#include <cstdint>
#include <string>

#include "cabinet/format.h"

namespace treepak {

struct ToolOptions {
    bool showLogo = true;              // banner, creating line, build progress, statistics
    bool recurse = true;               // the walk descends into subdirectories
    uint16_t compressType = COMPRESS_DEFLATE;     // files not ending in ".kvf"
    uint16_t kvfCompressType = COMPRESS_DEFLATE;  // files ending in ".kvf"
    bool autoCompress = true;          // run the store-or-compress decision
    bool showProgressWindow = true;    // the progress display on standard error
    bool verbose = false;              // PrintVerbose prints
    bool deleteSource = false;         // delete the source after success
    bool singleFolder = false;         // all files in one folder
    bool flatten = false;              // store bare file names
};

extern ToolOptions Options;

// The paths the front end keeps for the whole run; the drivers read them.
struct ToolPaths {
    std::string source;       // source directory (after the wildcard cut) or cabinet
    std::string pattern;      // file pattern of the walk
    std::string cabinetPath;  // build mode: the cabinet to write
    std::string destination;  // expand mode: the directory to fill
};

extern ToolPaths Paths;

inline constexpr char OPTION_PREFIX = '-';

// Reads the options from argv[1] on into *options. Returns the index of the
// first argument that is not an option, or argc when an unknown option ends
// the loop (no argument is left then, and the usage follows).
int ParseOptions(int argc, const char* const* argv, ToolOptions* options);

}  // namespace treepak
