// Port numbers COM1 to COM16 and the Linux device behind each. A fixed default
// table (COM1-COM8 /dev/ttyS0-7, COM9-COM12 /dev/ttyUSB0-3, COM13-COM16
// /dev/ttyACM0-3) is overridden line by line by the per-user file "ports"
// ("COM3=/dev/ttyUSB1"). Reading that file never fails: lines that are not of
// that form, and a file that is missing or not a regular file, change nothing.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "platform/linefacts.h"

namespace tessaly {

inline constexpr const char* ports_filename = "ports";

class ComPortMap {
public:
    ComPortMap();  // the default table

    // The default table overridden by <folder>/ports.
    static ComPortMap from_folder(const std::string& folder);

    // Applies every well-formed "COMn=path" line of text; later lines win.
    void override_lines(std::string_view text);

    // The device path of COMn; empty when n is outside first_comport to last_comport.
    std::string path(int n) const;

private:
    std::array<std::string, last_comport> paths_;
};

// How a serial control finds the device of a COM number: it asks at every open,
// so a lookup that reads a file sees the file as it stands then.
using ComPortLookup = std::function<ComPortMap()>;

// The ports file of folder, read anew at every call (ComPortMap::from_folder).
ComPortLookup ports_file_lookup(const std::string& folder);

}  // namespace tessaly
