// Words for a failure of the reader engine. The engine gives one error code;
// where it stood (header, file table, which folder and block) comes from the
// notifications and hooks the client saw, and whether the file ended from
// the cabinet callbacks.
#pragma once

#include <cstdint>
#include <string>

#include "app/expand/expand_files.h"
#include "cabinet/error_record.h"

namespace treepak {

struct ReaderPlace {
    bool headerRead = false;    // the cabinet's header was announced
    uint32_t declaredSize = 0;  // the size its header gives
    bool inFolder = false;      // a folder of the file being written was loaded
    uint32_t folder = 0;        // that folder, as the cabinet in use numbers it
    uint32_t blocksPassed = 0;  // its whole blocks checked so far
};

// What went wrong, without the cabinet's name: "not a cabinet file",
// "truncated: the file ends at byte 1000 inside the file table", "data
// block 3 of folder 1 fails its checksum"...
std::string DescribeReaderFailure(const ErrorRecord& error, const ReaderPlace& place, const CabinetAccessNote& access);

}  // namespace treepak
