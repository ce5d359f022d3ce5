#include "devices/fileio.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "ordinary_user.h"
#include "tempfolder.h"

using namespace tessaly;
namespace fs = std::filesystem;

namespace {

// None of these may block, grow without end or count as read.
void expect_unread(const std::string& path, const std::string& reason) {
    SCOPED_TRACE(path);
    std::string bytes, why;
    EXPECT_FALSE(read_file(path, bytes, &why));
    EXPECT_EQ(why, reason);
    EXPECT_FALSE(read_file(path, bytes)) << "no reason asked for";
}

}  // namespace

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
    const std::string no_file = "It is not a regular file";
    expect_unread(f.file("pipe"), no_file);
    expect_unread("/dev/zero", no_file);
    expect_unread(f.path(), no_file);
    expect_unread(f.file("missing"), "No such file or directory");
    expect_unread(f.file("huge"), "It is larger than 64 MiB (67108864 bytes), the most that is read");

    // Root reads a file without read permission: as root this is read by the
    // ordinary user, who owns the file and its folder, so only the file's
    // permission bits refuse it.
    ASSERT_TRUE(replace_file(f.file("locked"), "abc"));
    fs::permissions(f.file("locked"), fs::perms::none);
    ASSERT_TRUE(test::hand_to_ordinary_user(f.path()));
    const auto checks = [&] {
        ASSERT_EQ(::access(f.path().c_str(), X_OK), 0) << f.path() << ": " << std::strerror(errno);
        expect_unread(f.file("locked"), "Permission denied");
    };
    EXPECT_TRUE(test::as_ordinary_user(checks));
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
