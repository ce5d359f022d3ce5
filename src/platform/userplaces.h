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

// Held for the whole run; a second copy of the program cannot take it.
class SingleInstance {
public:
    SingleInstance();
    ~SingleInstance();
    // False when another copy holds the lock.
    bool acquire();

private:
    std::unique_ptr<QLockFile> lock_;
};

}  // namespace tessaly
