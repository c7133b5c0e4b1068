// --list: the listing of a cabinet set as aligned text or as JSON.
#pragma once

#include <cstdint>
#include <string>

#include "app/expand/list_set.h"
#include "selection.h"

namespace treepak {

// Name with '/' separators, as the listing shows it.
std::string ShownName(const std::string& storedName);
// "YYYY-MM-DD HH:MM:SS" with `between` between the date and the time.
std::string DosDateTimeText(uint16_t date, uint16_t time, char between);

void PrintListing(const CabinetListing& listing, Selection* selection, bool verbose);
void PrintJsonListing(const CabinetListing& listing, Selection* selection);

}  // namespace treepak
