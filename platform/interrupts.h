// SIGINT and SIGTERM as a request to stop. The handler only sets a flag;
// the drivers' callbacks look at it and make the engine fail its operation,
// so that the normal cleanup paths (temporary files, half-written outputs)
// run before the process ends.
#pragma once

namespace treepak {

namespace platform {

// Installs the flag-setting handler for SIGINT and SIGTERM.
void InstallInterruptHandlers();
// True once either signal has arrived.
bool InterruptRequested();
// Sets or clears the flag as a signal would (tests; a new run in-process).
void SetInterruptRequested(bool requested);

// Ignores SIGXFSZ: a write past the file-size limit then fails with EFBIG
// like any other write failure, instead of killing the process before it
// can remove its temporary files.
void IgnoreFileSizeLimitSignal();

}  // namespace platform

}  // namespace treepak
