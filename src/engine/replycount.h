// Keeps the books of the programmer's replies: the bytes still owed for the
// whole messages the senders declare, and those owed to messages whose answer
// nobody waits for any more, which are dropped as they arrive. A run that ends
// one step ahead (an unrequested byte from the programmer) or the reply to a
// voltage switch still on the line when the next operation starts would
// otherwise be taken for a reply of that operation. Nothing owed on one
// session of the line is waited for on the next.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/senders.h"

namespace tessaly {

class ReplyCount : public Link {
public:
    explicit ReplyCount(Link& line) : line_(line), session_(line.session()) {}

    bool write_byte(std::uint8_t byte) override { return line_.write_byte(byte); }
    bool end_message() override { return line_.end_message(); }
    void owe_reply(int reply_bytes) override { owed_ += reply_bytes; }
    void yield() override { line_.yield(); }
    void set_rthreshold(int threshold) override { line_.set_rthreshold(threshold); }
    std::size_t discard_input() override { return line_.discard_input(); }
    bool input_waiting() override { return line_.input_waiting(); }
    std::uint64_t session() const override { return line_.session(); }
    std::string error_text() const override { return line_.error_text(); }

    enum class Arrival {
        stale,        // owed to a message whose answer nobody waits for: dropped
        reply,        // one of the bytes owed
        unrequested,  // nothing was owed
    };
    // One byte has come on the session the books follow (follow_session first).
    Arrival arrive();
    // Bytes still owed for the messages that await their answer.
    std::int64_t owed() const { return owed_; }
    // Nothing is owed, not even to be dropped.
    bool settled() const { return owed_ == 0 && stale_ == 0; }
    // The programmer is not expected to answer anything sent so far (it fell
    // silent, the line failed): whatever it still sends is unrequested.
    void expect_nothing();
    // What is owed now answers nobody: these bytes (waiting ones dropped by
    // the caller, queued counted) go now, the rest as they arrive.
    void set_aside(std::size_t dropped);
    // The line was opened, closed or lost since the books were last kept:
    // nothing owed on the old session will ever come.
    void follow_session();

private:
    Link& line_;
    std::int64_t owed_ = 0;
    std::int64_t stale_ = 0;
    std::uint64_t session_;
};

}  // namespace tessaly
