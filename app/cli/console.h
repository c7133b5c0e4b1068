// Console output of the tool. Everything goes to standard output; lines are
// printed always (errors, usage), while the logo is on (banner, creating
// line, statistics), or only under -V through PrintVerbose.
#pragma once

// printf onto standard output when Options.verbose is set; no flush.
void PrintVerbose(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The two-line banner and its empty line.
void PrintBanner();
// The usage text (without the banner).
void PrintUsage();

extern const char* const BANNER_TEXT;
extern const char* const USAGE_TEXT;
