// The line break of the program's texts: box texts, the mismatch report, the
// grids' texts and the lines of a HEX file end their lines with CR LF, and the
// boxes and the grids split texts there.
#pragma once

namespace tessaly {

inline constexpr const char* crlf = "\r\n";

}  // namespace tessaly
