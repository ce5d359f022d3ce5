// The five operations as one table: what differs between Program All, Read
// All, Erase All, Blank Check and Verify is data, and the engine's one start
// and one completion routine read it. Also the elapsed-time text they show.
#pragma once

#include <string>
#include <vector>

#include "devices/device.h"

namespace tessaly {

enum class Operation { program, read, erase, blank, verify };

struct OperationInfo {
    Operation op;
    const char* opname;
    std::vector<std::string> SelectedDevice::*lines;
    const char* starttext;
    const char* donetext;   // completion text, followed by the elapsed time
    const char* failtext;   // completion text when the report is not empty; checks only
    const char* boxtext;    // message box heading of the report; checks only
    const char* shifted;    // what replies out of step mean for this operation
    const char* unfinished;  // what a run cut short means for the chip; nullptr: nothing
    bool blanksfirst;       // blanks the buffers at the start, redraws at completion
    bool checks;            // opens a new mismatch report and shows it when not empty
};

const OperationInfo& operation_info(Operation op);

// Seconds from start to now on a clock that restarts at midnight.
float elapsed_seconds(float start, double now);
// Whole seconds, ".", two truncated digits of hundredths.
std::string elapsed_text(float seconds);

}  // namespace tessaly
