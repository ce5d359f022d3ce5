// What the benchmarks drive: the engine over the real serial control with a
// plain host, the real main window offscreen, the HEX reader and writer, and
// the program's start-up in a child process.
#pragma once

#include <memory>
#include <string>

#include "devices/device.h"
#include "devices/devicelist.h"
#include "engine/operations.h"

namespace tessaly::bench {

// A model of the shipped device list and a full image for it: every FLASH
// word and EEPROM byte programmed, configuration words with bits cleared.
struct Model {
    SelectedDevice cur;
    std::int32_t index = 0;  // in the device list, from 1
    ChipImage full;
};
Model load_model(const DeviceList& list, const std::string& name);

struct RunResult {
    double seconds = 0;
    double waits = 0;   // seconds of waiting the algorithm asked the host for
    std::string status; // the status line at the end
};

class EngineDriver {
public:
    EngineDriver(const Model& model, const std::string& path);
    ~EngineDriver();
    RunResult run(Operation op, const ChipImage& image);
    // The port is closed while another client uses the line.
    void close_port();
    void open_port();

private:
    struct Parts;
    std::unique_ptr<Parts> parts_;
};

// Read All from the Read All button of the main window, shown offscreen.
RunResult window_read_all(const DeviceList& list, const Model& model, const std::string& path);

struct HexTimes {
    double load = 0;  // seconds, best of several
    double save = 0;
};
HexTimes hex_times(const Model& model, const std::string& file);

// The child side of the start-up benchmark: prints milliseconds since the
// program entered main and the resident set in KiB once the window is shown.
int startup_child();

// Seconds since this process entered main.
double since_main();

}  // namespace tessaly::bench
