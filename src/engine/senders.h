// The PC side of the programmer link: the byte link the engine writes through,
// and the six senders that put one message on it. A sender hands the message
// over whole, then yields once for each of its bytes, and never waits for the
// reply. A value that cannot go on the line is refused before any byte is written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaly {

// What the engine needs of the serial line. The application implements it with
// its serial port control, tests with a recorder or the simulated programmer.
class Link {
public:
    virtual ~Link() = default;
    // Hands one byte to the line; false when it could not be written.
    virtual bool write_byte(std::uint8_t byte) = 0;
    // The message's last byte has been handed over: a line that holds the
    // bytes of a message to send them in one go sends them now; false when
    // they could not be written.
    virtual bool end_message() { return true; }
    // Lets pending window events run.
    virtual void yield() = 0;
    // 0: no receive events; 1: one receive event while bytes wait.
    virtual void set_rthreshold(int threshold) = 0;
    // Drops every received byte not yet handed over; returns how many.
    virtual std::size_t discard_input() = 0;
    // A received byte waits that has not been handed over.
    virtual bool input_waiting() { return false; }
    // Changes whenever the line is opened, closed or lost: a reply owed on one
    // session never arrives on another.
    virtual std::uint64_t session() const { return 0; }
    // A whole message went out: the programmer owes this many bytes for it.
    virtual void owe_reply(int reply_bytes) { (void)reply_bytes; }
    // Why the last byte could not be written; empty when the line cannot say.
    virtual std::string error_text() const { return ""; }
};

enum class SendResult {
    sent,
    refused,  // the value cannot be put on the line; nothing was written
    failed,   // the link did not take a byte; the rest of the message was not written
};

SendResult send_begin(Link& link, std::int32_t voltageseq);
SendResult send_end(Link& link);
SendResult send_step(Link& link);
SendResult send_byte(Link& link, std::int32_t n);
SendResult send_word(Link& link, std::int32_t n);
SendResult send_read(Link& link);

}  // namespace tessaly
