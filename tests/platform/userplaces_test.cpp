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
        ASSERT_TRUE(first.acquire());
        SingleInstance second;
        EXPECT_FALSE(second.acquire());
    }
    SingleInstance after;  // the first copy has ended
    EXPECT_TRUE(after.acquire());
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
