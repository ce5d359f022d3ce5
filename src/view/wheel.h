// The mouse wheel of the main window. While the window is the program's
// active window, one application-wide event filter sees every wheel event
// aimed at the window or any of its children, hands the sign of its vertical
// turn to the window's MouseWheel and swallows the event, so that no control
// scrolls on its own as well. It is installed at every activation and removed
// at every deactivation; "Mouse Wheel Enabled" = 0 installs nothing.
#pragma once

#include <cstdint>

class QObject;
class QWidget;

namespace tessaly {

class SettingsStore;

// A window that takes the wheel.
class WheelTarget {
public:
    // rotation: the signed vertical turn (120 a notch, negative towards the
    // user); xpos, ypos: the pointer on the screen; mousekeys is not used.
    virtual void MouseWheel(std::int32_t mousekeys, std::int32_t rotation, std::int32_t xpos,
                            std::int32_t ypos) = 0;

protected:
    ~WheelTarget() = default;
};

struct WheelState {
    bool wheel_installed = false;
    WheelTarget* wheel_target = nullptr;
    QWidget* wheel_window = nullptr;   // the window whose wheel events are taken
    QObject* wheel_filter = nullptr;   // the filter installed for it
};

// The program-wide record; empty until the first wheel_hook.
const WheelState& wheelstate();

// Reads "Mouse Wheel Enabled" (written with 1 when missing); 0 installs
// nothing. An earlier installation is removed first in either case.
void wheel_hook(QWidget& window, WheelTarget& target, const SettingsStore& settings);
void wheel_unhook();

// The control never scrolls by itself on the wheel, hooked or not.
void ignore_wheel(QWidget* control);

}  // namespace tessaly
