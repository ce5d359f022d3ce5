// One interpreter step: the instruction at ip, or one phase of it, with at most
// one message sent. Every buffer index and every value put on the line is
// checked first; device data that cannot run soundly stops the operation.
#include "devices/crlf.h"
#include "devices/hextext.h"
#include "devices/memorymap.h"
#include "devices/msgbox.h"
#include "engine/engine.h"
#include "engine/report.h"
#include "devices/wire.h"

namespace tessaly {

// Every message of a run goes out here. Nothing is owed when the next message
// is due, so a byte already waiting was sent without being asked for.
template <typename... Params, typename... Args>
void Engine::transmit(SendResult (*sender)(Link&, Params...), Args... args) {
    if (phase_ != Phase::running) throw Ended{};
    if (unrequested_waiting()) throw Fault{"", Cause::out_of_step};
    send(sender(link_, args...));
}

void Engine::algorithm_step() {
    // Outside a run a byte has nothing to drive: Test Vpp's replies are nobody's.
    if (phase_ != Phase::running) return;
    link_.set_rthreshold(0);
    if (op_.ip == op_.algcount + 1) {
        finish();
        return;
    }
    host_.stop_reply_timer();
    const std::int32_t number = op_.ip;
    if (number < 1 || number > op_.algcount ||
        static_cast<std::size_t>(number) >= op_.alglines.size()) {
        stop_on_fault(Fault{"the instruction pointer has left the list"}, "", number);
        return;
    }
    const std::string text = op_.alglines[number];
    try {
        if (!run_instruction(text)) return;
    } catch (const Ended&) {
        return;
    } catch (const Fault& fault) {
        // A failure met after the run ended in one of the step's yields (a
        // lost port) has been told already.
        if (phase_ == Phase::running) stop_on_fault(fault, text, number);
        return;
    }
    if (phase_ != Phase::running) return;
    link_.set_rthreshold(1);
    host_.start_reply_timer(reply_timeout_ms());
}

bool Engine::run_instruction(const std::string& text) {
    const Instruction ins = decode_instruction(text);
    if (ins.form == Form::unrecognized) {
        run_unrecognized(text);
        return false;
    }
    const std::string fault = instruction_fault(text);
    if (!fault.empty()) throw Fault{fault};
    if (messages_ >= message_bound_) {
        throw Fault{"the operation has sent " + std::to_string(messages_) +
                    " messages, the most that the device's sizes and list allow"};
    }
    run_form(ins);
    return true;
}

void Engine::run_form(const Instruction& ins) {
    switch (ins.form) {
    case Form::begin:
        if (cur_.voltageseq != voltageseq_vddvpp && cur_.voltageseq != voltageseq_vppvdd) {
            throw Fault{"the voltage order of the device is neither vddvpp nor vppvdd"};
        }
        transmit(send_begin, cur_.voltageseq);
        advance();
        return;
    case Form::end:
        transmit(send_end);
        advance();
        return;
    case Form::calcflash: op_.lastflash = last_nonblank_flash(cur_, image_); break;
    case Form::calcflashpage: {
        // The last address of the page that holds the highest non-blank word;
        // with no such word (-1) that is the first page's end. % keeps the sign.
        const std::int64_t p = page();
        const std::int64_t x = last_nonblank_flash(cur_, image_);
        op_.lastflash = static_cast<std::int32_t>(x - x % p + p - 1);
        break;
    }
    case Form::calceeprom: op_.lasteeprom = last_nonblank_eeprom(cur_, image_); break;
    case Form::setflashloop: run_loop_open(op_.lastflash); return;
    case Form::seteepromloop: run_loop_open(op_.lasteeprom); return;
    case Form::loop: run_loop(); return;
    case Form::ifpage: run_ifpage(); return;
    case Form::endifpage: break;
    case Form::send_flash: run_send(ins, Target::flash); return;
    case Form::send_eeprom: run_send(ins, Target::eeprom); return;
    case Form::send_config1: run_send(ins, Target::config1); return;
    case Form::send_config2: run_send(ins, Target::config2); return;
    case Form::read_flash: run_read(ins, Target::flash); return;
    case Form::read_eeprom: run_read(ins, Target::eeprom); return;
    case Form::read_config1: run_read(ins, Target::config1); return;
    case Form::read_config2: run_read(ins, Target::config2); return;
    case Form::read_temp: run_read(ins, Target::temp); return;
    case Form::checkblankflash:
    case Form::checkblankeeprom:
    case Form::checkblankconfig1:
    case Form::checkblankconfig2:
    case Form::checkflash:
    case Form::checkeeprom:
    case Form::checkconfig1:
    case Form::checkconfig2: run_check(ins.form); return;
    case Form::send_byte_word:
        if (op_.substep == 0) {
            transmit(send_byte, ins.xx);
            op_.substep = 1;
            return;
        }
        transmit(send_word, ins.yyyy);
        op_.substep = 0;
        advance();
        return;
    case Form::send_byte:
        transmit(send_byte, ins.xx);
        advance();
        return;
    case Form::wprog:
        if (cur_.progtime < 0 || cur_.progtime > max_wait_ms) {
            throw Fault{"the programming time of " + std::to_string(cur_.progtime) +
                        " ms is negative or longer than " + std::to_string(max_wait_ms) + " ms"};
        }
        host_.sleep_ms(cur_.progtime);
        break;
    case Form::wait: host_.sleep_ms(ins.waitms); break;
    case Form::unrecognized: return;
    }
    advance();
    transmit(send_step);
}

void Engine::run_send(const Instruction& ins, Target target) {
    if (op_.substep == 0) {
        check_word(target);
        progress(target);
        transmit(send_byte, ins.xx);
        op_.substep = 1;
        return;
    }
    transmit(send_word, check_word(target));
    op_.substep = 0;
    if (target == Target::flash || target == Target::eeprom) op_.counter += 1;
    advance();
}

void Engine::run_read(const Instruction& ins, Target target) {
    switch (op_.substep) {
    case 0:
        cell(target, op_.counter);  // refuse an address past the buffer before anything is sent
        progress(target);
        transmit(send_byte, ins.xx);
        op_.substep = 1;
        return;
    case 1:
        op_.rxword = 0;
        transmit(send_read);
        op_.substep = 2;
        return;
    case 2:
        op_.rxword += op_.rxbyte;  // low data byte
        op_.substep = 3;
        return;
    default:
        op_.rxword += 256 * op_.rxbyte;  // high data byte; the third byte runs the next instruction
        cell(target, op_.counter) = target == Target::eeprom ? op_.rxword & eeprom_byte_mask : op_.rxword;
        op_.substep = 0;
        op_.rxword = 0;
        if (target == Target::flash || target == Target::eeprom) op_.counter += 1;
        advance();
        return;
    }
}

void Engine::run_check(Form form) {
    // The eight checks are ordered as four blank checks, then four buffer checks,
    // each in the order FLASH, EEPROM, configuration word 1, word 2.
    static_assert(static_cast<int>(Form::checkconfig2) - static_cast<int>(Form::checkblankflash) == 7 &&
                      static_cast<int>(Form::checkflash) - static_cast<int>(Form::checkblankflash) == 4,
                  "the check forms must stay in this order");
    const int index = static_cast<int>(form) - static_cast<int>(Form::checkblankflash);
    const bool blank = index < 4;
    const Target target = static_cast<Target>(index % 4);
    const bool byte = target == Target::eeprom;
    const std::int32_t address = op_.counter;
    if (!blank) cell(target, address);
    progress(target);
    if (target == Target::flash || target == Target::eeprom) op_.counter += 1;
    advance();
    std::int32_t expected = 0;
    if (blank) {
        const std::int32_t erased[] = {blank_flash_word, blank_eeprom_byte, cur_.conferased[0],
                                       cur_.conferased[1]};
        expected = erased[index];
    } else {
        expected = cell(target, address);
    }
    const std::int32_t readvalue = byte ? op_.temp & eeprom_byte_mask : op_.temp;
    if (readvalue != expected) {
        const auto text = [byte](std::int32_t v) { return byte ? hex2h(v) : hex4h(v); };
        add_report_line(op_, location(target, address), text(readvalue), text(expected));
    }
    transmit(send_step);
}

// The closing "loop" is looked for only when the loop is skipped: a list whose
// loop is entered and never closed simply runs on past its body once.
void Engine::run_loop_open(std::int32_t last) {
    op_.loopstart = op_.ip;
    op_.loopend = last;
    loopcounter_ = op_.counter;
    if (op_.counter <= op_.loopend) {
        loopopen_ = true;
        advance();
    } else {
        op_.ip = find_after("loop") + 1;
        op_.counter = 0;
        // Finished: a later "loop" would start it again from address 0, for ever.
        loopopen_ = false;
    }
    transmit(send_step);
}

void Engine::run_loop() {
    if (!loopopen_ || op_.loopstart < 1 || op_.loopstart > op_.algcount) {
        throw Fault{"no loop is open"};
    }
    // The loop-opening instruction would meet the same counter again, for ever.
    if (op_.counter == loopcounter_) throw Fault{"its loop never moves to the next address"};
    op_.ip = op_.loopstart;
    transmit(send_step);
}

void Engine::run_ifpage() {
    const std::int32_t p = page();
    if (op_.counter > 0 && op_.counter % p == 0) {
        advance();
    } else {
        op_.ip = find_after("endifpage") + 1;
    }
    transmit(send_step);
}

// The program ends, and not with the chip powered: the voltages-off goes out
// before the box waits on the user, and the window waits a moment for its
// answer before it ends.
void Engine::run_unrecognized(const std::string& text) {
    send_last_voltages_off();
    host_.show_msgbox("Unrecognized symbolic instruction '" + text + "'." + crlf + "The program must end.",
                      box_error);
    host_.end_program();
}

std::int32_t& Engine::cell(Target target, std::int32_t address) {
    const auto inside = [address](const std::vector<std::int32_t>& buf) {
        return address >= 0 && static_cast<std::size_t>(address) < buf.size();
    };
    const auto past = [address](const char* memory) {
        return Fault{std::string(memory) + " address " + hex4h(address) +
                     " is past the end of the buffer"};
    };
    switch (target) {
    case Target::flash:
        if (!inside(image_.flashbuf)) throw past("FLASH");
        return image_.flashbuf[static_cast<std::size_t>(address)];
    case Target::eeprom:
        if (!inside(image_.eeprombuf)) throw past("EEPROM");
        return image_.eeprombuf[static_cast<std::size_t>(address)];
    case Target::config1: return image_.conf[0];
    case Target::config2: return image_.conf[1];
    case Target::temp: break;
    }
    return op_.temp;
}

std::int32_t Engine::check_word(Target target) {
    const std::int32_t value = cell(target, op_.counter);
    if (value >= 0 && value <= 0xFFFF) return value;
    const std::string what = target == Target::flash    ? "the FLASH word at " + hex4h(op_.counter)
                             : target == Target::eeprom ? "the EEPROM byte at " + hex4h(op_.counter)
                             : target == Target::config1 ? std::string("configuration word 1")
                                                         : std::string("configuration word 2");
    throw Fault{what + " holds " + std::to_string(value) + ", which is not a word from 0 to FFFFh"};
}

std::string Engine::location(Target target, std::int32_t address) {
    switch (target) {
    case Target::flash: return "FLASH Word " + hex4h(address);
    case Target::eeprom: return "EEPROM Byte " + hex4h(address);
    case Target::config1: return "CONF Word " + hex4h(config1_address);
    case Target::config2: return "CONF Word " + hex4h(config2_address);
    case Target::temp: break;
    }
    return "";
}

std::int32_t Engine::page() const {
    if (cur_.pagesize < 1) {
        throw Fault{"the page size of the device is " + std::to_string(cur_.pagesize) +
                    ", not a positive number"};
    }
    return cur_.pagesize;
}

std::int32_t Engine::find_after(const char* word) const {
    for (std::int32_t k = op_.ip + 1; k <= op_.algcount; ++k) {
        if (op_.alglines[static_cast<std::size_t>(k)] == word) return k;
    }
    throw Fault{std::string("no '") + word + "' follows it"};
}

void Engine::progress(Target target) {
    const auto count = [this](const char* head) {
        return head + std::to_string(static_cast<std::int64_t>(op_.counter) + 1) + "/" +
               std::to_string(static_cast<std::int64_t>(op_.loopend) + 1);
    };
    switch (target) {
    case Target::flash: host_.set_status(count("F:")); break;
    case Target::eeprom: host_.set_status(count("E:")); break;
    case Target::config1: host_.set_status("CONF1:"); break;
    case Target::config2: host_.set_status("CONF2:"); break;
    case Target::temp: return;
    }
    host_.yield();
}

bool Engine::unrequested_waiting() {
    return link_.settled() && (!rxqueue_.empty() || link_.input_waiting());
}

void Engine::send(SendResult result) {
    if (result == SendResult::refused) throw Fault{"a value cannot be put on the line"};
    if (result == SendResult::failed) throw Fault{"", Cause::link};
    ++messages_;
}

}  // namespace tessaly
