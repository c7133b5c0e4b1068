#include "listing.h"

#include <cinttypes>
#include <cstdio>

#include "cabinet/format.h"
#include "platform/dos_time.h"

namespace treepak {

namespace {

// Attribute letters in their column order, with the bit each stands for.
struct AttributeLetter {
    char letter;
    uint16_t bit;
};
constexpr AttributeLetter kAttributeLetters[] = {
    {'r', FILE_ATTR_READONLY}, {'h', FILE_ATTR_HIDDEN},  {'s', FILE_ATTR_SYSTEM},
    {'a', FILE_ATTR_ARCHIVE},  {'x', FILE_ATTR_EXECUTE}, {'u', FILE_ATTR_NAME_IS_UTF8},
};

std::string AttributeText(uint16_t attributes) {
    std::string text;
    for (const AttributeLetter& a : kAttributeLetters) text += (attributes & a.bit) ? a.letter : '-';
    return text;
}

std::string FolderCompression(const CabinetListing& listing, const ListedFile& file) {
    return file.folderRecord < listing.folders.size() ? CompressionName(listing.folders[file.folderRecord].compression)
                                                      : "?";
}

}  // namespace

std::string ShownName(const std::string& storedName) {
    std::string name = storedName;
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

std::string DosDateTimeText(uint16_t date, uint16_t time, char between) {
    const platform::DosDateTimeFields f = platform::UnpackDosDateTime(date, time);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", f.year, f.month, f.day, between, f.hour,
                  f.minute, f.second);
    return text;
}

void PrintListing(const CabinetListing& listing, Selection* selection, bool verbose) {
    uint64_t bytes = 0;
    size_t files = 0;
    for (const ListedFile& file : listing.files) {
        if (!SelectionTakes(selection, file.entry.name)) continue;
        ++files;
        bytes += file.entry.size;
        std::printf("%10" PRIu32 "  %s  %s  %-10s", file.entry.size,
                    DosDateTimeText(file.entry.date, file.entry.time, ' ').c_str(),
                    AttributeText(file.entry.attributes).c_str(), FolderCompression(listing, file).c_str());
        if (verbose)
            std::printf("  %5u %10" PRIu32 "  %-12s", file.folder, file.entry.offset,
                        listing.cabinets[file.cabinet].name.c_str());
        std::printf("  %s\n", ShownName(file.entry.name).c_str());
    }
    std::printf("%zu file%s, %" PRIu64 " bytes, %zu cabinet%s\n", files, files == 1 ? "" : "s", bytes,
                listing.cabinets.size(), listing.cabinets.size() == 1 ? "" : "s");
}

}  // namespace treepak
