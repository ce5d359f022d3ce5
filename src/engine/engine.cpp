// Start, completion and stop of operations, received bytes and Test Vpp.
// The instruction steps themselves are in interpreter.cpp.
#include "engine/engine.h"

#include <algorithm>

#include "devices/msgbox.h"
#include "engine/report.h"

namespace tessaly {
namespace {

const char* const crlf = "\r\n";

}  // namespace

std::string port_error_text(std::int32_t portnumber) {
    return "Serial port " + std::to_string(portnumber) + " error!";
}

Engine::Engine(Link& link, Host& host, SelectedDevice& cur, ChipImage& image)
    : link_(link), host_(host), cur_(cur), image_(image) {}

void Engine::reset() {
    op_ = OpState{};
    active_ = false;
    loopopen_ = false;
    rxqueue_.clear();
    link_.forget();
    skip_ = 0;
    session_ = link_.session();
}

StartResult Engine::start(Operation which) {
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
    timeout_ms_ = compute_timeout();
    messages_ = 0;
    message_bound_ = compute_message_bound();
    active_ = true;

    host_.disable();
    host_.set_status(info.starttext);
    host_.yield();
    if (info.blanksfirst) {
        blank_buffers(cur_, image_);
        host_.updatedisplay();
        host_.yield();
    }
    discard_stale();
    op_.ip = 1;
    // Reset here, once, and not on every step at instruction 1: a list that
    // opens with a two-phase instruction would otherwise restart it for ever.
    op_.substep = 0;
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

std::int32_t Engine::compute_timeout() const {
    std::int32_t longest = 0;
    for (std::int32_t k = 1; k <= op_.algcount; ++k) {
        const Instruction ins = decode_instruction(op_.alglines[k]);
        if (ins.form == Form::wait) longest = std::max(longest, ins.waitms);
        if (ins.form == Form::wprog) longest = std::max(longest, cur_.progtime);
    }
    return reply_grace_ms + std::clamp<std::int32_t>(longest, 0, max_wait_ms);
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

void Engine::finish() {
    // The name is taken before the completion runs: an operation started during
    // the completion's yields records its own name and must keep it.
    const std::string name = op_.opname;
    op_.opname.clear();
    const OperationInfo* info = find_operation(name);
    if (info == nullptr) return;
    active_ = false;
    host_.stop_reply_timer();
    complete(*info);
}

void Engine::complete(const OperationInfo& info) {
    host_.enable();
    op_.starttime = elapsed_seconds(op_.starttime, host_.clock());
    op_.elapsedtext = elapsed_text(op_.starttime);
    const bool failed = info.checks && op_.mismatches != 0;
    host_.set_status(std::string(failed ? info.failtext : info.donetext) + op_.elapsedtext +
                     " seconds elapsed...");
    host_.yield();
    if (info.blanksfirst) {
        host_.updatedisplay();
        host_.yield();
    }
    if (failed) {
        host_.show_msgbox(std::string(info.boxtext) + crlf + crlf + op_.report, box_error);
        host_.yield();
    }
}

void Engine::stop_operation(const std::string& status, const std::string& box, bool silent) {
    active_ = false;
    host_.stop_reply_timer();
    op_.opname.clear();
    op_.ip = op_.algcount + 1;
    op_.substep = 0;
    op_.rxword = 0;
    link_.set_rthreshold(0);
    // Its reply stays waiting with reception off and is dropped at the next start.
    // A failure here is ignored: the line may be what failed.
    send_end(link_);
    // A programmer that fell silent, or a line that failed, owes nothing the
    // next run should wait for; whatever still comes is waiting at the next
    // start and dropped there.
    if (silent) {
        link_.forget();
        skip_ = 0;
    }
    // The grids show what the buffers hold, a Read All's words so far included.
    host_.updatedisplay();
    host_.enable();
    host_.set_status(status);
    host_.show_msgbox(box, box_error);
    host_.yield();
}

void Engine::stop_on_fault(const Fault& fault, const std::string& text, std::int32_t number) {
    if (fault.cause == Cause::out_of_step) {
        stop_operation("Operation stopped: the programmer's replies are out of step!",
                       fault.reason + crlf + "The operation has been stopped; the buffers are kept.",
                       true);
        return;
    }
    if (fault.cause == Cause::link) {
        const std::string why = link_.error_text();
        stop_operation(port_error_text(host_.portnumber()),
                       "Writing to the serial port failed" + (why.empty() ? "" : ": " + why) + "." +
                           crlf + "The operation has been stopped; the buffers are kept.",
                       true);
        return;
    }
    stop_operation("Operation stopped: device data error!",
                   "Symbolic instruction '" + text + "' (number " + std::to_string(number) +
                       ") cannot run: " + fault.reason + "." + crlf +
                       "The operation has been stopped.");
}

void Engine::reply_timeout() {
    // A step under way is not waiting for a reply; the timer starts again at its end.
    if (!active_ || in_step_) return;
    stop_operation("Operation stopped: the programmer did not answer!",
                   std::string("The programmer did not answer.") + crlf +
                       "The operation has been stopped; the buffers are kept.",
                   true);
}

void Engine::port_lost(const std::string& why) {
    forget_other_sessions();
    if (!active_) return;
    stop_operation("Operation stopped: the serial port was lost!",
                   why + "." + crlf + "The operation has been stopped; the buffers are kept.", true);
}

void Engine::MSComm1_OnComm(std::string_view input) {
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
        link_.received();
        algorithm_step();
    }
    draining_ = false;
}

bool Engine::label_vpp_Click() {
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
        sent = send_begin(link_, cur_.voltageseq);
    } else {
        host_.enable();
        host_.set_status("Vpp and Vdd voltages turned OFF!");
        sent = send_end(link_);
    }
    if (sent == SendResult::failed) host_.set_status(port_error_text(host_.portnumber()));
    return true;
}

}  // namespace tessaly
