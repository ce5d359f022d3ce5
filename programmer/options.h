// The command line of tessaly-sim: which chip, which line, which files, and the
// pacing and faults asked for. Parsing checks every value and says exactly what
// is wrong, so a mistyped option never starts a programmer that behaves
// differently from what was asked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "protocol.h"

namespace tessaly::sim {

struct SimOptions {
    std::string model;        // empty: the first model of the device list
    std::string device_list;  // empty: quarndevices.txt beside the executable
    std::string port;         // empty: serve a new pseudo-terminal
    std::string load;         // HEX file that fills the chip before serving
    std::string dump;         // HEX file written when the programmer ends
    std::string trace;        // one line per message and reply
    std::string which_model;  // settings folder: print the model Tessaly selects there, and end
    std::int64_t baud = 56000;  // line rate set on a --port device
    std::int64_t pace = 0;    // baud rate to pace every byte at; 0: no pacing
    std::int64_t reply_delay_ms = 0;
    FaultPlan faults;
    std::int32_t flip_address = -1;  // FLASH word that reads back with bit 0 changed
    bool help = false;
};

// Fills options from the arguments after the program name. Returns "" when
// they are all good, else a one-line message naming the fault.
std::string parse_options(const std::vector<std::string>& args, SimOptions& options);

// The usage text printed by --help and after a bad command line.
std::string usage_text();

}  // namespace tessaly::sim
