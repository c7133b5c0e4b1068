// Entries continued from an earlier cabinet are listed where they begin:
// in a later cabinet of the walk they repeat an entry already listed, and
// only on the named cabinet do they stand for themselves.
#include "app/expand/list_set.h"

#include "app/common/engine_memory.h"
#include "app/common/name_encoding.h"
#include "app/common/path_helpers.h"
#include "app/expand/expand_files.h"
#include "app/expand/next_cabinet.h"
#include "app/expand/reader_failure.h"
#include "cabinet/format.h"
#include "fei/fei.h"

namespace treepak {

namespace {

constexpr int kCpuType = 1;

struct ListWalk {
    CabinetListing* listing = nullptr;
    bool first = false;
    size_t cabinet = 0;
    size_t firstFolderRecord = 0;  // of this cabinet, in the listing's folders
    uint16_t folderCount = 0;
    ReaderPlace place;
};

bool ContinuedFromPrevious(uint16_t folder) {
    return folder == FOLDER_CONTINUED_FROM_PREV || folder == FOLDER_CONTINUED_PREV_AND_NEXT;
}

uint16_t FolderOf(uint16_t stored, uint16_t folderCount) {
    if (ContinuedFromPrevious(stored)) return 0;
    if (stored == FOLDER_CONTINUED_TO_NEXT) return folderCount > 0 ? folderCount - 1 : 0;
    return stored;
}

int ListNotify(int kind, FEINotification* n) {
    auto& walk = *static_cast<ListWalk*>(n->userContext);
    CabinetListing& listing = *walk.listing;
    switch (kind) {
    case FEI_NOTIFY_CABINET_INFO: {
        walk.place.headerRead = true;
        walk.place.declaredSize = n->offset;
        ListedCabinet& cabinet = listing.cabinets.back();
        cabinet.size = n->offset;
        cabinet.setId = n->setId;
        cabinet.index = n->cabinetIndex;
        cabinet.flags = n->flags;
        cabinet.previous = n->text4 ? n->text4 : "";
        cabinet.next = n->text1 ? n->text1 : "";
        cabinet.headerReserve = n->headerReserveSize;
        cabinet.folderReserve = n->folderReserveSize;
        cabinet.dataReserve = n->dataReserveSize;
        break;
    }
    case FEI_NOTIFY_FOLDER_ENTRY:
        listing.folders.push_back(ListedFolder{walk.cabinet, n->folderIndex, n->compressionType, n->blockCount});
        walk.folderCount = static_cast<uint16_t>(n->folderIndex + 1);
        break;
    case FEI_NOTIFY_FILE_ENTRY:
        if (ContinuedFromPrevious(n->folderIndex) && !walk.first) break;
        {
            ListedFile file;
            file.entry.name = ExtractedName(n->text1 ? n->text1 : "", n->attributes);
            file.entry.size = static_cast<uint32_t>(n->value);
            file.entry.offset = n->offset;
            file.entry.folder = n->folderIndex;
            file.entry.date = n->date;
            file.entry.time = n->time;
            file.entry.attributes = n->attributes;
            file.cabinet = walk.cabinet;
            file.folder = FolderOf(n->folderIndex, walk.folderCount);
            if (file.folder < walk.folderCount) file.folderRecord = walk.firstFolderRecord + file.folder;
            file.continued = n->folderIndex >= FOLDER_CONTINUED_FROM_PREV;
            listing.files.push_back(std::move(file));
        }
        break;
    default:
        break;
    }
    return FEI_REPLY_CONTINUE;
}

}  // namespace

std::string CompressionName(uint16_t typeWord) {
    switch (CompressKind(typeWord)) {
    case COMPRESS_NONE:
        return "none";
    case COMPRESS_DEFLATE:
        return "deflate";
    case COMPRESS_QUANTUM:
        return "quantum:" + std::to_string(CompressWindowBits(typeWord));
    case COMPRESS_LZX:
        return "lzx:" + std::to_string(CompressWindowBits(typeWord));
    default:
        return "unknown:" + std::to_string(typeWord);
    }
}

bool ListCabinetSet(const std::string& cabinetPath, const std::string& shownPath, CabinetListing* listing,
                    ReaderReportFn report, void* reportContext) {
    *listing = CabinetListing{};
    SetNamedCabinet(cabinetPath.c_str());
    ErrorRecord error{};
    FEIContext* reader =
        FEICreate(ReaderAlloc, EngineFree, ExpandOpen, ExpandRead, ExpandWrite, ExpandClose, ExpandSeek, kCpuType, &error);
    if (reader == nullptr) {
        report(reportContext, "out of memory");
        return false;
    }
    std::string name(FileNamePart(cabinetPath));
    const std::string directory = cabinetPath.substr(0, cabinetPath.size() - name.size());
    auto shown = [&](const std::string& n) {
        return directory + n == cabinetPath && !shownPath.empty() ? shownPath : directory + n;
    };
    ListWalk walk;
    walk.listing = listing;
    for (walk.first = true;; walk.first = false) {
        if (!walk.first) {
            std::string reason;
            const std::string found = FindNextCabinet(directory, name, &reason);
            if (found.empty()) {
                report(reportContext, shown(name) + ": " + reason);
                break;
            }
            name = found;
        }
        if (directory.size() + name.size() >= FEI_NAME_BUFFER_SIZE) {
            report(reportContext, shown(name) + ": path too long for the reader");
            break;
        }
        walk.cabinet = listing->cabinets.size();
        walk.folderCount = 0;
        walk.firstFolderRecord = listing->folders.size();
        walk.place = ReaderPlace{};
        listing->cabinets.emplace_back();
        listing->cabinets.back().name = name;
        ForgetCabinetAccess();
        if (!FEIList(reader, name.c_str(), directory.c_str(), ListNotify, nullptr, &walk)) {
            report(reportContext, shown(name) + ": " + DescribeReaderFailure(error, walk.place, LastCabinetAccess()));
            if (!walk.place.headerRead) listing->cabinets.pop_back();
            break;
        }
        const ListedCabinet& read = listing->cabinets.back();
        if (!walk.first) {
            const ListedCabinet& before = listing->cabinets[walk.cabinet - 1];
            if (read.setId != before.setId || read.index != before.index + 1u) {
                report(reportContext, shown(name) + ": not the next cabinet of the set");
                break;
            }
        }
        if (read.next.empty()) {
            listing->complete = true;
            break;
        }
        name = read.next;
    }
    FEIDestroy(reader);
    return !listing->cabinets.empty();
}

}  // namespace treepak
