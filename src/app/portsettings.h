// The programmer's serial port: the start-up scan of every COM number, opening
// the chosen port at the chosen baud rate, and the two Options commands that
// change the port number and the baud rate. Results go to the status line.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "devices/msgbox.h"
#include "devices/settings.h"

namespace tessaly {

class SerialControl;

struct PortState {
    std::int32_t portnumber = 0;
    std::string baudrate;
    bool portopen = false;
    std::int32_t defport = 2;
    std::string portlist;  // "- Serial port COMn available" lines joined by CR LF
};

// The answer to a typed value outside its range, in every Options command.
inline constexpr const char* wrong_entry_text = "Wrong entry!";

using InputBox = std::function<std::string(const std::string& prompt, const std::string& def)>;
using StatusLine = std::function<void(const std::string& text)>;

// "Serial port COM" n " ready..." and " error!".
std::string port_ready_text(std::int32_t n);
std::string port_failed_text(std::int32_t n);

// The baud rate as stored: up to 15 significant digits, "." as the point.
std::string baud_text(double value);

class PortSettings {
public:
    PortSettings(SerialControl& port, const SettingsStore& settings, StatusLine status);

    // 1 when COMn opens at probe_baud (closed again), else 0. Like every
    // open, it reaches the device that the ports file names for COMn now.
    int testport(std::int32_t n);
    void scanports();
    void openport();
    void menuport_Click(const InputBox& show_inputbox, const MsgBox& show_msgbox);
    void menubaud_Click(const InputBox& show_inputbox, const MsgBox& show_msgbox);

    // The port closed under the program (adapter pulled): shown like a failed open.
    void port_lost();

    PortState portstate;

private:
    // Closes the port, stores the new number or rate, and opens again.
    void reopen(const std::function<void()>& store_new_value);

    SerialControl& port_;
    const SettingsStore& settings_;
    StatusLine status_;
};

}  // namespace tessaly
