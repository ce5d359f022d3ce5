// The program's message box as the pure core sees it: a call that shows a text
// of a kind and returns the button pressed. The window layer supplies the real
// box; tests supply a recorder.
#pragma once

#include <functional>
#include <string>

namespace tessaly {

// Kinds of box and the answers they return.
inline constexpr int box_plain = 0;
inline constexpr int box_yesno = 4;
inline constexpr int box_error = 16;
inline constexpr int box_info = 64;
inline constexpr int answer_ok = 1;
inline constexpr int answer_yes = 6;
inline constexpr int answer_no = 7;

using MsgBox = std::function<int(const std::string& text, int kind)>;

}  // namespace tessaly
