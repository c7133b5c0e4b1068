#include "app/build/build_report.h"

#include <cstdio>

#include "platform/file_io.h"
#include "platform/source_files.h"
#include "platform/number_format.h"

namespace treepak {

namespace {

constexpr uint32_t kLargestUnscaledPart = 10000000;
constexpr int kScaleShift = 3;
constexpr uint32_t kPercent = 100;

}  // namespace

uint32_t PercentOf(uint32_t part, uint32_t whole) {
    while (part > kLargestUnscaledPart) {
        part >>= kScaleShift;
        whole >>= kScaleShift;
    }
    return whole == 0 ? 0 : part * kPercent / whole;
}

std::string FormatNumber(int32_t n) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%d", n);
    platform::NumberFormat format = platform::UserNumberFormat();
    std::string text = platform::GroupDigits(digits, format);
    if (!format.decimalSeparator.empty()) {
        size_t cut = text.find(format.decimalSeparator[0]);
        if (cut != std::string::npos) text.resize(cut);
    }
    return text;
}

int64_t FileSizeOf(const char* path) {
    const int64_t size = platform::FileSize(path);
    return size < 0 ? 0 : size;
}

}  // namespace treepak
