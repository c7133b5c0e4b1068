// The tool's main routine: options, source and pattern, progress display,
// run mode, exit status.
#pragma once

#include <string>

// The paths the front end keeps for the whole run; the drivers read them.
struct ToolPaths {
    std::string source;       // source directory (after the wildcard cut) or cabinet
    std::string pattern;      // file pattern of the walk
    std::string cabinetPath;  // build mode: the cabinet to write
    std::string destination;  // expand mode: the directory to fill
};

extern ToolPaths Paths;

inline constexpr int EXIT_STATUS_SUCCESS = 0;
inline constexpr int EXIT_STATUS_FAILURE = -1;  // 255 as the shell sees it

// Runs the tool and returns its exit status.
int RunToolStatus(int argc, const char* const* argv);
// Runs the tool and ends the process with its exit status.
[[noreturn]] void RunTool(int argc, const char* const* argv);
