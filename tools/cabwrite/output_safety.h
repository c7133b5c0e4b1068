// Where cabwrite may write a cabinet: nowhere that holds something else.
// An existing file is replaced only when it is a cabinet (a finished one,
// by its signature) or with --force, and never when it is one of the
// inputs, a file list included. A directory is never replaced.
#pragma once

#include <string>
#include <vector>

#include "platform/file_status.h"

namespace treepak {

struct OutputRules {
    bool force = false;
    std::vector<platform::FileStatus> inputs;  // every file read by this run
};

// False with a message when the cabinet may not be written at `path`.
bool MayWriteCabinet(const std::string& path, const OutputRules& rules, std::string* error);

}  // namespace treepak
