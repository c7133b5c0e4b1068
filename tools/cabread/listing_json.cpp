// The JSON listing. Names are UTF-8 after the name conversion extraction
// applies; a name marked UTF-8 whose bytes are not shows U+FFFD for them,
// so that the JSON stays valid.
#include <cinttypes>
#include <cstdio>

#include "app/common/name_encoding.h"
#include "cabinet/format.h"
#include "listing.h"

namespace treepak {

namespace {

struct AttributeWord {
    const char* word;
    uint16_t bit;
};
constexpr AttributeWord kAttributeWords[] = {
    {"readonly", FILE_ATTR_READONLY}, {"hidden", FILE_ATTR_HIDDEN},   {"system", FILE_ATTR_SYSTEM},
    {"archive", FILE_ATTR_ARCHIVE},   {"execute", FILE_ATTR_EXECUTE}, {"utf8", FILE_ATTR_NAME_IS_UTF8},
};
constexpr const char* kReplacementCharacter = "\\ufffd";
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kFirstNonAscii = 0x80;

std::string Quoted(const std::string& text) {
    const bool valid = IsValidUtf8(text);
    std::string out = "\"";
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < kFirstPrintable) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else if (byte >= kFirstNonAscii && !valid) {
            out += kReplacementCharacter;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string QuotedOrNull(const std::string& text) { return text.empty() ? "null" : Quoted(text); }

void PrintCabinets(const CabinetListing& listing) {
    std::printf("\"cabinets\":[");
    for (size_t i = 0; i < listing.cabinets.size(); ++i) {
        const ListedCabinet& c = listing.cabinets[i];
        std::printf("%s{\"name\":%s,\"size\":%" PRIu32 ",\"setId\":%u,\"index\":%u,\"flags\":%u,"
                    "\"prevCabinet\":%s,\"nextCabinet\":%s,\"reserve\":{\"header\":%u,\"folder\":%u,\"data\":%u}}",
                    i ? "," : "", Quoted(c.name).c_str(), c.size, c.setId, c.index, c.flags,
                    QuotedOrNull(c.previous).c_str(), QuotedOrNull(c.next).c_str(), c.headerReserve,
                    c.folderReserve, c.dataReserve);
    }
    std::printf("]");
}

void PrintFolders(const CabinetListing& listing) {
    std::printf(",\"folders\":[");
    for (size_t i = 0; i < listing.folders.size(); ++i) {
        const ListedFolder& f = listing.folders[i];
        std::printf("%s{\"index\":%u,\"cabinet\":%zu,\"compression\":%s,\"blocks\":%u}", i ? "," : "", f.index,
                    f.cabinet, Quoted(CompressionName(f.compression)).c_str(), f.blocks);
    }
    std::printf("]");
}

void PrintFiles(const CabinetListing& listing, Selection* selection) {
    std::printf(",\"files\":[");
    bool first = true;
    for (const ListedFile& file : listing.files) {
        if (!SelectionTakes(selection, file.entry.name)) continue;
        std::string attributes;
        for (const AttributeWord& a : kAttributeWords)
            if (file.entry.attributes & a.bit) attributes += std::string(attributes.empty() ? "" : ",") + Quoted(a.word);
        std::printf("%s{\"name\":%s,\"size\":%" PRIu32 ",\"modified\":\"%s\",\"attributes\":[%s],\"folder\":%u,"
                    "\"offset\":%" PRIu32 ",\"cabinet\":%zu,\"continued\":%s}",
                    first ? "" : ",", Quoted(ShownName(file.entry.name)).c_str(), file.entry.size,
                    DosDateTimeText(file.entry.date, file.entry.time, 'T').c_str(), attributes.c_str(), file.folder,
                    file.entry.offset, file.cabinet, file.continued ? "true" : "false");
        first = false;
    }
    std::printf("]");
}

}  // namespace

void PrintJsonListing(const CabinetListing& listing, Selection* selection) {
    std::printf("{");
    PrintCabinets(listing);
    PrintFolders(listing);
    PrintFiles(listing, selection);
    std::printf("}\n");
}

}  // namespace treepak
