// The tool's main routine: options, source and pattern, progress display,
// run mode, exit status. A run that did everything asked ends with 0; one
// that finished but left something out, skipped it or found it changed on
// the way (each named on standard error) with 1; a failed or interrupted
// one with 255.
#pragma once

#include "app/cli/options.h"

namespace treepak {

inline constexpr int EXIT_STATUS_SUCCESS = 0;
inline constexpr int EXIT_STATUS_INCOMPLETE = 1;
inline constexpr int EXIT_STATUS_FAILURE = -1;  // 255 as the shell sees it

// Runs the tool and returns its exit status.
int RunToolStatus(int argc, const char* const* argv);
// Runs the tool and ends the process with its exit status.
[[noreturn]] void RunTool(int argc, const char* const* argv);

}  // namespace treepak
