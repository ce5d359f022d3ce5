// The program-wide facts every window may show: the program title (the caption
// of the message and input boxes), the program folder, and what the last HEX
// load or save left behind. Filled at start-up and by the HEX file flows.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

inline constexpr const char* program_title = "Tessaly";

struct AppInfo {
    std::string title = program_title;
    std::string apppath;   // the program's folder, ending in "/"
    std::string lastpath;  // folder of the last opened or saved HEX file
    std::int32_t wordsloaded = 0;  // highest FLASH word address of the last load, plus 1
};

}  // namespace tessaly
