// The Options and Help commands that need no window of their own: the
// programming time asked in the input box, and the texts of the serial port
// pinout and the About box.
#pragma once

#include <string>

#include "app/portsettings.h"
#include "devices/device.h"
#include "devices/msgbox.h"

namespace tessaly {

// Where the project can be reached; the About box shows both.
inline constexpr const char* project_address = "https://tessaly.example/";
inline constexpr const char* project_contact = "bugs@tessaly.example";

// Asks for a programming time of 1 to 30 ms; a number in range (rounded,
// halves to even) becomes cur.progtime until the next model selection. An
// empty answer changes nothing; anything else is a wrong entry.
void change_progtime(SelectedDevice& cur, const InputBox& show_inputbox, const MsgBox& show_msgbox);

// The nine pins of the programmer's serial plug, a row per pin in columns
// that tab stops line up.
std::string pinout_text();

std::string about_text(const std::string& title);

}  // namespace tessaly
