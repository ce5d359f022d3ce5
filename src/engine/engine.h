// The programming engine: runs a device's instruction list against the
// programmer, one step per received byte, from the start of an operation to
// its completion; handles received bytes and the Test Vpp switch. It owns
// opstate and works on the selected device and buffers it is given. Whatever
// the device data or the line does, it never reads or writes outside a buffer
// and never leaves the interface locked without an operation that can finish.
#pragma once

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

// After its last reply an operation waits this long before it says it has
// completed. A byte nobody asked for shifts every later reply by one, so the
// run takes its last reply one byte early and the real one follows one
// exchange later: 14 to 19 ms on a line paced at 1200 baud, the slowest rate
// (0.3 ms at 56000). A USB adapter holding bytes for its 16 ms latency timer
// each way keeps that near 50 ms. A byte in this time means the replies were
// out of step.
inline constexpr std::int32_t quiet_ms = 200;

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
    // closed when switching on).
    bool label_vpp_Click();
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
    std::int32_t reply_timeout_ms() const { return timeout_ms_; }

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
    void stop_on_fault(const Fault& fault, const std::string& text, std::int32_t number);
    std::int32_t compute_timeout() const;
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
    bool restore_ = false;    // a stop puts back the buffers kept in before_
    ChipImage before_;        // the buffers as a Read All found them
    bool in_step_ = false;
    bool draining_ = false;
    bool loopopen_ = false;   // a loop-opening instruction has run in this operation
    std::int32_t loopcounter_ = 0;  // counter when the open loop was last evaluated
    std::int32_t timeout_ms_ = reply_grace_ms;
    std::int64_t messages_ = 0;       // sent by the running operation
    std::int64_t message_bound_ = 0;  // the most its device data can soundly need
    std::deque<std::uint8_t> rxqueue_;
};

}  // namespace tessaly
