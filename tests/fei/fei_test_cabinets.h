// Cabinet descriptions shared by the reader tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "cab_builder.h"
#include "cabinet/format.h"

namespace feitest {

using NamedBytes = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

// One stored folder holding the given files back to back.
inline testsupport::CabSpec StoredCabinet(const NamedBytes& files, uint16_t type = COMPRESS_NONE) {
    testsupport::CabSpec spec;
    std::vector<uint8_t> stream;
    for (const auto& [name, bytes] : files) {
        testsupport::CabFileSpec f;
        f.name = name;
        f.size = static_cast<uint32_t>(bytes.size());
        f.folderOffset = static_cast<uint32_t>(stream.size());
        spec.files.push_back(f);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    testsupport::CabFolderSpec folder;
    folder.compressionType = type;
    folder.blocks = testsupport::StoredBlocks(stream);
    spec.folders.push_back(folder);
    return spec;
}

}  // namespace feitest
