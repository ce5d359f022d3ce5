#include "protocol.h"

#include "codes.h"
#include "devices/hextext.h"

namespace tessaly::sim {

namespace {

std::string command_name(int code) {
    switch (code) {
    case icsp_load_config: return "load configuration";
    case icsp_load_program: return "load data for program memory";
    case icsp_load_data: return "load data for data memory";
    case icsp_read_program: return "read data from program memory";
    case icsp_read_data: return "read data from data memory";
    case icsp_increment: return "increment address";
    case icsp_begin_erase_program: return "begin erase/programming cycle";
    case icsp_begin_program_only: return "begin programming only cycle";
    case icsp_end_programming: return "end programming";
    case icsp_bulk_erase_program: return "bulk erase program memory";
    case icsp_bulk_erase_data: return "bulk erase data memory";
    case icsp_chip_erase: return "chip erase";
    default: return "chip command";
    }
}

std::string bytes_text(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    for (auto b : bytes) {
        if (!text.empty()) text += ' ';
        text += hex2(b);
    }
    return text;
}

std::string with_note(std::string text, const std::string& note) {
    return note.empty() ? text : text + " [" + note + "]";
}

// What an empty socket's pulled-up data line reads as: every bit 1.
constexpr std::int32_t pulled_up = 0xFFFF;
constexpr char no_chip[] = "empty socket: no chip takes it";

// The data word of a word message, low byte first on the line.
std::int32_t message_word(const std::vector<std::uint8_t>& message) {
    return message[1] + 256 * message[2];
}

// A read's reply: the word, low byte first, then the code.
std::vector<std::uint8_t> read_reply(std::int32_t word, std::uint8_t code) {
    return {static_cast<std::uint8_t>(word & 0xFF), static_cast<std::uint8_t>((word >> 8) & 0xFF),
            code};
}

std::string unrequested_line(std::int64_t message, const std::string& how) {
    return "tx #" + std::to_string(message) + ": " + hex2(unrequested_byte) + " (" + how + ")";
}

}  // namespace

WireProtocol::WireProtocol(SimChip& chip, FaultPlan faults, TraceSink trace)
    : chip_(chip), faults_(faults), trace_(std::move(trace)) {}

std::vector<std::uint8_t> WireProtocol::feed(std::uint8_t byte) {
    pending_.push_back(byte);
    if (pending_.size() < static_cast<std::size_t>(wire_message(pending_.front()).message_bytes))
        return {};
    return complete();
}

std::vector<std::uint8_t> WireProtocol::complete() {
    ++count_;
    const std::string head = "#" + std::to_string(count_) + ": ";
    const std::string received = "rx " + head + bytes_text(pending_);
    if (faults_.stop_after >= 0 && count_ > faults_.stop_after) {
        note(received + " (not answered)");
        pending_.clear();
        return {};
    }
    std::vector<std::uint8_t> reply;
    note(received + " " + perform(reply));
    pending_.clear();
    note("tx " + head + bytes_text(reply));
    if (count_ == faults_.extra_byte_after && faults_.extra_byte_delay_ms > 0) {
        delayed_owed_ = true;
    } else if (count_ == faults_.extra_byte_after) {
        reply.push_back(unrequested_byte);
        note(unrequested_line(count_, "unrequested"));
    }
    return reply;
}

std::uint8_t WireProtocol::take_delayed_byte() {
    delayed_owed_ = false;
    note(unrequested_line(faults_.extra_byte_after,
                          "unrequested, " + std::to_string(faults_.extra_byte_delay_ms) +
                              " ms after the reply"));
    return unrequested_byte;
}

// Runs the message in pending_ on the chip, fills in the reply and returns the
// trace description.
std::string WireProtocol::perform(std::vector<std::uint8_t>& reply) {
    const std::uint8_t code = pending_.front();
    reply.push_back(code);
    if (faults_.empty_socket && (code == wire_command || code == wire_word || code == wire_read)) {
        return perform_empty(reply);
    }
    switch (code) {
    case wire_step:
        return "step";
    case wire_power_vddvpp:
    case wire_power_vppvdd:
        chip_.power_on();
        return code == wire_power_vddvpp ? "power on, Vdd first" : "power on, Vpp first";
    case wire_power_off:
        chip_.power_off();
        return "power off";
    case wire_command: {
        const int command = pending_[1];
        const std::string note = chip_.command(command);
        return with_note(command_name(command) + ", address " + hex4(chip_.address()), note);
    }
    case wire_word: {
        const std::int32_t word = message_word(pending_);
        return with_note("data word " + hex4(word), chip_.data_word(word));
    }
    case wire_read: {
        std::string note;
        const std::int32_t word = chip_.read_word(note);
        reply = read_reply(word, code);
        return with_note("read " + hex4(word), note);
    }
    default:
        return "unknown message code";
    }
}

// The programmer answers as ever, but nothing it clocks out reaches a chip,
// and a read passes on the floating data line unmasked.
std::string WireProtocol::perform_empty(std::vector<std::uint8_t>& reply) {
    const std::uint8_t code = pending_.front();
    switch (code) {
    case wire_command:
        return with_note(command_name(pending_[1]), no_chip);
    case wire_word:
        return with_note("data word " + hex4(message_word(pending_)), no_chip);
    default:
        reply = read_reply(pulled_up, code);
        return with_note("read " + hex4(pulled_up), "empty socket: the data line is pulled up");
    }
}

void WireProtocol::note(const std::string& line) const {
    if (trace_) trace_(line);
}

}  // namespace tessaly::sim
