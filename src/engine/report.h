// The blank-check and verify mismatch report: a count and a text with a header
// line and one line per difference, each ending in CR LF. The 25th line since
// init_report cuts the run short by moving ip to the last instruction.
#pragma once

#include <cstdint>
#include <string>

#include "engine/opstate.h"

namespace tessaly {

inline constexpr std::int32_t report_line_limit = 25;

void init_report(OpState& op);
void add_report_line(OpState& op, const std::string& location, const std::string& readvalue,
                     const std::string& expected);

}  // namespace tessaly
