// The programming engine: runs a device's instruction list against the
// programmer, one step per received byte, from the start of an operation to
// its completion; handles received bytes and the Test Vpp switch. It owns
// opstate and works on the selected device and buffers it is given. Whatever
// the device data or the line does, it never reads or writes outside a buffer
// and never leaves the interface locked without an operation that can finish.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "devices/device.h"
#include "engine/host.h"
#include "engine/instruction.h"
#include "engine/operations.h"
#include "engine/opstate.h"
#include "engine/replycount.h"
#include "engine/senders.h"

namespace tessaly {

// Shown when an operation or Test Vpp is refused because one is under way;
// the main window uses it too for the actions that its live labels start.
inline constexpr const char* busy_text =
    "Busy: wait for the operation to end, or switch Test Vpp off!";

// A pending operation that hears nothing from the programmer for this long,
// plus its longest wait, is stopped.
inline constexpr std::int32_t reply_grace_ms = 5000;

// After its last reply an operation waits a quiet time before it says it has
// completed: a byte in that time means the replies were out of step. A byte
// nobody asked for is taken as the reply it lands in front of, and from there
// every reply is taken for the message after its own, so the run takes its
// last reply one exchange early and the real one is still to come. That last
// message went out when the reply before the last one taken came (T0), after
// the wait instruction in front of it (W); the programmer answers it one of
// its reply times (R) after it has answered the one before, at the last reply
// taken (T1). So the surplus byte is in by T1 + W + R. Each gap between two
// replies of a run holds at least one reply time of the programmer, so the
// longest gap seen (G) is at least R, and the quiet time is 2G + W: twice G
// for a last reply slower than any before it. Never less than quiet_ms, which
// covers the scheduling of a fast line and a USB adapter holding bytes for its
// 16 ms latency timer each way.
inline constexpr std::int32_t quiet_ms = 200;
std::int32_t quiet_time_ms(std::int64_t longest_gap_ms, std::int32_t longest_wait_ms);

std::string port_error_text(std::int32_t portnumber);

enum class StartResult {
    started,
    busy,         // an operation is pending or Test Vpp is on
    port_closed,  // refused with the port error status text
    stopped,      // refused or ended at once: the device data cannot run
};

class Engine {
public:
    // What the engine is doing. Every entry point looks at it first, and a
    // call that yields looks again after each yield: what ran in the yield may
    // have ended the run.
    enum class Phase {
        idle,           // nothing under way
        starting,       // the start routine, up to its first step
        running,        // steps follow the replies
        settling,       // the last reply is in: the quiet time before the completion
        stopping,       // a run is stopped or Test Vpp given up: its voltages-off goes out
        vpp_asking,     // Test Vpp on, its voltages-on message awaits its reply
        vpp_off_asked,  // switched off before that reply came: the off follows it
        vpp_on,         // Test Vpp on, answered
        vpp_leaving,    // Test Vpp off: its voltages-off awaits its reply
        ending,         // the program ends: the voltages-off is out, its reply awaited
    };

    Engine(Link& link, Host& host, SelectedDevice& cur, ChipImage& image);

    // The start-up state: nothing pending, interpreter at rest, Test Vpp off.
    void reset();

    // Refused (busy, and nothing changes) inside another engine call too: the
    // window holds such a click until that call has returned.
    StartResult start(Operation op);
    // The bytes read from the serial control's Input, in order. Bytes that come
    // inside another call of this wait for it; steps never nest.
    void MSComm1_OnComm(std::string_view input);
    // Returns false when refused (an operation is pending, the port is closed
    // when switching on, or another engine call is under way). Each voltage
    // message is owed its reply within the reply time, and the next goes out
    // only after it: a click that switches off before the voltages-on was
    // answered takes effect with that answer. An unanswered voltages-on
    // switches Test Vpp off again with a box that says the voltages may not be
    // on; an unanswered voltages-off is told too.
    bool label_vpp_Click();
    // The program is ending: a pending operation is stopped without a box and
    // Test Vpp is switched off; either way the voltages-off message goes out.
    // False when nothing was running, and nothing was sent. The window calls
    // it only between engine calls, so that no message is begun inside another.
    bool shut_down();
    // The program is ending (shut down, or a fault of the device data): the
    // voltages-off is out and the window ends once it is answered (or waited
    // for long enough).
    bool ending() const { return phase_ == Phase::ending; }
    // Every reply owed at shut_down, the voltages-off one last, has come.
    bool shut_down_answered() const { return link_.settled(); }
    // A call into the engine is under way (its yields and boxes let window
    // events run): what would start or end a run must wait until it has returned.
    bool inside() const { return calls_ > 0; }
    // Received bytes wait for their steps: taken inside another call, or held
    // behind the window's actions.
    bool bytes_waiting() const { return !rxqueue_.empty(); }
    // Called by the window when the reply timer has run out: a silent
    // programmer, or the quiet time after the last reply has passed.
    void reply_timeout();
    // The serial port was lost (why names it): a pending run ends at once,
    // even inside another call, which then does nothing more.
    void port_lost(const std::string& why);

