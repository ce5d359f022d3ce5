// The engine's byte link over the serial port control: the bytes of a message
// go out in one Output when its last byte has been handed over (one system
// call a message), a yield through the event loop (at most one a millisecond,
// counting the event loop's own runs), the receive switch, and the control's
// session, so that nothing owed on one connection is waited for on the next.
#pragma once

#include <QElapsedTimer>

#include <cstdint>
#include <vector>

#include "engine/senders.h"

namespace tessaly {

class SerialControl;

class SerialLink : public Link {
public:
    explicit SerialLink(SerialControl& port) : port_(port) {}

    bool write_byte(std::uint8_t byte) override;
    bool end_message() override;
    void yield() override;
    // The event loop has just run (it delivered a receive event): a yield
    // within the next millisecond has nothing to let run.
    void events_ran();
    void set_rthreshold(int threshold) override;
    std::size_t discard_input() override;
    bool input_waiting() override;
    std::uint64_t session() const override;
    std::string error_text() const override;

private:
    SerialControl& port_;
    std::vector<std::uint8_t> message_;  // handed over, not yet sent
    QElapsedTimer since_yield_;
};

}  // namespace tessaly
