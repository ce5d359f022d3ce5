// Where the program's per-user files live and the one-copy-at-a-time rule:
// the program's own folder, the user's config folder for the settings and the
// COM map, and a lock that a second running copy cannot take.
#pragma once

#include <memory>
#include <string>

class QLockFile;

namespace tessaly {

// The real folder of the running executable, ending in "/". Case is kept:
// the file system is case-sensitive.
std::string program_folder();

// "<user config folder>/Tessaly" (~/.config/Tessaly by default).
std::string config_folder();

enum class LockOutcome {
    taken,   // this copy holds the lock now
    held,    // a running copy holds it (a lock left by one that ended is taken)
    failed,  // it could not be taken for another reason (see reason())
};

// Held for the whole run; a second copy of the program cannot take it.
class SingleInstance {
public:
    // The lock "tessaly.lock" in the user's runtime folder.
    SingleInstance();
    explicit SingleInstance(const std::string& lockpath);
    ~SingleInstance();
    LockOutcome acquire();
    const std::string& path() const { return path_; }
    // Why the last acquire failed: a sentence without a full stop.
    const std::string& reason() const { return reason_; }

private:
    LockOutcome attempt();
    LockOutcome take_over();

    std::string path_;
    std::string reason_;
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace tessaly
