// The files selected for a build, in walk order: each one's path, its size
// as the selection found it and whether it is to be compressed. A build
// lists up to 65535 files before it writes anything, and their paths would
// be most of its memory. Here the records are packed end to end in 64 KiB
// pages, and every page that fills up moves to an unlinked temporary file
// at its own offset, so the list holds one page (and a bit a file) whatever
// its length; a page that cannot be written out stays in memory. Records
// are read back in list order through readers of one page each.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace treepak {

class FileList {
public:
    static constexpr size_t kPageSize = 64 * 1024;

    FileList() = default;
    ~FileList();
    FileList(const FileList&) = delete;
    FileList& operator=(const FileList&) = delete;

    // Appends a file, to be compressed.
    void Add(std::string_view path, uint64_t size);
    // Empties the list, the walk's count and flatten's names included.
    void Clear();
    int count() const { return count_; }
    // Whether file i is compressed with the type the options choose; the
    // build driver clears it for a file to be stored.
    bool Compress(int i) const { return compress_[static_cast<size_t>(i)]; }
    void SetCompress(int i, bool compress) { compress_[static_cast<size_t>(i)] = compress; }
    // The system's error number of the first page that could not be read
    // back (a reader then ends early), else 0.
    int32_t ReadError() const { return readError_.load(); }
    // Pages held in memory (tests).
    size_t PagesInMemory() const;

    // Files the walk reported, listed or not.
    int found = 0;
    // With flatten: each stored name, and the listed path stored under it.
    std::unordered_map<std::string, std::string> flatNames = {};

    struct Entry {
        const char* path;  // valid until the reader's next call
        uint64_t size;
        int index;
    };

    // Reads the list from its first file on. Readers are independent: any
    // number may run at once, on any threads, once the list is complete.
    class Reader {
    public:
        explicit Reader(const FileList& list) : list_(list) {}
        // The next file; false past the last, or when a page cannot be read.
        bool Next(Entry* entry);

    private:
        bool Take(void* into, size_t count);

        const FileList& list_;
        std::unique_ptr<uint8_t[]> buffer_;  // a page read from the file
        const uint8_t* page_ = nullptr;
        size_t pageIndex_ = 0;      // of the page after page_
        size_t offset_ = kPageSize;  // in page_
        int next_ = 0;
        std::string path_;
    };

private:
    void Append(const void* bytes, size_t count);
    void RetireLastPage();
    bool ReadPage(size_t page, uint8_t* into) const;

    // Index = page number; empty once the page is in the file.
    std::vector<std::unique_ptr<uint8_t[]>> pages_;
    size_t used_ = kPageSize;  // bytes of the last page
    int32_t spool_ = -1;
    bool spoolFailed_ = false;
    int count_ = 0;
    std::vector<bool> compress_;
    mutable std::atomic<int32_t> readError_{0};
};

}  // namespace treepak
