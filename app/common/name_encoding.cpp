#include "app/common/name_encoding.h"

#include <array>

#include "cabinet/format.h"
#include "cabinet/tp_assert.h"

namespace treepak {

namespace {

constexpr unsigned char kFirstNonAscii = 0x80;
// Windows-1252 differs from Latin-1 only in 0x80-0x9F.
constexpr unsigned char kFirstLatin1Byte = 0xA0;
constexpr std::array<char32_t, kFirstLatin1Byte - kFirstNonAscii> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

constexpr char32_t kLargestTwoByte = 0x7FF;
constexpr char32_t kLargestThreeByte = 0xFFFF;
constexpr char32_t kLargestCodePoint = 0x10FFFF;
constexpr char32_t kFirstSurrogate = 0xD800;
constexpr char32_t kLastSurrogate = 0xDFFF;
constexpr unsigned char kContinuationMask = 0xC0;
constexpr unsigned char kContinuationTag = 0x80;
constexpr unsigned kContinuationBits = 6;
constexpr unsigned char kPayloadOfContinuation = 0x3F;

struct LeadByte {
    unsigned char mask;
    unsigned char tag;
    int continuationCount;
    char32_t smallest;  // below this the encoding is not the shortest
};
constexpr std::array<LeadByte, 3> kLeadBytes = {{
    {0xE0, 0xC0, 1, 0x80},
    {0xF0, 0xE0, 2, 0x800},
    {0xF8, 0xF0, 3, 0x10000},
}};

void AppendUtf8(char32_t codePoint, std::string* out) {
    auto push = [out](unsigned value) { out->push_back(static_cast<char>(value)); };
    if (codePoint < kFirstNonAscii) {
        push(codePoint);
    } else if (codePoint <= kLargestTwoByte) {
        push(kLeadBytes[0].tag | (codePoint >> kContinuationBits));
        push(kContinuationTag | (codePoint & kPayloadOfContinuation));
    } else {
        // Only code points of Windows-1252 come here, all within three bytes.
        TP_ASSERT(codePoint <= kLargestThreeByte);
        push(kLeadBytes[1].tag | (codePoint >> (2 * kContinuationBits)));
        push(kContinuationTag | ((codePoint >> kContinuationBits) & kPayloadOfContinuation));
        push(kContinuationTag | (codePoint & kPayloadOfContinuation));
    }
}

}  // namespace

bool HasNonAsciiByte(std::string_view name) {
    for (char c : name)
        if (static_cast<unsigned char>(c) >= kFirstNonAscii) return true;
    return false;
}

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i++]);
        if (lead < kFirstNonAscii) continue;
        const LeadByte* kind = nullptr;
        for (const LeadByte& candidate : kLeadBytes)
            if ((lead & candidate.mask) == candidate.tag) kind = &candidate;
        if (kind == nullptr || bytes.size() - i < static_cast<size_t>(kind->continuationCount)) return false;
        char32_t codePoint = lead & static_cast<unsigned char>(~kind->mask);
        for (int k = 0; k < kind->continuationCount; ++k) {
            const auto next = static_cast<unsigned char>(bytes[i++]);
            if ((next & kContinuationMask) != kContinuationTag) return false;
            codePoint = (codePoint << kContinuationBits) | (next & kPayloadOfContinuation);
        }
        if (codePoint < kind->smallest || codePoint > kLargestCodePoint ||
            (codePoint >= kFirstSurrogate && codePoint <= kLastSurrogate))
            return false;
    }
    return true;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t codePoint =
            byte >= kFirstNonAscii && byte < kFirstLatin1Byte ? kWindows1252High[byte - kFirstNonAscii] : byte;
        AppendUtf8(codePoint, &out);
    }
    return out;
}

std::string ExtractedName(std::string_view storedName, uint16_t attributes) {
    if ((attributes & FILE_ATTR_NAME_IS_UTF8) || IsValidUtf8(storedName)) return std::string(storedName);
    return Windows1252ToUtf8(storedName);
}

}  // namespace treepak
