#include "report.h"

#include <cstdio>

void ReportReadProblem(const std::string& message) { std::fprintf(stderr, "cabread: %s\n", message.c_str()); }

void ReportToStandardError(void*, const std::string& message) { ReportReadProblem(message); }
