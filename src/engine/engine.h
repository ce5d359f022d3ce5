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
    Engine(Link& link, Host& host, SelectedDevice& cur, ChipImage& image);

    // The start-up state: nothing pending, interpreter at rest, Test Vpp off.
    void reset();

    StartResult start(Operation op);
    // The bytes read from the serial control's Input, in order.
    void MSComm1_OnComm(std::string_view input);
    // Returns false when refused (an operation is pending, or the port is
    // closed when switching on). The voltages-on message is owed its reply
    // within the reply time: without it Test Vpp is switched off again and a
    // box says the voltages may not be on.
    bool label_vpp_Click();
    // The program is ending: a pending operation is stopped without a box and
    // Test Vpp is switched off; either way the voltages-off message goes out.
    // False when nothing was running, and nothing was sent.
    bool shut_down();
    // Every reply owed at shut_down, the voltages-off one last, has come.
    bool shut_down_answered() const { return skip_ == 0 && link_.owed() == 0; }
    // A call into the engine is under way (its yields and boxes let window
    // events run): what would end the run must wait until it has returned.
    bool inside() const { return depth_ > 0; }
    // Called by the window when the reply timer has run out: a silent
    // programmer, or the quiet time after the last reply has passed.
    void reply_timeout();
    // The serial port was lost (why names it): a pending run ends at once.
    void port_lost(const std::string& why);

    void algorithm_step();

    // An operation is pending or Test Vpp is on: nothing else may start.
    bool busy() const { return active_ || op_.testvpp; }
    bool pending() const { return active_; }
    // The last reply is in; the operation completes when the quiet time passes.
    bool settling() const { return settling_ != nullptr; }
    std::int32_t reply_timeout_ms() const { return reply_grace_ms + longest_wait_ms_; }
    // The quiet time of the run that is settling, or of the last one that settled.
    std::int32_t settle_ms() const { return settle_ms_; }

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

    void finish();
    void complete(const OperationInfo& info);
    void tell_wide_words(const WideWords& wide);
    void stop_operation(const std::string& status, const std::string& reason, bool silent = false);
    void stop_out_of_step();
    void end_run();
    void vpp_unanswered();
    void switch_vpp_off();
    void leave_test_vpp();
    struct Entered;  // counts the calls under way
    void stop_on_fault(const Fault& fault, const std::string& text, std::int32_t number);
    std::int32_t longest_wait() const;
    void note_reply();
    std::int64_t compute_message_bound() const;
    void discard_stale();
    void forget_other_sessions();

    ReplyCount link_;          // the line, counting the replies still owed
    std::int64_t skip_ = 0;    // owed replies of earlier messages still to be dropped
    std::uint64_t session_ = 0;  // the line session that skip_ and the owed count belong to
    Host& host_;
    SelectedDevice& cur_;
    ChipImage& image_;
    OpState op_;
    bool active_ = false;     // from the start routine until completion or a stop
    const OperationInfo* settling_ = nullptr;  // waiting out the quiet time
    const OperationInfo* running_ = nullptr;   // the operation of the last start
    bool vpp_owed_ = false;   // Test Vpp's voltages-on message awaits its reply
    int depth_ = 0;           // calls into the engine under way
    bool restore_ = false;    // a stop puts back the buffers kept in before_
    ChipImage before_;        // the buffers as a Read All found them
    bool in_step_ = false;
    bool draining_ = false;
    bool loopopen_ = false;   // a loop-opening instruction has run in this operation
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
