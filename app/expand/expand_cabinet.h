// The expand driver: extracts every file of a cabinet (and of the cabinets
// that continue it) under a destination directory.
#pragma once

#include <cstdint>

// Called with the file's stored name and the share of bytes offered so far
// in thousandths (value, scale 1000).
using ExpandProgressFn = void (*)(void* context, const char* fileName, int32_t value, int32_t scale);

// Returns nonzero on success; prints nothing.
int ExpandCabinet(const char* cabinetPath, const char* destinationDir, ExpandProgressFn progress,
                  void* progressContext);
