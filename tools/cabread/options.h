// Command-line options of cabread.
#pragma once

#include <string>
#include <vector>

namespace treepak {

enum class CabreadMode { None, List, Test, Extract, Pipe };

struct CabreadOptions {
    CabreadMode mode = CabreadMode::None;
    bool json = false;
    bool keep = false;
    bool verbose = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
    std::string destination;  // empty: the current directory
    std::string cabinet;      // "-" for standard input
    std::vector<std::string> patterns;
};

// Fills the options from argv; false with a message on bad usage.
bool ParseCabreadOptions(int argc, char** argv, CabreadOptions* options, std::string* error);

const char* CabreadUsage();

}  // namespace treepak
