#include "devices/fileio.h"

#include <cerrno>
#include <cstdio>
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

bool fail(std::string* error, const std::string& path) {
    if (error) *error = path + ": " + std::strerror(errno);
    return false;
}

}  // namespace

bool read_file(const std::string& path, std::string& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, got);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool replace_file(const std::string& path, const std::string& text, std::string* error) {
    // A short temporary name in the same folder, so a long file name cannot
    // push it past the name limit and the rename stays on one file system.
    const std::size_t slash = path.rfind('/');
    std::string tmp = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
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
    // mkstemp creates the file for the owner alone; a settings or HEX file
    // gets the usual permissions of a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(tmp.c_str(), 0666 & ~mask);
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return fail(error, path);
    }
    return true;
}

}  // namespace tessaly
