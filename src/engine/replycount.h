// Keeps count of the reply bytes the programmer still owes, as the senders
// declare them for each whole message. A run that ends one step ahead (an
// unrequested byte from the programmer) or the reply to a voltage switch still
// on the line when the next operation starts would otherwise be taken for a
// reply of that operation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/senders.h"

namespace tessaly {

class ReplyCount : public Link {
public:
    explicit ReplyCount(Link& line) : line_(line) {}

    bool write_byte(std::uint8_t byte) override { return line_.write_byte(byte); }
    bool end_message() override { return line_.end_message(); }
    void owe_reply(int reply_bytes) override { owed_ += reply_bytes; }
    void yield() override { line_.yield(); }
    void set_rthreshold(int threshold) override { line_.set_rthreshold(threshold); }
    std::size_t discard_input() override { return line_.discard_input(); }
    bool input_waiting() override { return line_.input_waiting(); }
    std::uint64_t session() const override { return line_.session(); }
    std::string error_text() const override { return line_.error_text(); }

    // A byte arrived: one less is owed (never below none).
    void received();
    // Bytes still owed for messages sent so far.
    std::int64_t owed() const { return owed_; }
    // Forget what is owed: the programmer is not expected to answer it.
    void forget() { owed_ = 0; }

private:
    Link& line_;
    std::int64_t owed_ = 0;
};

}  // namespace tessaly
