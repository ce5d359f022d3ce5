#include "app/portsettings.h"

#include <charconv>

#include "devices/crlf.h"
#include "devices/hextext.h"
#include "platform/linefacts.h"
#include "platform/serialcontrol.h"

namespace tessaly {

std::string port_ready_text(std::int32_t n) {
    return "Serial port COM" + std::to_string(n) + " ready...";
}

std::string port_failed_text(std::int32_t n) {
    return "Serial port COM" + std::to_string(n) + " error!";
}

std::string baud_text(double value) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    return std::string(buf, r.ptr);
}

PortSettings::PortSettings(SerialControl& port, const SettingsStore& settings, StatusLine status)
    : port_(port), settings_(settings), status_(std::move(status)) {}

int PortSettings::testport(std::int32_t n) {
    if (!port_.CommPort(n) || !port_.Settings(line_settings(probe_baud)) || !port_.PortOpen(true))
        return 0;
    (void)port_.PortOpen(false);
    return 1;
}

void PortSettings::scanports() {
    portstate.portlist.clear();
    portstate.defport = 2;
    for (std::int32_t n = first_comport; n <= last_comport; ++n) {
        if (testport(n) != 1) continue;
        if (!portstate.portlist.empty()) portstate.portlist += crlf;
        portstate.portlist += "- Serial port COM" + std::to_string(n) + " available";
        portstate.defport = n;
    }
}

void PortSettings::openport() {
    PortState& s = portstate;
    s.portnumber = settings_.reg_getlong(set_portnumber, s.defport);
    s.baudrate = settings_.reg_getstring(set_baudrate, "56000");
    s.portopen = false;
    // A number or rate the control refuses is reported like a port that
    // does not open.
    if (!port_.CommPort(s.portnumber) || !port_.Settings(line_settings(s.baudrate)) ||
        !port_.PortOpen(true)) {
        status_(port_failed_text(s.portnumber));
        return;
    }
    status_(port_ready_text(s.portnumber));
    s.portopen = true;
}

void PortSettings::menuport_Click(const InputBox& show_inputbox, const MsgBox& show_msgbox) {
    const std::string prompt = "Please select programmer serial port number [" +
                               range_text(first_comport, last_comport) + "]:" + crlf + crlf +
                               "The list of COM ports that can be opened:" + crlf + portstate.portlist;
    std::string answer = show_inputbox(prompt, std::to_string(portstate.portnumber));
    if (answer.empty()) return;
    if (to_lower(answer.substr(0, 3)) == "com") answer = answer.substr(3);
    const double v = leading_value(answer);
    if (v < first_comport || v > last_comport) {
        show_msgbox(wrong_entry_text, box_error);
        return;
    }
    reopen([&] {
        portstate.portnumber = leading_number(answer);
        settings_.reg_setlong(set_portnumber, portstate.portnumber);
    });
}

void PortSettings::menubaud_Click(const InputBox& show_inputbox, const MsgBox& show_msgbox) {
    const std::string answer = show_inputbox(
        "Please select programmer baud rate [" + range_text(min_baud, max_baud) + "].",
        portstate.baudrate);
    if (answer.empty()) return;
    const double v = leading_value(answer);
    if (v < min_baud || v > max_baud) {
        show_msgbox(wrong_entry_text, box_error);
        return;
    }
    reopen([&] {
        portstate.baudrate = baud_text(v);
        settings_.reg_setstring(set_baudrate, portstate.baudrate);
    });
}

void PortSettings::reopen(const std::function<void()>& store_new_value) {
    (void)port_.PortOpen(false);
    portstate.portopen = false;
    store_new_value();
    openport();
}

void PortSettings::port_lost() {
    portstate.portopen = false;
    status_(port_failed_text(portstate.portnumber));
}

}  // namespace tessaly
