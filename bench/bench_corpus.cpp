#include "bench_corpus.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace treepak {

namespace {

std::vector<uint8_t> FilesUnder(const char* root, size_t bytes, bool (*wanted)(const std::filesystem::path&)) {
    std::vector<uint8_t> data;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator() && data.size() < bytes;
         it.increment(error)) {
        if (!it->is_regular_file(error) || it->is_symlink(error) || !wanted(it->path())) continue;
        std::ifstream in(it->path(), std::ios::binary);
        data.insert(data.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return data;
}

}  // namespace

std::vector<uint8_t> BenchHeaderText(size_t bytes) {
    std::vector<uint8_t> data =
        FilesUnder("/usr/include", bytes, [](const std::filesystem::path& p) { return p.extension() == ".h"; });
    std::mt19937 rng(1);
    static const char* const kWords[] = {"int ", "return ", "static ", "const ", "void ", "struct ", "(x) ", ";\n"};
    while (data.size() < bytes) {
        const char* word = kWords[rng() % 8];
        data.insert(data.end(), word, word + std::strlen(word));
    }
    data.resize(bytes);
    return data;
}

std::vector<uint8_t> BenchExecutables(size_t bytes) {
    std::vector<uint8_t> data = FilesUnder("/usr/lib/x86_64-linux-gnu", bytes, [](const std::filesystem::path& p) {
        return p.filename().string().find(".so") != std::string::npos;
    });
    std::mt19937 rng(2);
    while (data.size() < bytes) {  // call-heavy stand-in: 0xE8 operands
        data.push_back(0xE8);
        for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(rng() % 4 == 0 ? rng() : 0));
        data.push_back(static_cast<uint8_t>(0x50 + rng() % 8));
    }
    data.resize(bytes);
    return data;
}

}  // namespace treepak
