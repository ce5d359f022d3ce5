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
#include <sys/file.h>
#include <sys/stat.h>
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

const char* const not_a_file =
    "it is not a regular file, so it is not the lock of a running copy of Tessaly";

// Something other than a regular file stands at path (a folder, a FIFO, a
// device). QLockFile reads a lock it cannot create, and reading a FIFO waits
// for a writer for ever: this is looked at before.
bool stands_but_is_no_file(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
}

// Why a lock that names no running copy is still there after an attempt to
// remove it; empty when a process holds it locked, as a copy does from the
// moment it creates its lock, before it has written its name.
std::string removal_fault(const std::string& lockpath) {
    struct stat st {};
    if (::lstat(lockpath.c_str(), &st) != 0) return std::strerror(errno);
    if (!S_ISREG(st.st_mode)) return not_a_file;
    const int fd = ::open(lockpath.c_str(), O_RDONLY | O_CLOEXEC);
    const bool held = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    if (fd >= 0) ::close(fd);
    if (held) return "";
    const std::string cannot = "it names no running copy of Tessaly but cannot be removed";
    const std::string folder = QFileInfo(QString::fromStdString(lockpath)).absolutePath().toStdString();
    for (const std::string& p : {lockpath, folder})
        if (::access(p.c_str(), W_OK) != 0) return cannot + ": " + std::strerror(errno);
    return cannot;
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

// One try: taken, failed (with the reason) when no lock can be made there,
// or held while a file stands in its place.
LockOutcome SingleInstance::attempt() {
    if (lock_->tryLock(0)) return LockOutcome::taken;
    if (lock_->error() == QLockFile::LockFailedError) return LockOutcome::held;
    reason_ = creation_fault(path_);
    return LockOutcome::failed;
}

LockOutcome SingleInstance::acquire() {
    reason_.clear();
    if (stands_but_is_no_file(path_)) {
        reason_ = not_a_file;
        return LockOutcome::failed;
    }
    // QLockFile itself removes a lock whose process is gone; one that names no
    // process at all (empty or damaged) is taken over below.
    const LockOutcome outcome = attempt();
    if (outcome != LockOutcome::held || names_a_running_copy(*lock_)) return outcome;
    return take_over();
}

// Two copies that meet the same lost lock take it over one after the other,
// so that neither removes the lock the other has just made. The guard is not
// QLockFile's own ".rmlock": tryLock may wait for that one.
LockOutcome SingleInstance::take_over() {
    const std::string guard_path = path_ + ".takeover";
    if (stands_but_is_no_file(guard_path)) {
        reason_ = guard_path + " beside it is not a regular file";
        return LockOutcome::failed;
    }
    QLockFile guard(QString::fromStdString(guard_path));
    if (!guard.tryLock(2000)) {
        reason_ = guard.error() == QLockFile::LockFailedError ? "another start of Tessaly is taking it over"
                                                              : creation_fault(path_);
        return LockOutcome::failed;
    }
    qint64 pid = 0;
    QString host, app;
    LockOutcome outcome = attempt();
    if (outcome != LockOutcome::held || lock_->getLockInfo(&pid, &host, &app)) return outcome;
    const bool removed = lock_->removeStaleLockFile();
    outcome = attempt();
    // Once removed, a lock that stands again is a copy's that started just then.
    if (outcome != LockOutcome::held || removed) return outcome;
    reason_ = removal_fault(path_);
    return reason_.empty() ? LockOutcome::held : LockOutcome::failed;
}

}  // namespace tessaly
