#include "platform/userplaces.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

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

SingleInstance::SingleInstance() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    lock_ = std::make_unique<QLockFile>(QDir(dir).filePath(QStringLiteral("tessaly.lock")));
    // Never stale by age: a copy that runs for hours still holds it. A lock
    // left by a copy that is no longer running is taken over all the same.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::acquire() { return lock_->tryLock(0); }

}  // namespace tessaly
