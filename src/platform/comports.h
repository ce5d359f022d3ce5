// Port numbers COM1 to COM16 and the Linux device behind each. A fixed default
// table (COM1-COM8 /dev/ttyS0-7, COM9-COM12 /dev/ttyUSB0-3, COM13-COM16
// /dev/ttyACM0-3) is overridden line by line by the per-user file "ports"
// ("COM3=/dev/ttyUSB1"). Reading that file never fails: lines that are not of
// that form, and a file that is missing or not a regular file, change nothing.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tessaly {

inline constexpr int first_comport = 1;
inline constexpr int last_comport = 16;
inline constexpr const char* ports_filename = "ports";

class ComPortMap {
public:
    ComPortMap();  // the default table

    // The default table overridden by <folder>/ports.
    static ComPortMap from_folder(const std::string& folder);

    // Applies every well-formed "COMn=path" line of text; later lines win.
    void override_lines(std::string_view text);

    // The device path of COMn; empty when n is outside 1 to 16.
    std::string path(int n) const;

private:
    std::array<std::string, last_comport> paths_;
};

}  // namespace tessaly
