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
    explicit Entered(Engine& e) : engine(e) { ++engine.calls_; }
    ~Entered() {
        if (--engine.calls_ == 0) engine.host_.engine_free();
    }
    Entered(const Entered&) = delete;
    Entered& operator=(const Entered&) = delete;
    Engine& engine;
};

Engine::Engine(Link& link, Host& host, SelectedDevice& cur, ChipImage& image)
    : link_(link), host_(host), cur_(cur), image_(image) {}

// opstate's Test Vpp flag always says what the phase says.
void Engine::enter(Phase phase) {
    phase_ = phase;
    op_.testvpp = phase == Phase::vpp_asking || phase == Phase::vpp_off_asked || phase == Phase::vpp_on;
}

void Engine::reset() {
    op_ = OpState{};
    enter(Phase::idle);
    running_ = nullptr;
    loopopen_ = false;
    rxqueue_.clear();
    link_.follow_session();
    link_.expect_nothing();
}

StartResult Engine::start(Operation which) {
    if (inside()) return StartResult::busy;
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
    if (!begin_run(info)) return StartResult::stopped;
    algorithm_step();
    if (phase_ != Phase::running && phase_ != Phase::settling) return StartResult::stopped;
    op_.opname = info.opname;
    return StartResult::started;
}

// The start routine up to its first step; false when the run was ended in
// one of its yields (the port lost), which has told the user why.
bool Engine::begin_run(const OperationInfo& info) {
    const std::vector<std::string>& lines = cur_.*info.lines;
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
    running_ = &info;
    // A read that does not complete puts these back: half a chip's words
    // over blank buffers would pass for the chip's contents.
    if (info.blanksfirst) before_ = image_;
    enter(Phase::starting);

    host_.disable();
    if (phase_ != Phase::starting) return false;
    host_.set_status(info.starttext);
    host_.yield();
    if (phase_ != Phase::starting) return false;
    if (info.blanksfirst) {
        blank_buffers(cur_, image_);
        host_.updatedisplay();
        host_.yield();
        if (phase_ != Phase::starting) return false;
    }
    discard_stale();
    op_.ip = 1;
    // Reset here, once, and not on every step at instruction 1: a list that
    // opens with a two-phase instruction would otherwise restart it for ever.
    op_.substep = 0;
    longest_gap_ = {};
    last_reply_ = std::chrono::steady_clock::now();
    enter(Phase::running);
    return true;
}

// Bytes that came in while no step was waiting (replies to Test Vpp, to the
// voltages-off of a stopped run, stray bytes) would otherwise be taken as the
// first replies of this run.
// Replies that are owed but not yet here (the reply to a voltages-off still on
// the line, or the last reply of a run that went one step ahead) are dropped
// as they arrive.
void Engine::discard_stale() {
    const std::size_t dropped = link_.discard_input() + rxqueue_.size();
    rxqueue_.clear();
    link_.set_aside(dropped);
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
    op_.opname.clear();
    enter(Phase::settling);
    const auto gap = std::chrono::ceil<std::chrono::milliseconds>(longest_gap_).count();
    settle_ms_ = quiet_time_ms(gap, longest_wait_ms_);
    host_.start_reply_timer(settle_ms_);
}

