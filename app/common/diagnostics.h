// The diagnostics channel: one line per problem on standard error,
// "treepak: " then what and why (the path as the user gave it, and the
// system's reason where there is one). Standard output carries only the
// console lines and is never written here.
//
// A problem is something the run left out, skipped or found changed while
// it went on: it makes the exit status 1. A failure is what ends the build
// or the expansion: the caller reports it and returns its failure, which
// makes the exit status 255.
#pragma once

namespace treepak {

// Prints the line and counts the problem. No line end in the format.
void ReportProblem(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Prints the line; the status comes from the caller's failure.
void ReportFailure(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Problems reported since the run started (or the last reset).
int ProblemCount();
// Forgets the count (a new run in the same process).
void ResetDiagnostics();

}  // namespace treepak
