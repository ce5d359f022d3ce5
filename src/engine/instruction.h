// The instruction words of the device list's algorithms, as one table. Every
// instruction text matches exactly one form (the first row that fits, the last
// row catching everything else); decode_instruction also reads the hex digits
// and the wait a form carries, so the interpreter and the device list checks
// agree on what a list means.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

// In matching order: an earlier form wins where two patterns overlap.
enum class Form {
    begin = 1,
    end,
    calcflash,
    calcflashpage,
    calceeprom,
    setflashloop,
    seteepromloop,
    loop,
    ifpage,
    endifpage,
    send_flash,      // "s" XX "-flash"
    send_eeprom,     // "s" XX "-eeprom"
    send_config1,    // "s" XX "-config1"
    send_config2,    // "s" XX "-config2"
    read_flash,      // "flash=s" XX
    read_eeprom,     // "eeprom=s" XX
    read_config1,    // "config1=s" XX
    read_config2,    // "config2=s" XX
    read_temp,       // "temp=s" XX
    checkblankflash,
    checkblankeeprom,
    checkblankconfig1,
    checkblankconfig2,
    checkflash,
    checkeeprom,
    checkconfig1,
    checkconfig2,
    send_byte_word,  // "s" XX "-" YYYY
    send_byte,       // "s" XX
    wprog,
    wait,            // "w" and a number of milliseconds
    unrecognized,
};

inline constexpr int form_count = static_cast<int>(Form::unrecognized);

// Longest wait an instruction may ask for. The wait blocks the whole window,
// so anything beyond this is taken as a fault in the device data.
inline constexpr std::int32_t max_wait_ms = 60000;

struct Instruction {
    Form form = Form::unrecognized;
    int xx = -1;                // command byte, -1 when the form has none or it is not hex
    std::int32_t yyyy = -1;     // data word of "s" XX "-" YYYY, else -1
    std::int32_t waitms = 0;    // milliseconds of a "w" wait
    double waitvalue = 0;       // the wait as written, before rounding
};

Form classify_instruction(std::string_view text);
Instruction decode_instruction(std::string_view text);

// Why an instruction cannot run, judged from its text alone: not a known form,
// digits at XX or YYYY that are not hexadecimal, a wait that is negative or
// longer than max_wait_ms. Empty when the instruction is sound.
std::string instruction_fault(std::string_view text);

}  // namespace tessaly
