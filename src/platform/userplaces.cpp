#include "platform/userplaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace tessaly {
namespace {

std::string with_slash(const QString& folder) {
    std::string s = folder.toStdString();
    if (s.empty() || s.back() != '/') s += '/';
    return s;
}

}  // namespace

std::string program_folder() {
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QString real = exe.canonicalFilePath();
    return with_slash(QFileInfo(real.isEmpty() ? exe.absoluteFilePath() : real).absolutePath());
}

std::string config_folder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Tessaly"))
        .toStdString();
}

namespace {

std::string runtime_lock_path() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return QDir(dir).filePath(QStringLiteral("tessaly.lock")).toStdString();
}

// Why a file cannot be made beside the lock: tries to create and write one.
std::string creation_fault(const std::string& lockpath) {
    const std::string probe = lockpath + ".probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return std::strerror(errno);
    const std::string line(256, '\n');
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()) &&
                         ::fsync(fd) == 0;
    const int e = errno;
    ::close(fd);
    ::unlink(probe.c_str());
    return written ? "the lock file could not be written" : std::strerror(e);
}

// A lock that a running copy holds names that copy; wait a moment for a copy
// that is starting at this very time to write its name.
bool names_a_running_copy(const QLockFile& lock) {
    qint64 pid = 0;
    QString host, app;
    if (lock.getLockInfo(&pid, &host, &app)) return true;
    QThread::msleep(200);
    return lock.getLockInfo(&pid, &host, &app);
}

}  // namespace

SingleInstance::SingleInstance() : SingleInstance(runtime_lock_path()) {}

SingleInstance::SingleInstance(const std::string& lockpath)
    : path_(lockpath), lock_(std::make_unique<QLockFile>(QString::fromStdString(lockpath))) {
    // Never stale by age: a copy that runs for hours still holds it. A lock
    // left by a copy that is no longer running is taken over all the same.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

LockOutcome SingleInstance::acquire() {
    reason_.clear();
    if (lock_->tryLock(0)) return LockOutcome::taken;
    if (lock_->error() == QLockFile::LockFailedError) {
        if (names_a_running_copy(*lock_)) return LockOutcome::held;
        reason_ = "it exists but is not the lock of a running copy of Tessaly";
        return LockOutcome::failed;
    }
    reason_ = creation_fault(path_);
    return LockOutcome::failed;
}

}  // namespace tessaly
