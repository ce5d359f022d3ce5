#include "platform/userplaces.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "qtloop.h"

using namespace tessaly;

TEST(UserPlaces, SecondCopyCannotTakeTheLock) {
    test::ensure_app();
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    {
        SingleInstance first;
        ASSERT_EQ(first.acquire(), LockOutcome::taken);
        SingleInstance second;
        EXPECT_EQ(second.acquire(), LockOutcome::held);
        EXPECT_EQ(second.path(), first.path());
        EXPECT_EQ(second.reason(), "");
    }
    SingleInstance after;  // the first copy has ended
    EXPECT_EQ(after.acquire(), LockOutcome::taken);
}

// Only a lock that a running copy holds counts as another copy; every other
// lock that cannot be taken fails with the reason.
TEST(UserPlaces, LockThatCannotBeMadeFailsWithItsReason) {
    test::ensure_app();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string root = dir.path().toStdString() + "/";
    QFile plain(QString::fromStdString(root + "plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    QFile junk(QString::fromStdString(root + "junk.lock"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a lock\n");
    junk.close();
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(root + "folder.lock")));
    const struct { const char* name; std::string path; const char* reason; } cases[] = {
        {"folder missing", root + "missing/tessaly.lock", "No such file or directory"},
        {"folder is a file", root + "plain/tessaly.lock", "Not a directory"},
        {"a folder in the lock's place", root + "folder.lock", "not the lock of a running copy"},
        {"a file that is no lock", root + "junk.lock", "not the lock of a running copy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SingleInstance lock(c.path);
        EXPECT_EQ(lock.acquire(), LockOutcome::failed);
        EXPECT_EQ(lock.path(), c.path);
        EXPECT_NE(lock.reason().find(c.reason), std::string::npos) << lock.reason();
    }
}

TEST(UserPlaces, FoldersEndWhereExpected) {
    test::ensure_app();
    const std::string program = program_folder();
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(program.back(), '/');
    EXPECT_TRUE(QDir(QString::fromStdString(program)).exists());
    qputenv("XDG_CONFIG_HOME", "/tmp/tessaly-config-home");
    EXPECT_EQ(config_folder(), "/tmp/tessaly-config-home/Tessaly");
}
