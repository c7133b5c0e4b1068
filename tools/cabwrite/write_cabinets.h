// Driving the writer engine over the collected files: the first cabinet's
// parameters, one FCIAddFile per file (a folder per file on request), the
// final flush, and on failure a message and the removal of every cabinet
// this run created.
#pragma once

#include <string>
#include <vector>

#include "inputs.h"
#include "options.h"
#include "writer_client.h"

namespace treepak {

// The smallest --max-size that can hold one data block: the header with its
// reserve area, one folder record, the first file's entry and a block of
// one byte with its header.
uint32_t SmallestUsefulCabinet(const CabwriteOptions& options, const std::string& firstName);

// True when every cabinet was written (or, in a dry run, would have been).
bool WriteCabinets(const CabwriteOptions& options, const std::vector<InputFile>& files, WriterClient* client);

}  // namespace treepak
