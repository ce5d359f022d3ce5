#include "platform/userplaces.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QLockFile>
#include <QSysInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include "qtloop.h"
#include "tempfolder.h"
#include "unblocking_fifo.h"

using namespace tessaly;

namespace {

void write_file(const std::string& path, const QByteArray& text) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(text);
}

// A lock's text as a copy with this process id writes it.
QByteArray lock_text(qint64 pid) {
    return QByteArray::number(pid) + "\n" + QCoreApplication::applicationFilePath().toUtf8() + "\n" +
           QSysInfo::machineHostName().toUtf8() + "\n";
}

qint64 gone_pid() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

QByteArray read_file(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

qint64 lock_pid(const std::string& path) {
    qint64 pid = 0;
    QString host, app;
    QLockFile(QString::fromStdString(path)).getLockInfo(&pid, &host, &app);
    return pid;
}

}  // namespace

TEST(UserPlaces, SecondCopyCannotTakeTheLock) {
    test::ensure_app();
    const test::TempFolder runtime;
    QFile::setPermissions(QString::fromStdString(runtime.path()), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_RUNTIME_DIR", runtime.path().c_str());
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

// A lock that names no running copy is left from a copy that ended before it
// could remove it (or even write it): the start takes it over.
TEST(UserPlaces, LockOfNoRunningCopyIsTakenOver) {
    test::ensure_app();
    const struct { const char* name; QByteArray text; } cases[] = {
        {"empty", ""},
        {"damaged", "not a lock\n"},
        {"a copy that is gone", lock_text(gone_pid())},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const test::TempFolder dir;
        const std::string path = dir.file("tessaly.lock");
        write_file(path, c.text);
        SingleInstance lock(path);
        EXPECT_EQ(lock.acquire(), LockOutcome::taken);
        EXPECT_EQ(lock.reason(), "");
        EXPECT_EQ(lock_pid(path), QCoreApplication::applicationPid());
        SingleInstance second(path);
        EXPECT_EQ(second.acquire(), LockOutcome::held);
        EXPECT_EQ(dir.names(), std::vector<std::string>{"tessaly.lock"});
    }
}

// A running copy's lock is never taken: one that names it, and one that its
// maker holds open while it has not yet written its name (or whose text was
// spoilt while it runs).
TEST(UserPlaces, LockOfARunningProcessIsNeverTaken) {
    test::ensure_app();
    const test::TempFolder dir;
    const std::string named = dir.file("named.lock");
    write_file(named, lock_text(QCoreApplication::applicationPid()));
    const std::string open = dir.file("open.lock");
    const int fd = ::open(open.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    for (const std::string& path : {named, open}) {
        SCOPED_TRACE(path);
        const QByteArray before = read_file(path);
        SingleInstance lock(path);
        EXPECT_EQ(lock.acquire(), LockOutcome::held);
        EXPECT_EQ(lock.reason(), "");
        EXPECT_EQ(read_file(path), before);
    }
    ::close(fd);
}

// Every lock that cannot be made there fails with the reason.
TEST(UserPlaces, LockThatCannotBeMadeFailsWithItsReason) {
    test::ensure_app();
    const test::TempFolder dir;
    const std::string root = dir.path() + "/";
    QFile plain(QString::fromStdString(root + "plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(root + "folder.lock")));
    ASSERT_EQ(::symlink("/dev/null", (root + "device.lock").c_str()), 0);
    const test::UnblockingFifo fifo(root + "fifo.lock");
    ASSERT_TRUE(fifo.made());
    const char* const no_file = "not a regular file, so it is not the lock of a running copy";
    const struct { const char* name; std::string path; const char* reason; } cases[] = {
        {"folder missing", root + "missing/tessaly.lock", "No such file or directory"},
        {"folder is a file", root + "plain/tessaly.lock", "Not a directory"},
        {"a folder in the lock's place", root + "folder.lock", no_file},
        {"a FIFO in the lock's place", root + "fifo.lock", no_file},
        {"a device in the lock's place", root + "device.lock", no_file},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SingleInstance lock(c.path);
        EXPECT_EQ(lock.acquire(), LockOutcome::failed);
        EXPECT_EQ(lock.path(), c.path);
        EXPECT_NE(lock.reason().find(c.reason), std::string::npos) << lock.reason();
    }
    EXPECT_TRUE(QFileInfo(QString::fromStdString(root + "folder.lock")).isDir());
    EXPECT_TRUE(QFileInfo(QString::fromStdString(root + "fifo.lock")).exists());
}

TEST(UserPlaces, FoldersEndWhereExpected) {
    test::ensure_app();
    const std::string program = program_folder();
    ASSERT_FALSE(program.empty());
    EXPECT_EQ(program.back(), '/');
    EXPECT_TRUE(QDir(QString::fromStdString(program)).exists());
    const test::TempFolder home;
    qputenv("XDG_CONFIG_HOME", home.path().c_str());
    EXPECT_EQ(config_folder(), home.file("Tessaly"));
}