    // An operation is pending, a run is being stopped, Test Vpp is on or its
    // voltages-off awaits its answer, or the program is ending: nothing else
    // may start.
    bool busy() const { return phase_ != Phase::idle; }
    // Test Vpp's voltages-off awaits its answer: one message at a time, so
    // what the user does next waits for it (a few milliseconds, or the reply
    // time when the programmer is silent).
    bool answer_awaited() const { return phase_ == Phase::vpp_leaving; }
    bool pending() const {
        return phase_ == Phase::starting || phase_ == Phase::running || phase_ == Phase::settling;
    }
    // The last reply is in; the operation completes when the quiet time passes.
    bool settling() const { return phase_ == Phase::settling; }
    std::int32_t reply_timeout_ms() const { return reply_grace_ms + longest_wait_ms_; }
    // The quiet time of the run that is settling, or of the last one that settled.
    std::int32_t settle_ms() const { return settle_ms_; }

    Phase phase() const { return phase_; }
    OpState& opstate() { return op_; }
    const OpState& opstate() const { return op_; }

private:
    enum class Target { flash, eeprom, config1, config2, temp };
    enum class Cause {
        device_data,  // the device list's data cannot run soundly
        link,         // the serial line failed
        out_of_step,  // a byte came that no message asked for
    };
    struct Fault {
        std::string reason;
        Cause cause = Cause::device_data;
    };
    // The run ended inside the step's own yields: the step does nothing more.
    struct Ended {};

    void enter(Phase phase);
    void algorithm_step();
    bool run_instruction(const std::string& text);  // false: the program ends
    void run_form(const Instruction& ins);
    void run_read(const Instruction& ins, Target target);
    void run_send(const Instruction& ins, Target target);
    void run_check(Form form);
    void run_loop_open(std::int32_t last);
    void run_loop();
    void run_ifpage();
    void run_unrecognized(const std::string& text);

    // The buffer cell at an address (FLASH, EEPROM) or the word of a target.
    std::int32_t& cell(Target target, std::int32_t address);
    std::int32_t check_word(Target target);  // the value to send, or a fault
    static std::string location(Target target, std::int32_t address);
    std::int32_t page() const;
    std::int32_t find_after(const char* word) const;
    void progress(Target target);
    template <typename... Params, typename... Args>
    void transmit(SendResult (*sender)(Link&, Params...), Args... args);
    void send(SendResult result);
    bool unrequested_waiting();
    void advance() { op_.ip += 1; }
    void take_reply();

    bool begin_run(const OperationInfo& info);
    void finish();
    void complete(const OperationInfo& info);
    void tell_wide_words(const WideWords& wide);
    void stop_operation(const std::string& status, const std::string& reason, bool silent = false);
    void stop_out_of_step();
    void stop_unanswered();
    void end_run();
    void vpp_on();
    void vpp_off();
    void vpp_answered();
    void vpp_unanswered();
    void vpp_off_unanswered();
    void switch_vpp_off();
    void leave_test_vpp();
    void send_voltages_off();
    void send_last_voltages_off();
    struct Entered;  // counts the calls under way; the host hears when the last returns
    void stop_on_fault(const Fault& fault, const std::string& text, std::int32_t number);
    std::int32_t longest_wait() const;
    void note_reply();
    std::int64_t compute_message_bound() const;
    void discard_stale();

    ReplyCount link_;  // the line, counting the replies still owed and those to drop
    Host& host_;
    SelectedDevice& cur_;
    ChipImage& image_;
    OpState op_;
    Phase phase_ = Phase::idle;
    const OperationInfo* running_ = nullptr;  // the operation of the last start
    int calls_ = 0;            // calls into the engine under way
    ChipImage before_;         // the buffers as a Read All found them
    bool loopopen_ = false;    // a loop-opening instruction has run in this operation
    std::int32_t loopcounter_ = 0;  // counter when the open loop was last evaluated
    std::int32_t longest_wait_ms_ = 0;  // the longest wait instruction of the running list
    std::int32_t settle_ms_ = quiet_ms;
    std::chrono::steady_clock::time_point last_reply_;  // or the start of the run
    std::chrono::steady_clock::duration longest_gap_{};  // between two replies of the run
    std::int64_t messages_ = 0;       // sent by the running operation
    std::int64_t message_bound_ = 0;  // the most its device data can soundly need
    std::deque<std::uint8_t> rxqueue_;
};

}  // namespace tessaly
