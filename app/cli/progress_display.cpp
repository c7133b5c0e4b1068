#include "app/cli/progress_display.h"

#include <cstdio>

#include "app/common/status_line.h"
#include "platform/terminal.h"

namespace treepak {

namespace {

constexpr int kBarWidth = PROGRESS_RANGE / PROGRESS_STEP;
constexpr int kLineSize = 128;
constexpr int kPermillePerPercent = 10;

struct DisplayState {
    bool active = false;
    int position = 0;
};
DisplayState Display;

int Clamp(int position) {
    if (position < 0) return 0;
    return position > PROGRESS_RANGE ? PROGRESS_RANGE : position;
}

void Draw() {
    char line[kLineSize];
    FormatProgressLine(Display.position, line, sizeof line);
    DrawStatusLine(line);
}

}  // namespace

void FormatProgressLine(int position, char* out, int outSize) {
    position = Clamp(position);
    char bar[kBarWidth + 1];
    int filled = position * kBarWidth / PROGRESS_RANGE;
    for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
    bar[kBarWidth] = '\0';
    std::snprintf(out, static_cast<size_t>(outSize), "\rtreepak - working... [%s] %3d%c", bar, position, '%');
}

void CreateProgressDisplay() {
    if (!platform::IsTerminal(platform::STANDARD_ERROR)) return;
    // Nothing is drawn before the work moves the bar: a run that never
    // moves it (-NOLOGO, -V) shows no bar at all.
    Display.active = true;
    Display.position = 0;
}

void StepProgressDisplay() {
    if (!Display.active) return;
    Display.position = Clamp(Display.position + PROGRESS_STEP);
    Draw();
}

void ExpandProgress(void*, const char*, int32_t value, int32_t) {
    if (!Display.active) return;
    Display.position = Clamp(value / kPermillePerPercent);
    Draw();
}

}  // namespace treepak
