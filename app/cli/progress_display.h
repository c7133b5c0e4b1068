// The progress display: one line on standard error, drawn only when standard
// error is a terminal and -BATCH was not given, so standard output stays
// exactly the console lines. The line appears with the first move of the
// bar and is erased before any other output and at the end of the run (see
// app/common/status_line.h). It shows a bar of range 0 to 100 with step 2,
// fed by exactly two entry points: the build driver's step and
// ExpandProgress.
#pragma once

#include <cstdint>

namespace treepak {

inline constexpr int PROGRESS_RANGE = 100;
inline constexpr int PROGRESS_STEP = 2;

// Sets the display up at position 0, drawing nothing yet (nothing happens
// unless standard error is a terminal). Called once, before the run mode is
// chosen.
void CreateProgressDisplay();
// Advances the bar by one step (build mode).
void StepProgressDisplay();
// Expand mode: value is in thousandths; the bar moves to value / 10,
// truncated toward zero. context, fileName and scale are not used.
void ExpandProgress(void* context, const char* fileName, int32_t value, int32_t scale);

// The text the display draws for a bar position (exposed for tests).
void FormatProgressLine(int position, char* out, int outSize);

}  // namespace treepak
