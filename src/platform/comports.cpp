#include "comports.h"

#include <cctype>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

// A ports file is a handful of lines; anything past this is not one we wrote.
constexpr std::size_t max_ports_file = 64 * 1024;

struct DefaultRange {
    int first;
    int count;
    const char* prefix;
};

constexpr DefaultRange default_ranges[] = {
    {1, 8, "/dev/ttyS"},
    {9, 4, "/dev/ttyUSB"},
    {13, 4, "/dev/ttyACM"},
};
static_assert(default_ranges[0].first == first_comport &&
                  default_ranges[2].first + default_ranges[2].count - 1 == last_comport,
              "the default table covers every COM number");

std::string_view trim(std::string_view s) {
    const char* blanks = " \t\r\n";
    const auto b = s.find_first_not_of(blanks);
    if (b == std::string_view::npos) return {};
    const auto e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

// "COMn" in any case, n a port number (leading zeros allowed); 0 otherwise.
int port_number(std::string_view name) {
    if (name.size() < 4 || name.size() > 8) return 0;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
    int n = 0;
    for (char c : name.substr(3)) {
        if (c < '0' || c > '9') return 0;
        n = n * 10 + (c - '0');
    }
    return n >= first_comport && n <= last_comport ? n : 0;
}

// The file's text, or empty when it is missing, unreadable or not a plain file
// (a FIFO or a device must not block or flood the start-up).
std::string read_small_file(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {};
    std::string text;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        char buf[4096];
        while (text.size() < max_ports_file) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0) break;
            text.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    if (text.size() > max_ports_file) text.resize(max_ports_file);
    return text;
}

}  // namespace

ComPortMap::ComPortMap() {
    for (const auto& r : default_ranges)
        for (int i = 0; i < r.count; ++i)
            paths_[r.first - 1 + i] = r.prefix + std::to_string(i);
}

ComPortMap ComPortMap::from_folder(const std::string& folder) {
    ComPortMap map;
    map.override_lines(read_small_file(folder + "/" + ports_filename));
    return map;
}

ComPortLookup ports_file_lookup(const std::string& folder) {
    return [folder] { return ComPortMap::from_folder(folder); };
}

void ComPortMap::override_lines(std::string_view text) {
    while (!text.empty()) {
        const auto nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);

        const auto eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        const int n = port_number(trim(line.substr(0, eq)));
        const std::string_view dev = trim(line.substr(eq + 1));
        if (n == 0 || dev.empty() || dev.find('\0') != std::string_view::npos) continue;
        paths_[n - 1] = std::string(dev);
    }
}

std::string ComPortMap::path(int n) const {
    if (n < first_comport || n > last_comport) return {};
    return paths_[n - 1];
}

}  // namespace tessaly
