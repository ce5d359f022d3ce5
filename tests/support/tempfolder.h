// The one way a test gets a folder to write in: a fresh folder under the
// system's temporary folder ($TMPDIR, else /tmp), made by mkdtemp so that two
// runs of the suite side by side, or two tests at once, never meet in it, and
// removed with all it holds when the test is done. Plain C++: the core tests
// have no Qt.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly::test {

class TempFolder {
public:
    // tag, if given, joins the name. Names stay short: some tests see how
    // the program shows a long path.
    explicit TempFolder(const std::string& tag = "") {
        const std::string name = "tessaly-" + (tag.empty() ? "" : tag + "-") + "XXXXXX";
        std::string pattern = (std::filesystem::temp_directory_path() / name).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("no temporary folder " + pattern + ": " + std::strerror(errno));
        }
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        allow_removal(path_);  // tests take rights away to drill refusals
        std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }  // without a closing "/"
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // The names directly inside, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(path_)) out.push_back(e.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    static void allow_removal(const std::filesystem::path& dir) {
        std::error_code ec;
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->is_directory(ec) && !it->is_symlink(ec)) allow_removal(it->path());
        }
    }

    std::string path_;
};

}  // namespace tessaly::test
