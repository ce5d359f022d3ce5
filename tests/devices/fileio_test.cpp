#include "devices/fileio.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <sys/stat.h>

#include "tempfolder.h"

using namespace tessaly;
namespace fs = std::filesystem;

TEST(FileIo, ReadsOnlyRegularFiles) {
    test::TempFolder f;
    ASSERT_TRUE(replace_file(f.file("a.txt"), "abc"));
    std::string bytes;
    EXPECT_TRUE(read_file(f.file("a.txt"), bytes));
    EXPECT_EQ(bytes, "abc");
    ASSERT_EQ(::mkfifo(f.file("pipe").c_str(), 0600), 0);
    // None of these may block, grow without end or count as read.
    for (const std::string& path : {f.file("pipe"), std::string("/dev/zero"), f.path(),
                                    f.file("missing")}) {
        SCOPED_TRACE(path);
        bytes.clear();
        EXPECT_FALSE(read_file(path, bytes));
    }
}

TEST(FileIo, ReplacingKeepsPermissionsAndFollowsLinks) {
    test::TempFolder f;
    ASSERT_TRUE(replace_file(f.file("real.txt"), "one"));
    fs::permissions(f.file("real.txt"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(f.file("real.txt"), f.file("link.txt"));
    ASSERT_TRUE(replace_file(f.file("link.txt"), "two"));
    EXPECT_TRUE(fs::is_symlink(f.file("link.txt")));
    std::string bytes;
    ASSERT_TRUE(read_file(f.file("real.txt"), bytes));
    EXPECT_EQ(bytes, "two");
    EXPECT_EQ(fs::status(f.file("real.txt")).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(f.path()), fs::directory_iterator()), 2);
}

TEST(FileIo, FailedReplaceLeavesNoTemporary) {
    test::TempFolder f;
    std::string error;
    EXPECT_FALSE(replace_file(f.file("no/such/folder.txt"), "x", &error));
    EXPECT_NE(error.find("folder.txt"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(f.path()), fs::directory_iterator()), 0);
}
