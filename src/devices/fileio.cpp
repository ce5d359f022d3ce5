#include "devices/fileio.h"

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

bool write_all(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string too_large() {
    return "It is larger than " + std::to_string(max_read_size / (1024 * 1024)) + " MiB (" +
           std::to_string(max_read_size) + " bytes), the most that is read";
}

// Why a file of this kind and size is not read; empty when it is.
std::string unreadable_kind(const struct stat& st) {
    if (!S_ISREG(st.st_mode)) return "It is not a regular file";
    if (st.st_size > max_read_size) return too_large();
    return "";
}

bool fail(std::string* error, const std::string& path, const char* why = nullptr) {
    if (error) *error = path + ": " + (why ? why : std::strerror(errno));
    return false;
}

}  // namespace

bool read_file(const std::string& path, std::string& bytes, std::string* why) {
    const auto refuse = [why](std::string reason) {
        if (why) *why = std::move(reason);
        return false;
    };
    // A named pipe or a device is refused before it is opened: opening one
    // can wait or act on the device. The check is made again on what was
    // opened, in case the name was given to something else in between.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return refuse(std::strerror(errno));
    std::string fault = unreadable_kind(st);
    if (!fault.empty()) return refuse(fault);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return refuse(std::strerror(errno));
    fault = ::fstat(fd, &st) == 0 ? unreadable_kind(st) : std::strerror(errno);
    char buffer[65536];
    while (fault.empty()) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fault = std::strerror(errno);
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        if (bytes.size() > static_cast<std::size_t>(max_read_size)) fault = too_large();  // grew while read
    }
    ::close(fd);
    return fault.empty() || refuse(fault);
}

bool replace_file(const std::string& path, const std::string& text, std::string* error) {
    // Through a symbolic link the file it points to is replaced, not the link.
    char resolved[PATH_MAX];
    const std::string target = ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    // The rename below would put a file in the place of whatever stands at the
    // path: a folder, a pipe or a device stays, and so does a write-protected
    // file (no write permission, or one that this user may not write).
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return fail(error, path, "not a regular file");
    if (exists && ::access(target.c_str(), W_OK) != 0) return fail(error, path);
    if (exists && (old.st_mode & 0222) == 0) {
        errno = EACCES;
        return fail(error, path);
    }
    // A short temporary name in the same folder, so a long file name cannot
    // push it past the name limit and the rename stays on one file system.
    const std::size_t slash = target.rfind('/');
    std::string tmp = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
                      ".tessaly-XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0) return fail(error, path);
    bool written = write_all(fd, text) && ::fsync(fd) == 0;
    int saved = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        saved = errno;
    }
    if (!written) {
        ::unlink(tmp.c_str());
        errno = saved;
        return fail(error, path);
    }
    // mkstemp creates the file for the owner alone: a file that is replaced
    // keeps its permissions, a new one gets the usual ones.
    if (exists) {
        ::chmod(tmp.c_str(), old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::chmod(tmp.c_str(), 0666 & ~mask);
    }
    if (std::rename(tmp.c_str(), target.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return fail(error, path);
    }
    return true;
}

bool rename_to_free_name(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename. Only one copy of the
    // program runs, so nothing makes the name between this look and the rename.
    struct stat st {};
    if (::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace tessaly
