#include "engine/report.h"

#include "devices/crlf.h"

namespace tessaly {

void init_report(OpState& op) {
    op.mismatches = 0;
    op.report = std::string("Memory Location,   Read Value,   Expected,") + crlf;
}

void add_report_line(OpState& op, const std::string& location, const std::string& readvalue,
                     const std::string& expected) {
    op.mismatches += 1;
    op.report += location + ",   " + readvalue + ",   " + expected + "," + crlf;
    // Equality, not "at least": only the line that reaches the limit jumps.
    if (op.mismatches == report_line_limit) op.ip = op.algcount;
}

}  // namespace tessaly
