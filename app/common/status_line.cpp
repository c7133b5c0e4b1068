#include "app/common/status_line.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace treepak {

namespace {

size_t drawnLength = 0;  // characters on the line now; 0 when none is drawn

}  // namespace

void DrawStatusLine(const char* text) {
    // The text may start with its own carriage return.
    const char* start = text[0] == '\r' ? text + 1 : text;
    std::fputc('\r', stderr);
    std::fputs(start, stderr);
    std::fflush(stderr);
    drawnLength = std::strlen(start);
}

void ClearStatusLine() {
    if (drawnLength == 0) return;
    // Spaces over the drawn text, between two carriage returns.
    std::string blank(drawnLength + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    std::fputs(blank.c_str(), stderr);
    std::fflush(stderr);
    drawnLength = 0;
}

}  // namespace treepak