void Engine::complete(const OperationInfo& info) {
    enter(Phase::idle);
    // Everything shown is taken before the first yield.
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
void Engine::end_run() {
    host_.stop_reply_timer();
    op_.opname.clear();
    op_.ip = op_.algcount + 1;
    op_.substep = 0;
    op_.rxword = 0;
    send_voltages_off();
}

// Idle only once the voltages-off is on the line: what runs in its yields
// finds the engine still stopping. A failure to send it is ignored: the line
// may be what failed.
void Engine::send_voltages_off() {
    link_.set_rthreshold(0);
    enter(Phase::stopping);
    send_end(link_);
    enter(Phase::idle);
}

void Engine::stop_operation(const std::string& status, const std::string& reason, bool silent) {
    const bool restored = pending() && running_ != nullptr && running_->blanksfirst;
    // Its reply stays waiting with reception off and is dropped at the next start.
    end_run();
    // A programmer that fell silent, or a line that failed, owes nothing the
    // next run should wait for; whatever still comes is waiting at the next
    // start and dropped there.
    if (silent) link_.expect_nothing();
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

// A programmer that does not answer may not have carried out the last
// messages either, the voltages-off among them.
void Engine::stop_unanswered() {
    const char* meaning = running_ != nullptr ? running_->unfinished : nullptr;
    std::string reason = "The programmer did not answer";
    reason += meaning != nullptr ? std::string(": ") + meaning : std::string(".");
    reason += std::string(crlf) +
              "If it does not answer the voltages-off message either, the Vpp and Vdd voltages "
              "may still be on: switch the programmer off before taking the chip out.";
    stop_operation("Operation stopped: the programmer did not answer!", reason, true);
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
    // A call under way is not waiting for a reply: a step starts the timer
    // again at its end, and the others settle what the timer was for.
    if (inside()) return;
    const Entered entered(*this);
    switch (phase_) {
    case Phase::vpp_asking:
    case Phase::vpp_off_asked: vpp_unanswered(); return;
    case Phase::vpp_leaving: vpp_off_unanswered(); return;
    case Phase::settling:
        // Reception is off after the last step: a late byte waits unread.
        if (!rxqueue_.empty() || link_.input_waiting()) {
            stop_out_of_step();
        } else {
            complete(*running_);
        }
        return;
    case Phase::running: stop_unanswered(); return;
    default: return;
    }
}

void Engine::port_lost(const std::string& why) {
    const Entered entered(*this);
    link_.follow_session();
    if (op_.testvpp || phase_ == Phase::vpp_leaving) {
        // Nothing more can be sent or heard: the user must not be told the
        // voltages are on, nor off, nor wait for an answer that cannot come.
        const bool off_sent = phase_ == Phase::vpp_leaving;
        if (off_sent) {
            leave_test_vpp();
            host_.enable();  // the loss may have come in the off's own yields, before its unlock
        } else {
            switch_vpp_off();
        }
        host_.show_msgbox(why + "." + crlf +
                              (off_sent ? "The programmer had not answered the voltages-off message yet: it "
                                          "may still hold the Vpp and Vdd voltages on."
                                        : "Test Vpp has been switched off; the programmer may still hold "
                                          "the Vpp and Vdd voltages on."),
                          box_error);
        host_.yield();
        return;
    }
    if (!pending()) return;
    stop_operation("Operation stopped: the serial port was lost!", why + ".", true);
}

void Engine::MSComm1_OnComm(std::string_view input) {
    for (char c : input) rxqueue_.push_back(static_cast<std::uint8_t>(c));
    // A receive event raised inside another call only queues its bytes: the
    // loop below takes them, or the window hands them on once that call has
    // returned.
    if (inside()) return;
    const Entered entered(*this);
    link_.follow_session();
    // What the window held behind a step runs before the next byte is taken.
    while (!rxqueue_.empty() && !host_.actions_held()) {
        op_.rxbyte = rxqueue_.front();
        rxqueue_.pop_front();
        take_reply();
    }
}

// Each message is owed its reply and no more, and none can come before the
// message went out. While Test Vpp is on or nothing runs, a byte nobody asked
// for is dropped.
void Engine::take_reply() {
    const ReplyCount::Arrival arrival = link_.arrive();
    if (arrival == ReplyCount::Arrival::stale) return;
    if (arrival == ReplyCount::Arrival::unrequested) {
        if (pending()) stop_out_of_step();
        return;
    }
    if (link_.owed() == 0) vpp_answered();
    if (phase_ != Phase::running) return;
    note_reply();
    algorithm_step();
}

bool Engine::label_vpp_Click() {
    if (inside()) return false;
    const Entered entered(*this);
    switch (phase_) {
    case Phase::vpp_on: vpp_off(); return true;
    // One message at a time: the off follows the voltages-on's answer or its
    // time-out, and a further click takes it back.
    case Phase::vpp_asking: enter(Phase::vpp_off_asked); return true;
    case Phase::vpp_off_asked: enter(Phase::vpp_asking); return true;
    default: break;
    }
    if (busy()) {
        host_.set_status(busy_text);
        return false;
    }
    if (!host_.portopen()) {
        host_.set_status(port_error_text(host_.portnumber()));
        return false;
    }
    vpp_on();
    return true;
}

// Each yield may let the port be lost, which switches Test Vpp off and says so:
// then nothing more is sent or shown.
void Engine::vpp_on() {
    enter(Phase::vpp_asking);
    host_.disable();
    if (phase_ != Phase::vpp_asking) return;
    host_.set_status("Vpp and Vdd voltages turned ON!");
    // What waits now is no answer to this message.
    discard_stale();
    const SendResult sent = send_begin(link_, cur_.voltageseq);
    if (phase_ != Phase::vpp_asking) return;
    if (sent == SendResult::sent) {
        link_.set_rthreshold(1);
        host_.start_reply_timer(reply_grace_ms);
        return;
    }
    // A device whose voltage order sends nothing stays on, with nothing to await.
    enter(Phase::vpp_on);
    if (sent == SendResult::failed) host_.set_status(port_error_text(host_.portnumber()));
}

// The voltages-off is on the line before the unlock lets window events run,
// and the status says so before anything else can be shown. Reception comes
// on after the unlock's yield: a reply taken in it would wait unheard.
void Engine::vpp_off() {
    host_.stop_reply_timer();
    link_.set_rthreshold(0);
    enter(Phase::vpp_leaving);
    const SendResult sent = send_end(link_);
    if (phase_ != Phase::vpp_leaving) return;  // the port was lost in its yields, and that was told
    if (sent != SendResult::sent) enter(Phase::idle);
    host_.set_status(sent == SendResult::sent ? "Vpp and Vdd voltages turned OFF!"
                                              : port_error_text(host_.portnumber()));
    host_.enable();
    if (phase_ != Phase::vpp_leaving) return;
    link_.set_rthreshold(1);
    host_.start_reply_timer(reply_grace_ms);
}

// The voltage message that Test Vpp awaited has its answer.
void Engine::vpp_answered() {
    switch (phase_) {
    case Phase::vpp_asking:
        host_.stop_reply_timer();
        enter(Phase::vpp_on);
        return;
    case Phase::vpp_off_asked: vpp_off(); return;
    case Phase::vpp_leaving: leave_test_vpp(); return;
    default: return;
    }
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

// Nor the voltages-off message: the user must not take the chip out believing
// they are off.
void Engine::vpp_off_unanswered() {
    leave_test_vpp();
    link_.expect_nothing();
    host_.set_status("Test Vpp: the programmer did not answer the voltages-off message!");
    host_.show_msgbox("The programmer did not answer the voltages-off message: the Vpp and Vdd "
                      "voltages may still be on." + std::string(crlf) +
                          "Switch the programmer off before taking the chip out.",
                      box_error);
    host_.yield();
}

// Test Vpp ends without its answer: the voltages-off goes out all the same (a
// lost port refuses it), and a programmer that did not answer owes nothing the
// next run should wait for. Unlocked last: its yield may let window events run.
void Engine::switch_vpp_off() {
    host_.stop_reply_timer();
    send_voltages_off();
    link_.expect_nothing();
    host_.enable();
}

// Test Vpp is over in the engine: no answer awaited, no byte to hear.
void Engine::leave_test_vpp() {
    enter(Phase::idle);
    host_.stop_reply_timer();
    link_.set_rthreshold(0);
}

bool Engine::shut_down() {
    if (phase_ == Phase::ending) return true;
    const Entered entered(*this);
    if (phase_ == Phase::vpp_leaving) {
        // Test Vpp's voltages-off is out: its answer is the last one awaited.
        host_.stop_reply_timer();
        enter(Phase::ending);
        return true;
    }
    if (!busy()) return false;
    send_last_voltages_off();
    return true;
}

// The last message of the run: the voltages-off, heard after the replies
// still owed, with reception on so that the window can wait for its answer.
void Engine::send_last_voltages_off() {
    host_.stop_reply_timer();
    discard_stale();  // counts what waits queued, so that the answer is not taken for it
    end_run();
    enter(Phase::ending);
    link_.set_rthreshold(1);
}

}  // namespace tessaly
