#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/build/file_list.h"
#include "test_support.h"

namespace treepak {

namespace fs = std::filesystem;

// Paths of every length up to a few hundred bytes, so that records start,
// end and are cut at every place of a page, one longer than a page, and
// sizes past 32 bits: they come back in order from the unlinked file,
// through two readers at once, and only the page being filled stays in
// memory.
TEST(FileList, RecordsComeBackInOrderFromTheSpool) {
    testsupport::ScratchDir tmp;
    setenv("TMP", tmp.str().c_str(), 1);
    std::vector<std::string> paths;
    FileList list;
    for (int i = 0; i < 3000; ++i) {
        paths.push_back(std::string(i % 301 + (i == 1500 ? FileList::kPageSize + 9 : 0), 'a' + i % 26) +
                        std::to_string(i));
        list.Add(paths.back(), static_cast<uint64_t>(i) << 22);
    }
    EXPECT_EQ(list.count(), 3000);
    EXPECT_EQ(list.PagesInMemory(), 1u);
    EXPECT_TRUE(fs::is_empty(tmp.path()));
    list.SetCompress(7, false);
    EXPECT_FALSE(list.Compress(7));
    EXPECT_TRUE(list.Compress(8));

    FileList::Reader ahead(list), behind(list);
    FileList::Entry a{}, b{};
    ASSERT_TRUE(ahead.Next(&a));
    for (int i = 0; i < 3000; ++i) {
        ASSERT_TRUE(behind.Next(&b));
        ASSERT_EQ(b.path, paths[i]);
        ASSERT_EQ(b.size, static_cast<uint64_t>(i) << 22);
        ASSERT_EQ(b.index, i);
        ASSERT_EQ(ahead.Next(&a), i + 1 < 3000);
    }
    EXPECT_FALSE(behind.Next(&b));
    EXPECT_EQ(list.ReadError(), 0);

    list.Clear();
    FileList::Reader none(list);
    EXPECT_FALSE(none.Next(&a));
    list.Add("only", 1);
    FileList::Reader one(list);
    ASSERT_TRUE(one.Next(&a));
    EXPECT_STREQ(a.path, "only");
    unsetenv("TMP");
}

}  // namespace treepak
