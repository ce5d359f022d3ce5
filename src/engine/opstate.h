// The state of the running operation: the interpreter's working list and
// registers, the mismatch report and the Test Vpp flag. One instance lives in
// the engine for the whole run; tests set its fields directly.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

struct OpState {
    std::string opname;  // "program", "erase", "read", "blank", "verify" or empty
    // Slot 0 stays empty so that instruction ip is alglines[ip].
    std::vector<std::string> alglines = std::vector<std::string>(1);
    std::int32_t algcount = 0;
    std::int32_t ip = 1;  // algcount + 1: the list has run through
    std::int32_t substep = 0;
    std::int32_t counter = 0;
    std::int32_t loopstart = 0;
    std::int32_t loopend = 0;
    std::int32_t lastflash = 0;
    std::int32_t lasteeprom = 0;
    std::int32_t rxbyte = 0;
    std::int32_t rxword = 0;
    std::int32_t temp = 0;
    std::int32_t mismatches = 0;
    std::string report;
    float starttime = 0;  // the clock at the start, then the elapsed seconds
    std::string elapsedtext;
    bool testvpp = false;
};

}  // namespace tessaly
