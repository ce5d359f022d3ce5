// The two calls the rest of the program uses to tell the user something and to
// ask for a value: each opens a fresh modal box with the program title as its
// caption and the current theme's colours, waits while the event loop keeps
// running, and returns the answer.
#pragma once

#include <functional>
#include <string>

#include "devices/msgbox.h"
#include "dialogs/appinfo.h"
#include "themes/theme.h"

namespace tessaly {

class Boxes {
public:
    // Both are read at every call, so later changes of title or theme show.
    Boxes(const AppInfo& app, const Theme& theme);

    // Returns answer_ok, or answer_yes / answer_no for box_yesno. Escape and
    // the window's close button answer answer_no. A box given withdrawn goes
    // within 50 ms of its saying that the box is no longer wanted, with the
    // answer answer_no.
    int show_msgbox(const std::string& text, int kind,
                    const std::function<bool()>& withdrawn = {}) const;

    // Returns the text entered, "" on Cancel or Escape, the default unchanged
    // when the window is closed by its close button.
    std::string show_inputbox(const std::string& prompt, const std::string& def) const;

    // show_msgbox in the shape the engine and the file flows take.
    MsgBox msgbox() const;

private:
    const AppInfo& app_;
    const Theme& theme_;
};

}  // namespace tessaly
