// Console output of the tool: the lines of standard output, printed always
// (errors, usage), while the logo is on (banner, creating line, statistics),
// or only under -V through PrintVerbose. Diagnostics go to standard error
// instead (app/common/diagnostics.h). Every printer here erases the
// progress line first, so the two never share a line.
#pragma once

namespace treepak {

// printf onto standard output; no flush.
void PrintLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The same, only when Options.verbose is set.
void PrintVerbose(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The two-line banner and its empty line.
void PrintBanner();
// The usage text (without the banner).
void PrintUsage();

extern const char* const BANNER_TEXT;
extern const char* const USAGE_TEXT;

}  // namespace treepak
