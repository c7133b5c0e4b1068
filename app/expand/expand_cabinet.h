// The expand driver: extracts every file of a cabinet (and of the cabinets
// that continue it) under a destination directory.
#pragma once

#include <cstdint>

#include "app/expand/reader_client.h"

namespace treepak {

// Called with the file's stored name and the share of bytes offered so far
// in thousandths (value, scale 1000).
using ExpandProgressFn = ReaderProgressFn;

// Returns nonzero when every file was extracted. Problems go to standard
// error, one line each; an unsafe name also gets its line on standard
// output. *outcome, when given, says what was done and which cabinets were
// read.
int ExpandCabinet(const char* cabinetPath, const char* destinationDir, ExpandProgressFn progress,
                  void* progressContext, ReaderOutcome* outcome = nullptr);

}  // namespace treepak
