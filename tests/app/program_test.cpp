// The program as started from its executable: it reads the device list from
// its own folder and lets only one copy run.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

#include "qt_app.h"
#include "tempfolder.h"

#include <sys/stat.h>

namespace {

// A copy of the program in a folder of its own, beside the given device list.
struct Installed {
    explicit Installed(const QByteArray& devicelist) {
        EXPECT_TRUE(QFile::copy(QStringLiteral(TESSALY_BIN_DIR "/tessaly"), exe()));
        QFile list(in_folder("quarndevices.txt"));
        EXPECT_TRUE(list.open(QIODevice::WriteOnly));
        list.write(devicelist);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), in_folder("config"));
        const QString runtime_path = QString::fromStdString(runtime.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_path);
        QFile::setPermissions(runtime_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString in_folder(const std::string& name) const { return QString::fromStdString(folder.file(name)); }
    QString exe() const { return in_folder("tessaly"); }
    QString lock() const { return QString::fromStdString(runtime.file("tessaly.lock")); }
    // A copy is up once it has written its settings.
    void wait_until_up(QProcess& p) const {
        const QString settings = in_folder("config/Tessaly/settings.reg");
        for (int i = 0; i < 100 && !QFile::exists(settings); ++i) p.waitForFinished(100);
    }
    void start(QProcess& p) const {
        p.setProcessEnvironment(env);
        p.start(exe(), {});
        EXPECT_TRUE(p.waitForStarted(5000));
    }

    tessaly::test::TempFolder folder;
    tessaly::test::TempFolder runtime;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
};

}  // namespace

TEST(Program, DeviceListWithoutDevicesEndsWithoutAWindow) {
    Installed app("; nothing but a comment\r\n");
    QProcess p;
    app.start(p);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_NE(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardError().contains("quarndevices.txt"));
}

TEST(Program, SecondCopyEndsAtOnceAndQuietly) {
    Installed app("model: ONE\r\nflash: 1024\r\neeprom: 64\r\nconfigerased: 3FFF\r\n");
    QProcess first;
    app.start(first);
    app.wait_until_up(first);
    ASSERT_EQ(first.state(), QProcess::Running);
    QProcess second;
    app.start(second);
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardError().isEmpty());
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished(5000);
}

// A copy that is killed leaves its lock behind, written or (killed at the
// wrong moment) still empty: the next start takes it and runs.
TEST(Program, LockOfAKilledCopyIsTakenByTheNextStart) {
    for (const bool emptied : {false, true}) {
        SCOPED_TRACE(emptied ? "emptied" : "as written");
        Installed app("model: ONE\r\nflash: 1024\r\neeprom: 64\r\nconfigerased: 3FFF\r\n");
        const QString lock = app.lock();
        QProcess first;
        app.start(first);
        app.wait_until_up(first);
        first.kill();
        ASSERT_TRUE(first.waitForFinished(5000));
        ASSERT_TRUE(QFile::exists(lock));
        if (emptied) {
            ASSERT_TRUE(QFile(lock).resize(0));
        }
        QProcess next;
        app.start(next);
        const QByteArray pid = QByteArray::number(next.processId());
        QByteArray text;
        for (int i = 0; i < 100 && !text.startsWith(pid + "\n"); ++i) {
            next.waitForFinished(100);
            QFile f(lock);
            text = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
        EXPECT_TRUE(text.startsWith(pid + "\n")) << text.toStdString();
        EXPECT_EQ(next.state(), QProcess::Running);
        next.kill();
        next.waitForFinished(5000);
    }
}

// A folder or a FIFO has the lock's name. Reading a FIFO would wait for a
// writer for ever: the start must get to its error box all the same.
TEST(Program, LockThatCannotBeTakenIsToldAndNotTakenForASecondCopy) {
    for (const bool fifo : {false, true}) {
        SCOPED_TRACE(fifo ? "FIFO" : "folder");
        Installed app("model: ONE\r\nflash: 1024\r\neeprom: 64\r\nconfigerased: 3FFF\r\n");
        const QString lock = app.lock();
        ASSERT_TRUE(fifo ? ::mkfifo(QFile::encodeName(lock).constData(), 0600) == 0 : QDir().mkdir(lock));
        QProcess p;
        p.setReadChannel(QProcess::StandardError);
        app.start(p);
        QByteArray err;
        while (!err.contains('\n') && p.waitForReadyRead(10000)) err += p.readAllStandardError();
        err += p.readAllStandardError();
        EXPECT_TRUE(err.contains(lock.toUtf8())) << err.toStdString();
        EXPECT_TRUE(err.contains("not a regular file, so it is not the lock of a running copy"))
            << err.toStdString();
        // The error box is open: the start has not ended quietly.
        EXPECT_EQ(p.state(), QProcess::Running);
        p.kill();
        p.waitForFinished(5000);
    }
}
