#include "engine/senders.h"

#include <initializer_list>

#include "devices/wire.h"

namespace tessaly {
namespace {

// The code byte, then its data; only a message that went out whole is owed a
// reply. The whole message is on the line before the first yield lets window
// events run, so nothing they do can come between its bytes or before them.
SendResult write_message(Link& link, std::initializer_list<std::int32_t> bytes) {
    for (std::int32_t b : bytes) {
        if (!link.write_byte(static_cast<std::uint8_t>(b))) return SendResult::failed;
    }
    if (!link.end_message()) return SendResult::failed;
    link.owe_reply(wire_message(static_cast<std::uint8_t>(*bytes.begin())).reply_bytes);
    for (std::size_t i = 0; i < bytes.size(); ++i) link.yield();  // one for each byte sent
    return SendResult::sent;
}

}  // namespace

SendResult send_begin(Link& link, std::int32_t voltageseq) {
    if (voltageseq == voltageseq_vddvpp) return write_message(link, {cmd_vddvpp});
    if (voltageseq == voltageseq_vppvdd) return write_message(link, {cmd_vppvdd});
    return SendResult::refused;
}

SendResult send_end(Link& link) { return write_message(link, {cmd_voltsoff}); }

SendResult send_step(Link& link) { return write_message(link, {cmd_step}); }

SendResult send_byte(Link& link, std::int32_t n) {
    if (n < 0 || n > 0xFF) return SendResult::refused;
    return write_message(link, {cmd_byte, n});
}

SendResult send_word(Link& link, std::int32_t n) {
    if (n < 0 || n > 0xFFFF) return SendResult::refused;
    return write_message(link, {cmd_word, n % 256, n / 256});
}

SendResult send_read(Link& link) { return write_message(link, {cmd_read}); }

}  // namespace tessaly
