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
inline testsupport::CabLayout StoredCabinet(const NamedBytes& files, uint16_t type = COMPRESS_NONE) {
    testsupport::CabLayout layout;
    std::vector<uint8_t> stream;
    for (const auto& [name, bytes] : files) {
        testsupport::CabFileLayout f;
        f.name = name;
        f.size = static_cast<uint32_t>(bytes.size());
        f.folderOffset = static_cast<uint32_t>(stream.size());
        layout.files.push_back(f);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
    }
    testsupport::CabFolderLayout folder;
    folder.compressionType = type;
    folder.blocks = testsupport::StoredBlocks(stream);
    layout.folders.push_back(folder);
    return layout;
}

}  // namespace feitest
