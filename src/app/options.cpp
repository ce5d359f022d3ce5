#include "app/options.h"

#include <cmath>

#include "devices/crlf.h"
#include "devices/hextext.h"

namespace tessaly {

void change_progtime(SelectedDevice& cur, const InputBox& show_inputbox, const MsgBox& show_msgbox) {
    const std::string answer =
        show_inputbox("Enter new programming time in ms [1-30].", std::to_string(cur.progtime));
    if (answer.empty()) return;
    const double v = leading_value(answer);
    if (v < 1 || v > 30) {
        show_msgbox(wrong_entry_text, box_error);
        return;
    }
    cur.progtime = static_cast<std::int32_t>(std::nearbyint(v));
}

std::string pinout_text() {
    struct Pin { const char* signal; const char* direction; };
    const Pin pins[] = {
        {"DCD", "Input"}, {"RD", "Input"},  {"TD", "Output"}, {"DTR", "Output"}, {"GND", "-"},
        {"DSR", "Input"}, {"RTS", "Output"}, {"CTS", "Input"}, {"RI", "Input"},
    };
    std::string text = std::string("Serial Port Pinout:") + crlf + crlf + "Pin\tSignal\tDirection" + crlf;
    int n = 0;
    for (const Pin& p : pins) {
        text += std::to_string(++n) + "\t" + p.signal + "\t" + p.direction + crlf;
    }
    return text + crlf + "Directions are defined from the viewpoint of the PC." + crlf;
}

std::string about_text(const std::string& title) {
    const std::string lines[] = {
        title,
        "Written by the Tessaly contributors.",
        "Copyright the Tessaly contributors. All rights reserved.",
        "",
        "This software is supplied as is, in good faith that it serves its purpose, "
        "but without any warranties.",
        project_address,
        "",
        "Please report faults and send suggestions to:",
        project_contact,
    };
    std::string text;
    for (const std::string& line : lines) text += line + crlf;
    return text;
}

}  // namespace tessaly
