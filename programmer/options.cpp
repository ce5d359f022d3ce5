#include "options.h"

#include <algorithm>
#include <cctype>

#include "codes.h"

namespace tessaly::sim {

namespace {

constexpr std::int64_t max_count = 999'999'999'999'999;

// A whole decimal number from lo to hi, nothing else in the text.
bool read_number(const std::string& text, std::int64_t lo, std::int64_t hi, std::int64_t& out) {
    if (text.empty() || text.size() > 15) return false;
    std::int64_t value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        value = value * 10 + (c - '0');
    }
    if (value < lo || value > hi) return false;
    out = value;
    return true;
}

// A program-space word address in hex: 1F, 0x1F or 1Fh.
bool read_address(std::string text, std::int32_t& out) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.erase(0, 2);
    } else if (!text.empty() && (text.back() == 'h' || text.back() == 'H')) {
        text.pop_back();
    }
    if (text.empty() || text.size() > 4) return false;
    std::int32_t value = 0;
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        const int digit = std::isdigit(static_cast<unsigned char>(c))
                              ? c - '0'
                              : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        value = value * 16 + digit;
    }
    if (value >= config_base) return false;
    out = value;
    return true;
}

std::string number_fault(const std::string& name, std::int64_t lo, std::int64_t hi,
                         const std::string& value) {
    return name + " needs a whole number from " + std::to_string(lo) + " to " +
           std::to_string(hi) + ", not '" + value + "'";
}

struct NumberOption {
    const char* name;
    std::int64_t lo;
    std::int64_t hi;
    std::int64_t SimOptions::*field;
    std::int64_t FaultPlan::*fault;
};

constexpr NumberOption number_options[] = {
    {"--baud", 50, 4'000'000, &SimOptions::baud, nullptr},
    {"--pace", 1, 10'000'000, &SimOptions::pace, nullptr},
    {"--reply-delay-ms", 0, 600'000, &SimOptions::reply_delay_ms, nullptr},
    {"--stop-after", 0, max_count, nullptr, &FaultPlan::stop_after},
    {"--extra-byte-after", 1, max_count, nullptr, &FaultPlan::extra_byte_after},
    {"--extra-byte-delay-ms", 0, 600'000, nullptr, &FaultPlan::extra_byte_delay_ms},
};

// Options that take no value.
struct FlagOption {
    const char* name;
    bool SimOptions::*field;
    bool FaultPlan::*fault;
};

constexpr FlagOption flag_options[] = {
    {"--help", &SimOptions::help, nullptr},
    {"-h", &SimOptions::help, nullptr},
    {"--empty-socket", nullptr, &FaultPlan::empty_socket},
};

// An option that only means something beside another one; alone it would be
// ignored, so it is refused instead.
struct Requirement {
    const char* option;
    const char* needs;
    const char* fault;
};

constexpr Requirement requirements[] = {
    {"--baud", "--port", "--baud sets the rate of a --port device, and no --port is given"},
    {"--extra-byte-delay-ms", "--extra-byte-after",
     "--extra-byte-delay-ms delays the byte of --extra-byte-after, and no --extra-byte-after is given"},
};

struct TextOption {
    const char* name;
    std::string SimOptions::*field;
};

constexpr TextOption text_options[] = {
    {"--model", &SimOptions::model},   {"--device-list", &SimOptions::device_list},
    {"--port", &SimOptions::port},     {"--load", &SimOptions::load},
    {"--dump", &SimOptions::dump},     {"--trace", &SimOptions::trace},
    {"--which-model", &SimOptions::which_model},
};

constexpr char flip_option[] = "--flip-bit";

bool is_option(const std::string& name) {
    for (const auto& option : text_options) {
        if (name == option.name) return true;
    }
    for (const auto& option : number_options) {
        if (name == option.name) return true;
    }
    return name == flip_option;
}

// Sets the known option called name to value; "" when the value is good, the
// fault otherwise.
std::string set_option(const std::string& name, const std::string& value, SimOptions& options) {
    for (const auto& option : text_options) {
        if (name != option.name) continue;
        if (value.empty()) return name + " needs a non-empty value";
        options.*option.field = value;
        return "";
    }
    for (const auto& option : number_options) {
        if (name != option.name) continue;
        std::int64_t number = 0;
        if (!read_number(value, option.lo, option.hi, number)) {
            return number_fault(name, option.lo, option.hi, value);
        }
        if (option.field) options.*option.field = number;
        if (option.fault) options.faults.*option.fault = number;
        return "";
    }
    if (read_address(value, options.flip_address)) return "";
    return name + " needs a FLASH word address in hexadecimal below 2000h"
                  " (such as 1F, 0x1F or 1Fh), not '" + value + "'";
}

// Sets the flag called name; false when there is none of that name.
bool set_flag(const std::string& name, SimOptions& options) {
    for (const auto& flag : flag_options) {
        if (name != flag.name) continue;
        if (flag.field) options.*flag.field = true;
        if (flag.fault) options.faults.*flag.fault = true;
        return true;
    }
    return false;
}

// The fault of the first option given without the one it needs; "" for none.
std::string unmet_requirement(const std::vector<std::string>& given) {
    const auto has = [&given](const char* name) {
        return std::find(given.begin(), given.end(), name) != given.end();
    };
    for (const auto& r : requirements) {
        if (has(r.option) && !has(r.needs)) return r.fault;
    }
    return "";
}

}  // namespace

std::string parse_options(const std::vector<std::string>& args, SimOptions& options) {
    std::vector<std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        given.push_back(name);
        if (set_flag(name, options)) continue;
        if (name.rfind("--", 0) != 0) return "unexpected argument '" + name + "'";
        if (!is_option(name)) return "unknown option '" + name + "'";
        if (i + 1 >= args.size()) return name + " needs a value";
        const std::string fault = set_option(name, args[++i], options);
        if (!fault.empty()) return fault;
    }
    return unmet_requirement(given);
}

std::string usage_text() {
    return "usage: tessaly-sim [options]\n"
           "Serves a simulated PIC programmer on a serial line until SIGTERM or SIGINT.\n"
           "Without --port it opens a pseudo-terminal and prints its path on the first line.\n"
           "  --model NAME            model of the device list (default: the first one)\n"
           "  --device-list PATH      device list (default: quarndevices.txt beside the program)\n"
           "  --port PATH             serve this serial device instead of a pseudo-terminal\n"
           "  --baud BAUD             line rate of the --port device, 8N1 raw (default 56000)\n"
           "  --load FILE.hex         fill the chip from an Intel HEX file before serving\n"
           "  --dump FILE.hex         write the chip as an Intel HEX file when ending\n"
           "  --trace FILE            write one line per message received and reply sent\n"
           "  --pace BAUD             take as long per byte as an 8N1 line at BAUD\n"
           "  --reply-delay-ms N      wait N ms before each reply\n"
           "  --stop-after N          answer no message after the first N\n"
           "  --extra-byte-after N    send one unrequested byte after the reply to message N\n"
           "  --extra-byte-delay-ms N send that byte on its own N ms after that reply\n"
           "  --empty-socket          no chip: reads answer FFh FFh, commands reach nothing\n"
           "  --flip-bit ADDR         FLASH word ADDR (hex) reads back with bit 0 changed\n"
           "  --which-model FOLDER    print the model Tessaly selects with the settings in FOLDER\n"
           "                          (the folder of its settings.reg) and end\n";
}

}  // namespace tessaly::sim
