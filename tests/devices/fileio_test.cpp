#include "devices/fileio.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "tempfolder.h"

using namespace tessaly;
namespace fs = std::filesystem;

TEST(FileIo, ReadsOnlyRegularFilesAndSaysWhyNot) {
    test::TempFolder f;
    ASSERT_TRUE(replace_file(f.file("a.txt"), "abc"));
    std::string bytes, why = "(unchanged)";
    EXPECT_TRUE(read_file(f.file("a.txt"), bytes, &why));
    EXPECT_EQ(bytes, "abc");
    EXPECT_EQ(why, "(unchanged)");
    ASSERT_EQ(::mkfifo(f.file("pipe").c_str(), 0600), 0);
    ASSERT_TRUE(replace_file(f.file("huge"), ""));
    fs::resize_file(f.file("huge"), max_read_size + 1);  // sparse: nothing is written
    ASSERT_TRUE(replace_file(f.file("locked"), "abc"));
    fs::permissions(f.file("locked"), fs::perms::none);
    const bool root = ::geteuid() == 0;  // reads a file without read permission
    const std::string no_file = "It is not a regular file";
    const struct { std::string path; std::string why; } cases[] = {
        {f.file("pipe"), no_file},
        {"/dev/zero", no_file},
        {f.path(), no_file},
        {f.file("missing"), "No such file or directory"},
        {f.file("huge"), "It is larger than 64 MiB (67108864 bytes), the most that is read"},
        {f.file("locked"), root ? "" : "Permission denied"},
    };
    // None of these may block, grow without end or count as read.
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        if (c.why.empty()) continue;
        bytes.clear();
        why.clear();
        EXPECT_FALSE(read_file(c.path, bytes, &why));
        EXPECT_EQ(why, c.why);
        EXPECT_FALSE(read_file(c.path, bytes)) << "no reason asked for";
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
