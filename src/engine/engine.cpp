// Start, completion and stop of operations, received bytes and Test Vpp.
// The instruction steps themselves are in interpreter.cpp.
#include "engine/engine.h"

#include <algorithm>
#include <utility>

#include "devices/crlf.h"
#include "devices/hextext.h"
#include "devices/msgbox.h"
#include "engine/report.h"

namespace tessaly {

std::int32_t quiet_time_ms(std::int64_t longest_gap_ms, std::int32_t longest_wait_ms) {
    const std::int64_t gap = std::clamp<std::int64_t>(longest_gap_ms, 0, reply_grace_ms + max_wait_ms);
    const std::int64_t wait = std::clamp<std::int32_t>(longest_wait_ms, 0, max_wait_ms);
    return static_cast<std::int32_t>(std::max<std::int64_t>(quiet_ms, 2 * gap + wait));
}

std::string port_error_text(std::int32_t portnumber) {
    return "Serial port " + std::to_string(portnumber) + " error!";
}

struct Engine::Entered {
    explicit Entered(Engine& e) : engine(e) { ++engine.depth_; }
    ~Entered() { --engine.depth_; }
    Entered(const Entered&) = delete;
    Entered& operator=(const Entered&) = delete;
    Engine& engine;
};

Engine::Engine(Link& link, Host& host, SelectedDevice& cur, ChipImage& image)
    : link_(link), host_(host), cur_(cur), image_(image) {}

void Engine::reset() {
    op_ = OpState{};
    active_ = false;
    settling_ = nullptr;
    running_ = nullptr;
    vpp_owed_ = false;
    restore_ = false;
    loopopen_ = false;
    rxqueue_.clear();
    link_.forget();
    skip_ = 0;
    session_ = link_.session();
}

StartResult Engine::start(Operation which) {
    const Entered entered(*this);
    const OperationInfo& info = operation_info(which);
    if (busy()) {
        host_.set_status(busy_text);
        return StartResult::busy;
    }
    if (!host_.portopen()) {
        host_.set_status(port_error_text(host_.portnumber()));
        return StartResult::port_closed;
    }
    const std::vector<std::string>& lines = cur_.*info.lines;
    if (lines.empty()) {
        // Nothing to send means nothing would ever complete the operation.
        host_.show_msgbox("The device has no instructions for this operation.", box_error);
        return StartResult::stopped;
    }
    op_.alglines.assign(1, "");
    op_.alglines.insert(op_.alglines.end(), lines.begin(), lines.end());
    op_.algcount = static_cast<std::int32_t>(lines.size());
    op_.counter = 0;
    op_.lastflash = cur_.flashsize - 1;
    op_.lasteeprom = cur_.eepromsize - 1;
    op_.starttime = static_cast<float>(host_.clock());
    if (info.checks) init_report(op_);
    loopopen_ = false;
    longest_wait_ms_ = longest_wait();
    messages_ = 0;
    message_bound_ = compute_message_bound();
    active_ = true;
    running_ = &info;

    host_.disable();
    host_.set_status(info.starttext);
    host_.yield();
    settling_ = nullptr;
    restore_ = info.blanksfirst;
    if (info.blanksfirst) {
        // A read that does not complete puts these back: half a chip's words
        // over blank buffers would pass for the chip's contents.
        before_ = image_;
        blank_buffers(cur_, image_);
        host_.updatedisplay();
        host_.yield();
    }
    discard_stale();
    op_.ip = 1;
    // Reset here, once, and not on every step at instruction 1: a list that
    // opens with a two-phase instruction would otherwise restart it for ever.
    op_.substep = 0;
    longest_gap_ = {};
    last_reply_ = std::chrono::steady_clock::now();
    algorithm_step();
    if (!active_) return StartResult::stopped;
    op_.opname = info.opname;
    return StartResult::started;
}

// Bytes that came in while no step was waiting (replies to Test Vpp, to the
// voltages-off of a stopped run, stray bytes) would otherwise be taken as the
// first replies of this run.
// Replies that are owed but not yet here (the reply to a voltages-off still on
// the line, or the last reply of a run that went one step ahead) are dropped
// as they arrive.
void Engine::discard_stale() {
    forget_other_sessions();
    const std::int64_t stale = skip_ + link_.owed();
    const std::int64_t dropped =
        static_cast<std::int64_t>(link_.discard_input() + rxqueue_.size());
    rxqueue_.clear();
    skip_ = std::max<std::int64_t>(stale - dropped, 0);
    link_.forget();
}

// Opening, closing or losing the port clears its input: what was owed on the
// old connection will never come.
void Engine::forget_other_sessions() {
    if (link_.session() == session_) return;
    session_ = link_.session();
    link_.forget();
    skip_ = 0;
}

std::int32_t Engine::longest_wait() const {
    std::int32_t longest = 0;
    for (std::int32_t k = 1; k <= op_.algcount; ++k) {
        const Instruction ins = decode_instruction(op_.alglines[k]);
        if (ins.form == Form::wait) longest = std::max(longest, ins.waitms);
        if (ins.form == Form::wprog) longest = std::max(longest, cur_.progtime);
    }
    return std::clamp<std::int32_t>(longest, 0, max_wait_ms);
}

void Engine::note_reply() {
    const auto now = std::chrono::steady_clock::now();
    longest_gap_ = std::max(longest_gap_, now - last_reply_);
    last_reply_ = now;
}

// Each instruction sends at most two messages each time it runs, and runs at
// most once for every address of the loop around it and once more to leave
// it. "calcflashpage" may round the last address up by less than a page.
std::int64_t Engine::compute_message_bound() const {
    const std::int64_t flash = std::max(cur_.flashsize, 0);
    const std::int64_t overrun = std::min<std::int64_t>(std::max(cur_.pagesize, 0), flash);
    const std::int64_t addresses = std::max<std::int64_t>(flash, cur_.eepromsize) + overrun;
    return 2 * static_cast<std::int64_t>(op_.algcount) * (addresses + 2);
}

// The last reply is in. The completion waits for the quiet time to pass
// (reply_timeout): a byte in that time shows the replies were out of step.
void Engine::finish() {
    // The name is taken before the completion runs: an operation started during
    // the completion's yields records its own name and must keep it.
    const std::string name = op_.opname;
    op_.opname.clear();
    const OperationInfo* info = find_operation(name);
    if (info == nullptr || !active_) return;
    settling_ = info;
    const auto gap = std::chrono::ceil<std::chrono::milliseconds>(longest_gap_).count();
    settle_ms_ = quiet_time_ms(gap, longest_wait_ms_);
    host_.start_reply_timer(settle_ms_);
}

void Engine::complete(const OperationInfo& info) {
    active_ = false;
    restore_ = false;
    // Everything shown is taken before the first yield: an operation started
    // inside it sets these fields anew.
    op_.starttime = elapsed_seconds(op_.starttime, host_.clock());
    op_.elapsedtext = elapsed_text(op_.starttime);
    const bool failed = info.checks && op_.mismatches != 0;
    const std::string status = std::string(failed ? info.failtext : info.donetext) +
                               op_.elapsedtext + " seconds elapsed...";
    const std::string box = failed ? std::string(info.boxtext) + crlf + crlf + op_.report : "";
    const WideWords wide = info.blanksfirst ? wide_words(cur_, image_) : WideWords{};
    host_.enable();
    host_.set_status(status);
    host_.yield();
    if (info.blanksfirst) {
        host_.updatedisplay();
        host_.yield();
        if (wide.count != 0) tell_wide_words(wide);
    }
    if (failed) {
        host_.show_msgbox(box, box_error);
        host_.yield();
    }
}

void Engine::tell_wide_words(const WideWords& wide) {
    const Target where = wide.first_address == config1_address   ? Target::config1
                         : wide.first_address == config2_address ? Target::config2
                                                                 : Target::flash;
    host_.show_msgbox(
        std::to_string(wide.count) +
            (wide.count == 1 ? " word read holds more than the 14 bits of a chip word: "
                             : " words read hold more than the 14 bits of a chip word, the first ") +
            location(where, wide.first_address) + " as " + hex4h(wide.first_word) + "." + crlf +
            "No chip gives such words: the socket may be empty, the chip may make poor contact, "
            "or the programmer does not mask the words it reads." + crlf +
            "The words are kept in the buffers as read; they cannot be saved as a HEX file.",
        box_info);
    host_.yield();
}

// The run is over: the interpreter at rest, the voltages-off message sent.
// A failure to send it is ignored: the line may be what failed.
void Engine::end_run() {
    active_ = false;
    settling_ = nullptr;
    host_.stop_reply_timer();
    op_.opname.clear();
    op_.ip = op_.algcount + 1;
    op_.substep = 0;
    op_.rxword = 0;
    link_.set_rthreshold(0);
    send_end(link_);
}

void Engine::stop_operation(const std::string& status, const std::string& reason, bool silent) {
    // Its reply stays waiting with reception off and is dropped at the next start.
    end_run();
    // A programmer that fell silent, or a line that failed, owes nothing the
    // next run should wait for; whatever still comes is waiting at the next
    // start and dropped there.
    if (silent) {
        link_.forget();
        skip_ = 0;
    }
    const bool restored = std::exchange(restore_, false);
    if (restored) image_ = before_;
    host_.updatedisplay();
    host_.enable();
    host_.set_status(status);
    host_.show_msgbox(reason + crlf +
                          (restored ? "The operation has been stopped; the buffers are back as "
                                      "they were before it."
                                    : "The operation has been stopped; the buffers are kept."),
                      box_error);
    host_.yield();
}

// Nothing is owed when a byte nobody asked for shows, so whatever waits with
// it is unrequested too and goes. The stop's voltages-off is owed as usual:
// the next run drops its reply however late it comes.
void Engine::stop_out_of_step() {
    rxqueue_.clear();
    link_.discard_input();
    const char* meaning = running_ != nullptr ? running_->shifted : "";
    stop_operation("Operation stopped: the programmer's replies are out of step!",
                   std::string("The programmer sent a byte that no message asked for: its replies "
                               "are out of step, and ") + meaning);
}

void Engine::stop_on_fault(const Fault& fault, const std::string& text, std::int32_t number) {
    if (fault.cause == Cause::out_of_step) {
        stop_out_of_step();
        return;
    }
    if (fault.cause == Cause::link) {
        const std::string why = link_.error_text();
        stop_operation(port_error_text(host_.portnumber()),
                       "Writing to the serial port failed" + (why.empty() ? "" : ": " + why) + ".",
                       true);
        return;
    }
    stop_operation("Operation stopped: device data error!",
                   "Symbolic instruction '" + text + "' (number " + std::to_string(number) +
                       ") cannot run: " + fault.reason + ".");
}

void Engine::reply_timeout() {
    const Entered entered(*this);
    if (vpp_owed_) {
        vpp_unanswered();
        return;
    }
    // A step under way is not waiting for a reply; the timer starts again at its end.
    if (!active_ || in_step_) return;
    if (settling_ != nullptr) {
        // Reception is off after the last step: a late byte waits unread.
        if (!rxqueue_.empty() || link_.input_waiting()) {
            stop_out_of_step();
        } else {
            complete(*std::exchange(settling_, nullptr));
        }
        return;
    }
    stop_operation("Operation stopped: the programmer did not answer!",
                   "The programmer did not answer.", true);
}

void Engine::port_lost(const std::string& why) {
    const Entered entered(*this);
    forget_other_sessions();
    if (op_.testvpp) {
        // Nothing more can be sent or heard: the user must not be told the
        // voltages are on, nor wait for an answer that cannot come.
        switch_vpp_off();
        host_.show_msgbox(why + "." + crlf +
                              "Test Vpp has been switched off; the programmer may still hold "
                              "the Vpp and Vdd voltages on.",
                          box_error);
        host_.yield();
        return;
    }
    if (!active_) return;
    stop_operation("Operation stopped: the serial port was lost!", why + ".", true);
}

void Engine::MSComm1_OnComm(std::string_view input) {
    const Entered entered(*this);
    for (char c : input) rxqueue_.push_back(static_cast<std::uint8_t>(c));
    // A receive event raised inside a step only queues its bytes: steps never nest.
    if (draining_) return;
    draining_ = true;
    forget_other_sessions();
    while (!rxqueue_.empty()) {
        op_.rxbyte = rxqueue_.front();
        rxqueue_.pop_front();
        if (skip_ > 0) {
            --skip_;
            continue;
        }
        // Each message is owed its reply and no more, and none can come before
        // the message went out.
        if (active_ && link_.owed() == 0) {
            stop_out_of_step();
            continue;
        }
        link_.received();
        if (active_) note_reply();
        if (vpp_owed_ && link_.owed() == 0) {
            vpp_owed_ = false;
            host_.stop_reply_timer();
        }
        algorithm_step();
    }
    draining_ = false;
}

bool Engine::label_vpp_Click() {
    const Entered entered(*this);
    if (active_) {
        host_.set_status(busy_text);
        return false;
    }
    if (!op_.testvpp && !host_.portopen()) {
        host_.set_status(port_error_text(host_.portnumber()));
        return false;
    }
    forget_other_sessions();
    op_.testvpp = !op_.testvpp;
    SendResult sent;
    if (op_.testvpp) {
        host_.disable();
        host_.set_status("Vpp and Vdd voltages turned ON!");
        // What waits now is no answer to this message.
        discard_stale();
        sent = send_begin(link_, cur_.voltageseq);
        if (sent == SendResult::sent) {
            vpp_owed_ = true;
            link_.set_rthreshold(1);
            host_.start_reply_timer(reply_grace_ms);
        }
    } else {
        leave_test_vpp();
        host_.enable();
        host_.set_status("Vpp and Vdd voltages turned OFF!");
        sent = send_end(link_);
    }
    if (sent == SendResult::failed) host_.set_status(port_error_text(host_.portnumber()));
    return true;
}

// Nothing answered the voltages-on message: the user must not go on believing
// the voltages are on.
void Engine::vpp_unanswered() {
    switch_vpp_off();
    host_.set_status("Test Vpp stopped: the programmer did not answer!");
    host_.show_msgbox("The programmer did not answer the voltages-on message: the Vpp and Vdd "
                      "voltages may not be on." + std::string(crlf) +
                          "Test Vpp has been switched off.",
                      box_error);
    host_.yield();
}

// Test Vpp ends without its answer: the voltages-off goes out all the same (a
// lost port refuses it), and a programmer that did not answer owes nothing the
// next run should wait for. Unlocked last: its yield may start that run.
void Engine::switch_vpp_off() {
    leave_test_vpp();
    send_end(link_);
    link_.forget();
    skip_ = 0;
    host_.enable();
}

// Test Vpp off in the engine: no answer awaited, no byte to hear.
void Engine::leave_test_vpp() {
    op_.testvpp = false;
    vpp_owed_ = false;
    host_.stop_reply_timer();
    link_.set_rthreshold(0);
}

bool Engine::shut_down() {
    if (!busy()) return false;
    leave_test_vpp();
    restore_ = false;
    rxqueue_.clear();
    // The replies owed so far come before the voltages-off one.
    discard_stale();
    end_run();
    link_.set_rthreshold(1);
    return true;
}

}  // namespace tessaly
