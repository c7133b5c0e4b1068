#include "app/expand/reader_failure.h"

#include <cerrno>
#include <cstring>

#include "fei/fei.h"

namespace treepak {

namespace {

constexpr int kVersionMajorShift = 8;
constexpr int kVersionMinorMask = 0xFF;

std::string Where(const ReaderPlace& place) {
    if (!place.headerRead) return "the header";
    if (!place.inFolder) return "the folder or file table";
    return "data block " + std::to_string(place.blocksPassed) + " of folder " + std::to_string(place.folder);
}

std::string Damage(const ReaderPlace& place, const CabinetAccessNote& access) {
    if (access.lastReadShort) {
        // A file shorter than its header says was cut; else a field is wrong.
        const bool cut = place.headerRead && place.declaredSize > access.cabinetEnd;
        if (!cut && access.readStart >= access.cabinetEnd)
            return "a field points outside the file (to byte " + std::to_string(access.readStart) + " of " +
                   std::to_string(access.cabinetEnd) + ")";
        return "truncated: the file ends at byte " + std::to_string(access.cabinetEnd) + " inside " + Where(place);
    }
    if (place.inFolder)
        return "data block " + std::to_string(place.blocksPassed) + " of folder " + std::to_string(place.folder) +
               " fails its checksum or size check";
    return place.headerRead ? "damaged folder or file table" : "damaged header";
}

}  // namespace

std::string DescribeReaderFailure(const ErrorRecord& error, const ReaderPlace& place, const CabinetAccessNote& access) {
    switch (error.errorCode) {
    case FEIERR_OPEN_CABINET:
        return std::string("cannot open: ") + std::strerror(access.openError ? access.openError : ENOENT);
    case FEIERR_NOT_A_CABINET:
        // The header's fixed part is read first, from the start.
        if (access.lastReadShort && access.readStart == 0) return "not a cabinet file (shorter than a cabinet header)";
        return access.lastReadShort ? Damage(place, access) : "not a cabinet file";
    case FEIERR_VERSION:
        return "cabinet format version " + std::to_string(error.systemError >> kVersionMajorShift) + "." +
               std::to_string(error.systemError & kVersionMinorMask) + " is not supported";
    case FEIERR_CORRUPT:
        return Damage(place, access);
    case FEIERR_NO_MEMORY:
        return "out of memory";
    case FEIERR_COMPRESSION_TYPE:
        return "folder " + std::to_string(place.folder) + " uses an unknown compression type";
    case FEIERR_DECODE:
        return "data block " + std::to_string(place.blocksPassed > 0 ? place.blocksPassed - 1 : 0) + " of folder " +
               std::to_string(place.folder) + " cannot be decoded";
    case FEIERR_TARGET_FILE:
        return std::string("cannot write: ") + std::strerror(access.writeError ? access.writeError : EIO);
    case FEIERR_RESERVE_MISMATCH:
        return "its reserve areas differ in size from those of the first cabinet";
    case FEIERR_WRONG_CABINET:
        return "not the next cabinet of the set";
    default:
        return "reading stopped";
    }
}

}  // namespace treepak
