#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cab_parser.h"
#include "cabinet/format.h"
#include "test_client.h"
#include "test_support.h"

namespace treepak {

class FciTest : public ::testing::Test {
protected:
    testsupport::ScratchDir scratch;
    fcitest::Client client;
    ErrorRecord errors{};
    FCIContext* context = nullptr;

    void SetUp() override { client.dir = scratch.str(); }
    void TearDown() override {
        if (context != nullptr) FCIDestroy(context);
        EXPECT_TRUE(fcitest::TempFilesLeft(client.dir).empty());
        EXPECT_EQ(client.liveAllocations, 0);
        EXPECT_TRUE(client.openHandles.empty());
    }

    CabParams Params(const std::string& name = "out.cab") { return fcitest::DefaultParams(client.dir, name); }
    bool Create(const CabParams& params) {
        context = fcitest::Create(&client, &errors, params);
        return context != nullptr;
    }
    int Destroy() {
        int r = FCIDestroy(context);
        context = nullptr;
        return r;
    }
    std::string Source(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::filesystem::path p = scratch.path() / "src" / name;
        testsupport::WriteFileBytes(p, bytes);
        sources[name] = bytes;
        return p.string();
    }
    int Add(const std::string& name, const std::vector<uint8_t>& bytes,
            uint16_t type = COMPRESS_NONE, int32_t execute = 0) {
        return fcitest::AddFile(context, Source(name, bytes), name, type, execute);
    }
    std::vector<uint8_t> Bytes(const std::string& cabinet) { return testsupport::ReadFileBytes(scratch.path() / cabinet); }
    testsupport::ParsedCabinet Parse(const std::string& cabinet) {
        testsupport::ParsedCabinet cab;
        const std::string error = testsupport::ParseCabinet(Bytes(cabinet), &cab);
        EXPECT_EQ(error, "") << cabinet;
        return cab;
    }
    std::vector<testsupport::ParsedCabinet> ParseSet(const std::vector<std::string>& names) {
        std::vector<testsupport::ParsedCabinet> set;
        for (const std::string& n : names) set.push_back(Parse(n));
        std::map<std::string, std::vector<uint8_t>> files;
        EXPECT_EQ(testsupport::ExtractSet(set, &files), "");
        EXPECT_EQ(files.size(), sources.size());
        for (const auto& [name, bytes] : sources) EXPECT_TRUE(files[name] == bytes) << name;
        return set;
    }
    std::vector<fcitest::StatusReport> Reports(uint32_t kind) const {
        std::vector<fcitest::StatusReport> out;
        for (const auto& r : client.status)
            if (r.kind == kind) out.push_back(r);
        return out;
    }

    std::map<std::string, std::vector<uint8_t>> sources;
};

}  // namespace treepak
