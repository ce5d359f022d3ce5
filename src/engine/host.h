// What the engine needs of the main window: the status line, the event loop,
// the clock, the message box, the interface lock, the port flag and a one-shot
// reply timer. The window implements it with its widgets; tests record calls.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

class Host {
public:
    virtual ~Host() = default;
    virtual void set_status(const std::string& text) = 0;
    virtual void yield() = 0;
    virtual void sleep_ms(std::int32_t ms) = 0;  // blocks the thread
    virtual int show_msgbox(const std::string& text, int kind) = 0;
    virtual void enable() = 0;
    virtual void disable() = 0;
    virtual void updatedisplay() = 0;
    virtual double clock() = 0;  // seconds since midnight
    virtual void end_program() = 0;
    virtual bool portopen() = 0;
    virtual std::int32_t portnumber() = 0;
    // One-shot: when it runs out, the window calls Engine::reply_timeout.
    // Starting it again restarts it.
    virtual void start_reply_timer(std::int32_t ms) = 0;
    virtual void stop_reply_timer() = 0;
    // The outermost engine call has returned: what the window held behind it
    // may run now.
    virtual void engine_free() {}
    // The window holds user actions that came inside the call that has just
    // returned. They run first: the engine takes no further received byte
    // until the window hands the bytes on (MSComm1_OnComm with nothing new).
    virtual bool actions_held() { return false; }
};

}  // namespace tessaly
