// The tables of a cabinet and of the cabinets that continue it, read
// through the reader engine's listing call: headers, folder entries and file
// entries, never a data block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/expand/reader_client.h"

namespace treepak {

struct ListedCabinet {
    std::string name;
    uint32_t size = 0;  // the header's size field
    uint16_t setId = 0;
    uint16_t index = 0;
    uint16_t flags = 0;
    std::string previous;
    std::string next;
    uint16_t headerReserve = 0;
    uint8_t folderReserve = 0;
    uint8_t dataReserve = 0;
};

struct ListedFolder {
    size_t cabinet = 0;  // in CabinetListing::cabinets
    uint16_t index = 0;  // in that cabinet
    uint16_t compression = 0;
    uint16_t blocks = 0;
};

struct ListedFile {
    ReaderEntry entry;
    size_t cabinet = 0;  // where its entry (and its data) begin
    uint16_t folder = 0;  // its folder in that cabinet
    size_t folderRecord = SIZE_MAX;  // that folder in CabinetListing::folders, if listed
    bool continued = false;  // its data go on into, or come from, another cabinet
};

struct CabinetListing {
    std::vector<ListedCabinet> cabinets;
    std::vector<ListedFolder> folders;
    std::vector<ListedFile> files;
    bool complete = false;  // every cabinet of the set was read
};

// Lists the set from the named cabinet on. False when the named cabinet
// could not be read at all; a later cabinet that cannot be read leaves the
// listing incomplete. Problems go to `report`.
bool ListCabinetSet(const std::string& cabinetPath, const std::string& shownPath, CabinetListing* listing,
                    ReaderReportFn report, void* reportContext);

// "none", "deflate", "quantum:N" or "lzx:N" for a folder's type word.
std::string CompressionName(uint16_t typeWord);

}  // namespace treepak
