#include "platform/seriallink.h"

#include <QCoreApplication>

#include "platform/serialcontrol.h"

namespace tessaly {

namespace {

// Window events are let run at most this often from inside a message: a
// yield after every byte would cost more than the byte itself, and nothing
// a user does needs an answer faster.
constexpr qint64 yield_every_ns = 1'000'000;

}  // namespace

// A closed or lost port refuses the byte, as a direct write would, and
// nothing of its message is kept for the next.
bool SerialLink::write_byte(std::uint8_t byte) {
    if (!port_.PortOpen()) {
        message_.clear();
        return port_.Output(byte);
    }
    message_.push_back(byte);
    return true;
}

bool SerialLink::end_message() {
    const bool sent = port_.Output(message_.data(), message_.size());
    message_.clear();
    return sent;
}

void SerialLink::yield() {
    if (since_yield_.isValid() && since_yield_.nsecsElapsed() < yield_every_ns) return;
    QCoreApplication::processEvents();
    since_yield_.start();
}

void SerialLink::events_ran() { since_yield_.start(); }

void SerialLink::set_rthreshold(int threshold) { (void)port_.RThreshold(threshold); }

std::size_t SerialLink::discard_input() { return port_.discard_input(); }

bool SerialLink::input_waiting() { return port_.input_waiting(); }

std::uint64_t SerialLink::session() const { return port_.session(); }

std::string SerialLink::error_text() const { return port_.error_text(); }

}  // namespace tessaly
