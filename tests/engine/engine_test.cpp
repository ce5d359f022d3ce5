// Starting operations, refusals, stopping a run that cannot go on, and Test Vpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "devices/msgbox.h"
#include "fakes.h"

namespace tessaly::testing {
namespace {

using Msgs = std::vector<std::vector<int>>;

// A run started now takes the first reply as its begin's: nothing owed
// before it is waited for.
void expect_next_run_waits_for_its_own_reply(Rig& rig) {
    rig.lines({"begin", "s09", "end"});
    rig.engine.start(Operation::erase);
    rig.engine.MSComm1_OnComm("\x01");
    EXPECT_EQ(rig.link.written.back(), 0x09);
}

TEST(Start, ClosedPortChangesNothing) {
    Rig rig;
    rig.host.open = false;
    rig.image.flashbuf[0] = 0;
    EXPECT_EQ(rig.engine.start(Operation::read), StartResult::port_closed);
    EXPECT_EQ(rig.host.status, "Serial port 3 error!");
    EXPECT_EQ(rig.image.flashbuf[0], 0);
    EXPECT_TRUE(rig.log.empty());  // no lock, no yield, nothing sent
    EXPECT_FALSE(rig.engine.busy());
}

TEST(Start, SetsUpTheWorkingStateAndRecordsTheNameAfterTheFirstStep) {
    Rig rig;
    rig.cur.eepromsize = 0;
    blank_buffers(rig.cur, rig.image);
    std::string nameduringstep = "unset";
    rig.host.onyield = [&] { nameduringstep = rig.engine.opstate().opname; };
    EXPECT_EQ(rig.engine.start(Operation::verify), StartResult::started);
    const OpState& op = rig.engine.opstate();
    EXPECT_EQ(nameduringstep, "");
    EXPECT_EQ(op.opname, "verify");
    EXPECT_EQ(op.lastflash, 15);
    EXPECT_EQ(op.lasteeprom, -1);
    EXPECT_EQ(op.report, "Memory Location,   Read Value,   Expected,\r\n");
    EXPECT_EQ(rig.host.statuses.front(), "Begin verify.");
    EXPECT_EQ(rig.log.front(), "disable");
    EXPECT_EQ(rig.link.rthreshold, 1);
    EXPECT_EQ(rig.host.timerms, rig.engine.reply_timeout_ms());
}

// Replies to Test Vpp or to a stopped run's voltages-off must not count as
// the new run's replies.
TEST(Start, StaleBytesAreDiscardedBeforeTheFirstStep) {
    Rig rig;
    rig.engine.start(Operation::erase);
    const auto discard = std::find(rig.log.begin(), rig.log.end(), "discard");
    const auto first = std::find(rig.log.begin(), rig.log.end(), "w101");
    ASSERT_NE(discard, rig.log.end());
    EXPECT_LT(discard - rig.log.begin(), first - rig.log.begin());
}

// A reply still on the line when the run starts (the voltages-off of a run
// that was stopped, the last reply of a run that went a step ahead) is dropped
// when it arrives, so the run's first step waits for its own reply.
TEST(Start, RepliesStillOwedAreDroppedWhenTheyArrive) {
    Rig rig;
    rig.lines({"s0g"});  // stopped at its first instruction: its 103 is out, the reply not yet here
    EXPECT_EQ(rig.engine.start(Operation::erase), StartResult::stopped);
    rig.lines({"begin", "s09", "end"});
    rig.engine.start(Operation::erase);
    const std::size_t sent = rig.link.written.size();
    rig.engine.MSComm1_OnComm("\x01");  // the late reply to 103
    EXPECT_EQ(rig.link.written.size(), sent);
    rig.engine.MSComm1_OnComm("\x01");  // the reply to begin
    EXPECT_EQ(rig.link.written.back(), 0x09);
}

// A line that fails in the middle of a message owes nothing afterwards: once
// the port works again the next run takes its first reply as its own.
TEST(Start, AFailedLineOwesNothingToTheNextRun) {
    Rig rig;
    rig.lines({"begin", "s06", "end"});
    rig.link.failafter = 2;  // begin goes out, s06 stops after its code byte
    rig.engine.start(Operation::erase);
    rig.engine.MSComm1_OnComm("\x01");
    ASSERT_FALSE(rig.engine.busy());
    EXPECT_EQ(rig.host.status, "Serial port 3 error!");
    rig.link.failafter = -1;
    rig.link.written.clear();
    rig.engine.start(Operation::erase);
    rig.engine.MSComm1_OnComm("\x01");
    EXPECT_EQ(rig.link.written, (std::vector<std::uint8_t>{101, 104, 0x06}));
}

// Replies owed from before a start that was stopped at once stay owed at the
// next start, less the ones that have come by then.
TEST(Start, OwedRepliesAddUpAcrossStarts) {
    Rig rig;
    rig.lines({"s0g"});  // stops at its first instruction
    EXPECT_EQ(rig.engine.start(Operation::erase), StartResult::stopped);
    EXPECT_EQ(rig.engine.start(Operation::erase), StartResult::stopped);
    rig.lines({"begin", "end"});
    rig.engine.start(Operation::erase);
    const std::size_t sent = rig.link.written.size();
    rig.engine.MSComm1_OnComm("\x01\x01");  // the stopped runs' two 103s
    EXPECT_EQ(rig.link.written.size(), sent);
    EXPECT_TRUE(rig.engine.busy());
    rig.engine.MSComm1_OnComm("\x01");  // the reply to this run's begin
    EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
}

// Reopening the port clears its input: replies owed on the old connection
// are not waited for on the new one.
TEST(Start, RepliesOwedOnAnEarlierConnectionAreNotAwaited) {
    Rig rig;
    EXPECT_TRUE(rig.engine.label_vpp_Click());
    rig.engine.MSComm1_OnComm("\x01");
    EXPECT_TRUE(rig.engine.label_vpp_Click());  // 103 out, no reply yet
    rig.link.connection += 1;
    rig.engine.start(Operation::erase);
    rig.engine.MSComm1_OnComm("\x01");  // the reply to this run's begin
    EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
}

// The line going away ends a pending run at once; at rest it changes nothing.
TEST(Start, LostPortEndsAPendingRun) {
    Rig rig;
    rig.engine.port_lost("COM3 (/dev/x) was lost: gone");
    EXPECT_TRUE(rig.host.boxes.empty());
    rig.lines({"begin", "s06", "end"});
    rig.engine.start(Operation::erase);
    rig.engine.port_lost("COM3 (/dev/x) was lost: gone");
    EXPECT_FALSE(rig.engine.busy());
    EXPECT_FALSE(rig.host.locked);
    EXPECT_EQ(rig.host.timerms, 0);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].text.rfind("COM3 (/dev/x) was lost: gone.", 0), 0u);
    EXPECT_EQ(rig.host.status, "Operation stopped: the serial port was lost!");
}

// The lock, the unlock and the yields let window events run, so a click can
// reach the engine inside another of its calls. It is refused there and
// changes nothing (the window holds it until the call has returned), so no
// message is begun inside another and what the window shows of Test Vpp is
// what was last sent.
TEST(Nesting, AClickInsideAnotherCallIsRefused) {
    const struct {
        const char* name;
        std::function<void(Rig&, std::function<void()>)> arm;  // runs the click inside the call
        std::function<void(Rig&)> call;
    } cases[] = {
        {"the start's lock", [](Rig& r, auto click) { r.host.ondisable = click; },
         [](Rig& r) { r.engine.start(Operation::erase); }},
        {"the start's yield", [](Rig& r, auto click) { r.host.onyield = click; },
         [](Rig& r) { r.engine.start(Operation::erase); }},
        {"Test Vpp's lock", [](Rig& r, auto click) { r.host.ondisable = click; },
         [](Rig& r) { r.engine.label_vpp_Click(); }},
        {"Test Vpp's unlock", [](Rig& r, auto click) { r.host.onenable = click; },
         [](Rig& r) {
             r.engine.label_vpp_Click();
             r.step();
             r.engine.label_vpp_Click();
         }},
        {"a completion's unlock", [](Rig& r, auto click) { r.host.onenable = click; },
         [](Rig& r) {
             r.engine.start(Operation::erase);
             r.run();
         }},
        {"a stop's unlock", [](Rig& r, auto click) { r.host.onenable = click; },
         [](Rig& r) {
             r.engine.start(Operation::erase);
             r.engine.reply_timeout();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        int clicks = 0;
        c.arm(rig, [&] {
            if (clicks++ > 0) return;
            const std::size_t sent = rig.link.written.size();
            const std::string status = rig.host.status;
            const bool vpp = rig.engine.opstate().testvpp;
            EXPECT_EQ(rig.engine.start(Operation::verify), StartResult::busy);
            EXPECT_FALSE(rig.engine.label_vpp_Click());
            EXPECT_EQ(rig.link.written.size(), sent);
            EXPECT_EQ(rig.host.status, status);
            EXPECT_EQ(rig.engine.opstate().testvpp, vpp);
        });
        c.call(rig);
        EXPECT_EQ(clicks, 1);
        EXPECT_FALSE(rig.engine.inside());
    }
}

// A port lost in a yield ends what runs there and then, with its one box; the
// call it came in does nothing more: no message, no second box, no status.
TEST(Nesting, APortLostInsideACallEndsItThere) {
    using Lose = std::function<void()>;
    const struct {
        const char* name;
        std::function<void(Rig&, Lose)> call;  // puts lose where the case says, then calls
        const char* box;
        const char* status;
    } cases[] = {
        {"the start's lock",
         [](Rig& r, Lose lose) {
             r.host.ondisable = lose;
             r.engine.start(Operation::program);
         },
         "was lost: gone.", "Operation stopped: the serial port was lost!"},
        {"the start's yield",
         [](Rig& r, Lose lose) {
             r.host.onyield = lose;
             r.engine.start(Operation::program);
         },
         "was lost: gone.", "Operation stopped: the serial port was lost!"},
        {"a step's progress",
         [](Rig& r, Lose lose) {
             r.lines({"begin", "s02-flash", "end"});
             r.engine.start(Operation::program);
             r.host.onyield = lose;
             r.step();
         },
         "was lost: gone.", "Operation stopped: the serial port was lost!"},
        {"Test Vpp's lock",
         [](Rig& r, Lose lose) {
             r.host.ondisable = lose;
             r.engine.label_vpp_Click();
         },
         "Test Vpp has been switched off", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        std::size_t sent = 0;
        bool lost = false;
        c.call(rig, [&] {
            if (lost) return;
            lost = true;
            sent = rig.link.written.size();
            rig.link.connection += 1;
            rig.engine.port_lost("COM3 (/dev/x) was lost: gone");
        });
        ASSERT_TRUE(lost);
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_NE(rig.host.boxes[0].text.find(c.box), std::string::npos) << rig.host.boxes[0].text;
        // Only the voltages-off of the stop goes out after the loss.
        EXPECT_EQ(rig.link.written.size(), sent + 1);
        EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
        EXPECT_FALSE(rig.engine.busy());
        EXPECT_FALSE(rig.host.locked);
        EXPECT_EQ(rig.host.timerms, 0);
        if (c.status != nullptr) {
            EXPECT_EQ(rig.host.status, c.status);
        }
        EXPECT_NE(rig.host.status, "Vpp and Vdd voltages turned ON!");
    }
}

TEST(Start, BusyWhilePendingOrTestVppOn) {
    Rig rig;
    rig.engine.start(Operation::erase);
    const std::size_t sent = rig.link.written.size();
    EXPECT_EQ(rig.engine.start(Operation::program), StartResult::busy);
    EXPECT_EQ(rig.host.status, busy_text);
    EXPECT_FALSE(rig.engine.label_vpp_Click());
    EXPECT_FALSE(rig.engine.opstate().testvpp);
    EXPECT_EQ(rig.link.written.size(), sent);
    EXPECT_EQ(rig.engine.opstate().opname, "erase");

    Rig vpp;
    vpp.engine.label_vpp_Click();
    EXPECT_EQ(vpp.engine.start(Operation::read), StartResult::busy);
    EXPECT_EQ(vpp.link.written, (std::vector<std::uint8_t>{101}));
}

TEST(Timeout, NoAnswerStopsTheRunAndKeepsTheBuffers) {
    Rig rig;
    rig.cur.progtime = 20;
    rig.lines({"begin", "w30", "flash=s04", "wprog", "end"});
    rig.engine.start(Operation::program);
    EXPECT_EQ(rig.engine.reply_timeout_ms(), reply_grace_ms + 30);
    rig.engine.MSComm1_OnComm("\x01");  // reply to 101; the w30 step waits for its reply
    rig.engine.MSComm1_OnComm("\x01");  // 104 04 goes out
    rig.image.flashbuf[2] = 0x0042;     // e.g. edited meanwhile
    rig.log.clear();
    rig.engine.reply_timeout();
    EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
    EXPECT_EQ(rig.link.rthreshold, 0);
    EXPECT_FALSE(rig.host.locked);
    EXPECT_FALSE(rig.engine.busy());
    EXPECT_EQ(rig.host.timerms, 0);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].kind, box_error);
    EXPECT_NE(rig.host.boxes[0].text.find("did not answer"), std::string::npos);
    EXPECT_EQ(rig.host.status.find("Chip"), std::string::npos);
    EXPECT_EQ(rig.image.flashbuf[2], 0x0042);
    // A late reply finds nothing to run.
    const std::size_t sent = rig.link.written.size();
    rig.engine.MSComm1_OnComm("\x01\x01\x01");
    EXPECT_EQ(rig.link.written.size(), sent);
    EXPECT_EQ(rig.host.boxes.size(), 1u);
}

// What a silent programmer means is said for the operation it cut short, and
// that it may not have switched the voltages off either.
TEST(Timeout, TheBoxSaysWhatItMeansForTheOperation) {
    const struct {
        Operation op;
        const char* meaning;
    } cases[] = {
        {Operation::program, "did not answer: the chip may be partly programmed. Run Program All again."},
        {Operation::erase, "did not answer: the chip may be only partly erased. Run Erase All again."},
        {Operation::verify, "did not answer."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(operation_info(c.op).opname);
        Rig rig;
        rig.engine.start(c.op);
        rig.engine.reply_timeout();
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        const std::string& text = rig.host.boxes[0].text;
        EXPECT_NE(text.find(c.meaning), std::string::npos) << text;
        EXPECT_NE(text.find("the Vpp and Vdd voltages may still be on"), std::string::npos) << text;
    }
}

TEST(Timeout, IgnoredWhileAStepIsRunningOrNothingIsPending) {
    Rig rig;
    rig.engine.reply_timeout();
    EXPECT_TRUE(rig.host.boxes.empty());
    rig.lines({"begin", "s02-flash", "end"});
    rig.engine.start(Operation::program);
    rig.host.onyield = [&] { rig.engine.reply_timeout(); };  // fires inside the progress yield
    rig.run();
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_EQ(rig.host.status.rfind("Chip programmed. ", 0), 0u);
}

struct FaultCase {
    const char* name;
    std::vector<std::string> list;
    std::function<void(Rig&)> setup;
    std::string instruction;  // "'text' (number N)"
    std::string reason;
};

// Device data that cannot run soundly ends the operation with a message that
// names the instruction and the reason, voltages off and the interface unlocked.
TEST(Faults, DeviceDataThatCannotRunStopsTheOperation) {
    const auto none = [](Rig&) {};
    const FaultCase cases[] = {
        {"page size 0", {"begin", "calcflashpage", "end"}, [](Rig& r) { r.cur.pagesize = 0; },
         "'calcflashpage' (number 2)", "the page size of the device is 0, not a positive number"},
        {"ifpage page size 0", {"begin", "ifpage", "endifpage", "end"},
         [](Rig& r) { r.cur.pagesize = 0; }, "'ifpage' (number 2)", "not a positive number"},
        {"skipped loop never closed", {"begin", "calcflash", "setflashloop", "s06", "end"}, none,
         "'setflashloop' (number 3)", "no 'loop' follows it"},
        {"page block never closed", {"begin", "ifpage", "s08", "end"}, none, "'ifpage' (number 2)",
         "no 'endifpage' follows it"},
        {"loop without opening", {"begin", "loop", "end"}, none, "'loop' (number 2)",
         "no loop is open"},
        {"loop after its loop finished", {"begin", "setflashloop", "s02-flash", "loop", "loop", "end"},
         none, "'loop' (number 5)", "no loop is open"},
        // The page rounds the last address far past FLASH; a blank check loop
        // touches no buffer, so only the bound on messages ends it.
        {"loop past every size", {"begin", "calcflashpage", "setflashloop", "temp=s04",
                                  "checkblankflash", "loop", "end"},
         [](Rig& r) { r.cur.pagesize = 1 << 30; }, "'loop' (number 6)",
         "the most that the device's sizes and list allow"},
        {"loop that never moves", {"begin", "setflashloop", "s06", "loop", "end"}, none,
         "'loop' (number 4)", "its loop never moves to the next address"},
        {"non-hex XX", {"begin", "s0g-flash", "end"}, none, "'s0g-flash' (number 2)",
         "'0G' is not two hexadecimal digits"},
        {"non-hex YYYY", {"begin", "s00-3fgf", "end"}, none, "'s00-3fgf' (number 2)",
         "'3FGF' is not four hexadecimal digits"},
        {"config word -1", {"begin", "s02-config1", "end"},
         [](Rig& r) { r.image.conf[0] = -1; }, "'s02-config1' (number 2)",
         "configuration word 1 holds -1, which is not a word from 0 to FFFFh"},
        {"flash word too big", {"begin", "s02-flash", "end"},
         [](Rig& r) { r.image.flashbuf[0] = 0x10000; }, "'s02-flash' (number 2)",
         "the FLASH word at 0000h holds 65536"},
        {"partial last page", {"begin", "calcflashpage", "setflashloop", "s02-flash", "loop", "end"},
         [](Rig& r) {
             r.cur.flashsize = 10;
             blank_buffers(r.cur, r.image);
             r.image.flashbuf[9] = 0;
         },
         "'s02-flash' (number 4)", "FLASH address 000Ah is past the end of the buffer"},
        {"eeprom read past the end", {"begin", "seteepromloop", "eeprom=s05", "loop", "end"},
         [](Rig& r) { r.cur.eepromsize = 12; }, "'eeprom=s05' (number 3)",
         "EEPROM address 0008h is past the end of the buffer"},
        {"verify past the end", {"begin", "setflashloop", "temp=s04", "checkflash", "loop", "end"},
         [](Rig& r) { r.cur.flashsize = 17; }, "'checkflash' (number 4)",
         "FLASH address 0010h is past the end of the buffer"},
        {"negative wait", {"begin", "w-5", "end"}, none, "'w-5' (number 2)", "the wait is negative"},
        {"huge wait", {"begin", "w99999999999", "end"}, none, "'w99999999999' (number 2)",
         "longer than 60000 ms"},
        {"negative programming time", {"begin", "wprog", "end"}, [](Rig& r) { r.cur.progtime = -1; },
         "'wprog' (number 2)", "the programming time of -1 ms"},
        {"voltage order", {"begin", "end"}, [](Rig& r) { r.cur.voltageseq = 0; },
         "'begin' (number 1)", "the voltage order of the device is neither vddvpp nor vppvdd"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.setup(rig);
        rig.lines(c.list);
        rig.engine.start(Operation::program);
        rig.run();
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        const std::string& text = rig.host.boxes[0].text;
        EXPECT_EQ(rig.host.boxes[0].kind, box_error);
        EXPECT_EQ(text.rfind("Symbolic instruction " + c.instruction + " cannot run: ", 0), 0u)
            << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
        EXPECT_FALSE(rig.host.locked);
        EXPECT_FALSE(rig.engine.busy());
        EXPECT_FALSE(rig.host.ended);
        EXPECT_EQ(rig.host.status, "Operation stopped: device data error!");
    }
}

// A loop or page block that is entered needs no closing instruction: the
// list runs on past its body.
TEST(Faults, EnteredBlockWithoutItsCloseRunsOn) {
    const std::vector<std::string> lists[] = {
        {"begin", "setflashloop", "s02-flash", "end"},
        {"begin", "setflashloop", "s02-flash", "s02-flash", "s02-flash", "s02-flash", "ifpage",
         "s08", "end"},
    };
    for (const auto& list : lists) {
        SCOPED_TRACE(list.size());
        Rig rig;
        rig.lines(list);
        rig.engine.start(Operation::program);
        rig.run();
        EXPECT_TRUE(rig.host.boxes.empty());
        EXPECT_EQ(rig.host.status.rfind("Chip programmed. ", 0), 0u) << rig.host.status;
    }
}

// A value that cannot be sent is refused before its command byte goes out.
TEST(Faults, NothingOfTheRefusedInstructionIsSent) {
    Rig rig;
    rig.image.conf[0] = -1;
    rig.lines({"begin", "s02-config1", "end"});
    rig.engine.start(Operation::program);
    rig.run();
    EXPECT_EQ(rig.messages(), (Msgs{{101}, {103}}));
}

// Each message is owed its reply and no more, and no reply comes before its
// message went out: any other byte means the replies are out of step, and
// the run stops instead of completing.
TEST(OutOfStep, AByteNoMessageAskedForStopsTheRun) {
    const struct {
        const char* name;
        std::function<void(Rig&)> feed;
    } cases[] = {
        {"in the same input as a reply", [](Rig& r) { r.engine.MSComm1_OnComm("\x01\x02"); }},
        {"waiting when the next message is due",
         [](Rig& r) {
             r.link.inbound = "\x02";
             r.engine.MSComm1_OnComm("\x01");
         }},
        {"after the last reply, in its input",
         [](Rig& r) {
             r.engine.MSComm1_OnComm("\x01");
             r.engine.MSComm1_OnComm("\x01");
             r.engine.MSComm1_OnComm("\x01\x02");
         }},
        {"on its own in the quiet time",
         [](Rig& r) {
             for (int i = 0; i < 3; ++i) r.engine.MSComm1_OnComm("\x01");
             r.link.inbound = "\x02";
             r.quiet();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.lines({"begin", "w5", "end"});
        rig.engine.start(Operation::erase);
        c.feed(rig);
        EXPECT_EQ(rig.host.status, "Operation stopped: the programmer's replies are out of step!");
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_EQ(rig.host.boxes[0].kind, box_error);
        EXPECT_NE(rig.host.boxes[0].text.find("no message asked for"), std::string::npos);
        EXPECT_FALSE(rig.host.locked);
        EXPECT_FALSE(rig.engine.busy());
        EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
    }
}

TEST(OutOfStep, CompletionWaitsForTheQuietTime) {
    Rig rig;
    rig.engine.start(Operation::erase);
    rig.engine.MSComm1_OnComm("\x01");
    rig.engine.MSComm1_OnComm("\x01");
    EXPECT_TRUE(rig.engine.settling());
    EXPECT_TRUE(rig.host.locked);
    EXPECT_EQ(rig.host.timerms, quiet_ms);
    EXPECT_EQ(rig.host.status, "Begin erase all.");
    rig.engine.reply_timeout();
    EXPECT_EQ(rig.host.status.rfind("Chip erased. ", 0), 0u) << rig.host.status;
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_FALSE(rig.engine.busy());
}

// The quiet time follows the programmer's pace: twice the longest gap between
// two replies, plus the longest wait, and never below the floor.
TEST(OutOfStep, QuietTimeFollowsThePace) {
    const struct {
        std::int64_t gap;
        std::int32_t wait;
        std::int32_t quiet;
    } cases[] = {
        {0, 0, quiet_ms},        {1, 10, quiet_ms},     {99, 2, quiet_ms},
        {250, 0, 500},           {261, 10, 532},        {5010, 10, 10030},
        {-5, -1, quiet_ms},      {1'000'000'000, 1'000'000, 2 * (reply_grace_ms + max_wait_ms) + max_wait_ms},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(quiet_time_ms(c.gap, c.wait), c.quiet) << c.gap << " ms gap, " << c.wait << " ms wait";
    }
}

// A programmer that does not mask the word, or an empty socket, gives words
// wider than 14 bits. A Read All stores them as read and then says so; words
// of 14 bits end with no box.
TEST(WideWords, ReadAllKeepsThemAndTellsTheFirst) {
    const struct {
        const char* name;
        std::vector<std::string> list;
        std::function<std::int32_t(int)> word;
        std::string told;  // "" for no box
    } cases[] = {
        {"every FLASH word", {"begin", "setflashloop", "flash=s04", "loop", "end"},
         [](int) { return 0xFFFF; }, "16 words read hold more than the 14 bits of a chip word, "
                                     "the first FLASH Word 0000h as FFFFh."},
        {"one configuration word", {"begin", "setflashloop", "flash=s04", "loop", "config1=s04", "end"},
         [](int n) { return n == 16 ? 0x7F68 : 0x0123; },
         "1 word read holds more than the 14 bits of a chip word: CONF Word 2007h as 7F68h."},
        {"none", {"begin", "setflashloop", "flash=s04", "loop", "config1=s04", "end"},
         [](int) { return 0x3FFF; }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.readvalue = c.word;
        rig.lines(c.list);
        rig.engine.start(Operation::read);
        rig.run();
        EXPECT_EQ(rig.host.status.rfind("Chip read. ", 0), 0u) << rig.host.status;
        EXPECT_EQ(rig.image.flashbuf[0], c.word(0));
        EXPECT_FALSE(rig.engine.busy());
        if (c.told.empty()) {
            EXPECT_TRUE(rig.host.boxes.empty());
            continue;
        }
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_EQ(rig.host.boxes[0].kind, box_info);
        const std::string& text = rig.host.boxes[0].text;
        EXPECT_EQ(text.rfind(c.told, 0), 0u) << text;
        for (const char* cause : {"empty", "poor contact", "does not mask"}) {
            EXPECT_NE(text.find(cause), std::string::npos) << cause;
        }
    }
}

// Whatever ends a Read All early, the buffers go back to what they held
// before it, and the grids show them.
TEST(ReadAll, ThatDoesNotCompletePutsTheBuffersBack) {
    const struct {
        const char* name;
        std::function<void(Rig&)> stop;
        std::string status;
    } cases[] = {
        {"no answer", [](Rig& r) { r.engine.reply_timeout(); },
         "Operation stopped: the programmer did not answer!"},
        {"lost port", [](Rig& r) { r.engine.port_lost("COM3 (/dev/x) was lost: gone"); },
         "Operation stopped: the serial port was lost!"},
        {"out of step", [](Rig& r) { r.engine.MSComm1_OnComm("\x01\x01"); },
         "Operation stopped: the programmer's replies are out of step!"},
        {"device data",
         [](Rig& r) {
             r.cur.pagesize = 0;  // the next "ifpage" cannot run
             r.engine.MSComm1_OnComm("\x01");
             r.engine.MSComm1_OnComm("\x01\x01\x01");
         },
         "Operation stopped: device data error!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.image.flashbuf[1] = 0x0123;
        rig.image.eeprombuf[0] = 0x45;
        rig.image.conf[0] = 0x3FF1;
        const ChipImage before = rig.image;
        rig.readvalue = [](int) { return 0x0AAA; };
        rig.lines({"begin", "setflashloop", "flash=s04", "ifpage", "endifpage", "loop", "end"});
        rig.engine.start(Operation::read);
        for (int round = 0; round < 12; ++round) {
            for (char b : rig.replies()) rig.engine.MSComm1_OnComm(std::string(1, b));
        }
        ASSERT_EQ(rig.image.flashbuf[1], 0x0AAA);  // two words read
        rig.log.clear();
        c.stop(rig);
        EXPECT_EQ(rig.host.status, c.status);
        EXPECT_EQ(rig.image.flashbuf, before.flashbuf);
        EXPECT_EQ(rig.image.eeprombuf, before.eeprombuf);
        EXPECT_EQ(rig.image.conf, before.conf);
        EXPECT_NE(std::find(rig.log.begin(), rig.log.end(), "updatedisplay"), rig.log.end());
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_NE(rig.host.boxes[0].text.find("the buffers are back as they were before it"),
                  std::string::npos)
            << rig.host.boxes[0].text;
        EXPECT_FALSE(rig.engine.busy());
    }
}

TEST(Faults, FailedWriteStopsWithThePortError) {
    Rig rig;
    rig.lines({"begin", "s06", "end"});
    rig.engine.start(Operation::erase);
    rig.link.failafter = 1;
    rig.engine.MSComm1_OnComm("\x01");
    EXPECT_EQ(rig.host.status, "Serial port 3 error!");
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_FALSE(rig.host.locked);
    EXPECT_FALSE(rig.engine.busy());
}

TEST(TestVpp, SwitchesVoltagesAndLock) {
    struct VppCase {
        std::int32_t voltageseq;
        std::vector<std::uint8_t> on;
    };
    for (const VppCase& c : {VppCase{1, {101}}, VppCase{2, {102}}, VppCase{0, {}}}) {
        SCOPED_TRACE(c.voltageseq);
        Rig rig;
        rig.cur.voltageseq = c.voltageseq;
        EXPECT_TRUE(rig.engine.label_vpp_Click());
        EXPECT_TRUE(rig.host.locked);
        EXPECT_EQ(rig.host.status, "Vpp and Vdd voltages turned ON!");
        EXPECT_EQ(rig.link.written, c.on);
        rig.engine.MSComm1_OnComm("\x01");  // its reply is dropped
        EXPECT_EQ(rig.link.written, c.on);
        EXPECT_TRUE(rig.engine.label_vpp_Click());
        EXPECT_FALSE(rig.host.locked);
        EXPECT_EQ(rig.host.status, "Vpp and Vdd voltages turned OFF!");
        EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
    }
}

TEST(TestVpp, ClosedPortRefusesSwitchingOnButNotOff) {
    Rig rig;
    rig.host.open = false;
    EXPECT_FALSE(rig.engine.label_vpp_Click());
    EXPECT_EQ(rig.host.status, "Serial port 3 error!");
    EXPECT_FALSE(rig.engine.opstate().testvpp);
    rig.host.open = true;
    rig.engine.label_vpp_Click();
    rig.engine.MSComm1_OnComm("\x01");
    rig.host.open = false;
    EXPECT_TRUE(rig.engine.label_vpp_Click());
    EXPECT_FALSE(rig.engine.opstate().testvpp);
}

// The voltages-on message is owed its reply in the reply time: an answer keeps
// Test Vpp on as ever; none switches it off again and says the voltages may
// not be on.
TEST(TestVpp, NoAnswerSwitchesItOffAndSaysSo) {
    Rig rig;
    EXPECT_TRUE(rig.engine.label_vpp_Click());
    EXPECT_EQ(rig.host.timerms, reply_grace_ms);
    EXPECT_EQ(rig.link.rthreshold, 1);
    rig.engine.reply_timeout();
    EXPECT_FALSE(rig.engine.opstate().testvpp);
    EXPECT_FALSE(rig.engine.busy());
    EXPECT_FALSE(rig.host.locked);
    EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
    EXPECT_EQ(rig.host.status, "Test Vpp stopped: the programmer did not answer!");
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_EQ(rig.host.boxes[0].kind, box_error);
    EXPECT_NE(rig.host.boxes[0].text.find("may not be on"), std::string::npos);
    // Nothing of the silent switch is awaited by the next run.
    expect_next_run_waits_for_its_own_reply(rig);
}

TEST(TestVpp, AnAnswerKeepsItOn) {
    Rig rig;
    EXPECT_TRUE(rig.engine.label_vpp_Click());
    rig.engine.MSComm1_OnComm("\x01");
    EXPECT_EQ(rig.host.timerms, 0);
    EXPECT_TRUE(rig.engine.label_vpp_Click());  // off, and answered
    rig.engine.MSComm1_OnComm("\x01");
    EXPECT_TRUE(rig.engine.label_vpp_Click());
    EXPECT_EQ(rig.host.timerms, reply_grace_ms);
    rig.engine.MSComm1_OnComm("\x01");
    EXPECT_EQ(rig.host.timerms, 0);
    EXPECT_TRUE(rig.engine.opstate().testvpp);
    EXPECT_EQ(rig.host.status, "Vpp and Vdd voltages turned ON!");
    EXPECT_TRUE(rig.host.boxes.empty());
}

// Ending the program stops a pending run without a box, or switches Test Vpp
// off; the voltages-off message goes out and is awaited after what was owed.
TEST(ShutDown, SwitchesTheVoltagesOffWhateverRuns) {
    const struct {
        const char* name;
        std::function<void(Rig&)> begin;
        std::string replies;  // owed when it ends, the voltages-off reply last
    } cases[] = {
        {"a pending run", [](Rig& r) { r.engine.start(Operation::erase); }, "\x01\x01"},
        {"a settling run",
         [](Rig& r) {
             r.engine.start(Operation::erase);
             r.engine.MSComm1_OnComm("\x01");
             r.engine.MSComm1_OnComm("\x01");
             EXPECT_TRUE(r.engine.settling());
         },
         "\x01"},
        {"Test Vpp on", [](Rig& r) { r.engine.label_vpp_Click(); }, "\x01\x01"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        c.begin(rig);
        EXPECT_TRUE(rig.engine.shut_down());
        EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
        EXPECT_TRUE(rig.engine.ending());
        EXPECT_FALSE(rig.engine.pending());
        EXPECT_FALSE(rig.engine.opstate().testvpp);
        EXPECT_EQ(rig.engine.start(Operation::read), StartResult::busy);
        EXPECT_TRUE(rig.host.boxes.empty());
        for (char reply : c.replies) {
            EXPECT_FALSE(rig.engine.shut_down_answered());
            rig.engine.MSComm1_OnComm(std::string(1, reply));
        }
        EXPECT_TRUE(rig.engine.shut_down_answered());
    }
    Rig idle;
    EXPECT_FALSE(idle.engine.shut_down());
    EXPECT_TRUE(idle.link.written.empty());
}

// What replies out of step mean is said for the operation that met them.
TEST(OutOfStep, TheBoxSaysWhatItMeansForTheOperation) {
    const struct {
        Operation op;
        const char* meaning;
    } cases[] = {
        {Operation::program, "Run Program All again."},
        {Operation::erase, "Run Erase All again."},
        {Operation::read, "the words read may belong to other addresses"},
        {Operation::verify, "the words read may belong to other addresses"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(operation_info(c.op).opname);
        Rig rig;
        rig.engine.start(c.op);
        rig.engine.MSComm1_OnComm("\x01\x02");
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_NE(rig.host.boxes[0].text.find(c.meaning), std::string::npos) << rig.host.boxes[0].text;
    }
}

// A lost port ends Test Vpp at once and says so, rather than waiting for an
// answer that cannot come.
TEST(TestVpp, ALostPortSwitchesItOff) {
    Rig rig;
    EXPECT_TRUE(rig.engine.label_vpp_Click());
    rig.link.connection += 1;
    rig.engine.port_lost("COM3 (/dev/x) was lost: gone");
    EXPECT_FALSE(rig.engine.opstate().testvpp);
    EXPECT_FALSE(rig.engine.busy());
    EXPECT_FALSE(rig.host.locked);
    EXPECT_EQ(rig.host.timerms, 0);
    ASSERT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_NE(rig.host.boxes[0].text.find("was lost"), std::string::npos);
    EXPECT_NE(rig.host.boxes[0].text.find("Test Vpp has been switched off"), std::string::npos);
}

// One voltage message at a time: a click that switches off before the
// voltages-on was answered sends the off with that answer; the off is on the
// line before the unlock, and Test Vpp is over only once it is answered.
TEST(TestVpp, TheOffWaitsForTheOnsAnswer) {
    Rig rig;
    EXPECT_TRUE(rig.engine.label_vpp_Click());
    EXPECT_TRUE(rig.engine.label_vpp_Click());
    EXPECT_EQ(rig.link.written, (std::vector<std::uint8_t>{cmd_vddvpp}));
    EXPECT_EQ(rig.host.status, "Vpp and Vdd voltages turned ON!");
    EXPECT_TRUE(rig.host.locked);
    rig.log.clear();
    rig.engine.MSComm1_OnComm("\x01");
    EXPECT_EQ(rig.link.written, (std::vector<std::uint8_t>{cmd_vddvpp, cmd_voltsoff}));
    const auto at = [&](const char* what) { return std::find(rig.log.begin(), rig.log.end(), what); };
    EXPECT_LT(at("sent"), at("yield"));
    EXPECT_LT(at("sent"), at("enable"));
    EXPECT_EQ(rig.host.status, "Vpp and Vdd voltages turned OFF!");
    EXPECT_FALSE(rig.host.locked);
    EXPECT_FALSE(rig.engine.opstate().testvpp);
    EXPECT_TRUE(rig.engine.answer_awaited());  // nothing else goes out until it comes
    EXPECT_EQ(rig.host.timerms, reply_grace_ms);
    rig.engine.MSComm1_OnComm("\x01");
    EXPECT_EQ(rig.engine.phase(), Engine::Phase::idle);
    EXPECT_EQ(rig.host.timerms, 0);
    EXPECT_EQ(rig.link.rthreshold, 0);
    EXPECT_TRUE(rig.host.boxes.empty());
}

// Either voltage message left unanswered is told: the user must not believe
// the voltages on, nor take the chip out believing them off. Whatever the
// programmer still sends is not awaited by the next run.
TEST(TestVpp, AnUnansweredVoltageMessageIsTold) {
    const struct {
        const char* name;
        std::function<void(Rig&)> switch_off;
        const char* status;
        const char* box;
    } cases[] = {
        {"the on, with the off asked for", [](Rig& r) { r.engine.label_vpp_Click(); },
         "Test Vpp stopped: the programmer did not answer!", "may not be on"},
        {"the off",
         [](Rig& r) {
             r.engine.MSComm1_OnComm("\x01");
             r.engine.label_vpp_Click();
         },
         "Test Vpp: the programmer did not answer the voltages-off message!",
         "voltages may still be on"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.engine.label_vpp_Click();
        c.switch_off(rig);
        rig.engine.reply_timeout();
        EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
        EXPECT_EQ(rig.host.status, c.status);
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_NE(rig.host.boxes[0].text.find(c.box), std::string::npos) << rig.host.boxes[0].text;
        EXPECT_FALSE(rig.engine.busy());
        EXPECT_FALSE(rig.host.locked);
        expect_next_run_waits_for_its_own_reply(rig);
    }
}

// The window holds what the user does inside a step; the reply that came in
// the step waits until those actions have run and the window hands it on.
TEST(Gate, HeldActionsComeBeforeTheNextByte) {
    Rig rig;
    rig.lines({"begin", "s01", "s02", "end"});
    rig.engine.start(Operation::erase);
    EXPECT_EQ(rig.host.freed, 1);
    rig.link.onyield = [&] {  // in the step of s01: a click, and the reply
        rig.link.onyield = nullptr;
        rig.host.held = true;
        rig.engine.MSComm1_OnComm("\x01");
    };
    rig.engine.MSComm1_OnComm("\x01");  // the begin's reply
    EXPECT_EQ(rig.messages().size(), 2u);
    EXPECT_TRUE(rig.engine.bytes_waiting());
    EXPECT_EQ(rig.host.freed, 2);
    rig.host.held = false;
    rig.engine.MSComm1_OnComm("");
    EXPECT_FALSE(rig.engine.bytes_waiting());
    EXPECT_EQ(rig.messages().size(), 3u);
    EXPECT_EQ(rig.link.written.back(), 0x02);
}

// A port lost in the yields of Test Vpp's own voltages-off leaves nothing
// locked: the engine is idle, and so is the window.
TEST(TestVpp, APortLostInTheOffsYieldsUnlocks) {
    Rig rig;
    ASSERT_TRUE(rig.engine.label_vpp_Click());
    rig.engine.MSComm1_OnComm("\x01");
    ASSERT_EQ(rig.engine.phase(), Engine::Phase::vpp_on);
    rig.link.onyield = [&] {
        rig.link.onyield = nullptr;
        rig.host.open = false;
        rig.link.connection += 1;
        rig.engine.port_lost("COM3 (/dev/x) was lost: gone");
    };
    rig.engine.label_vpp_Click();
    EXPECT_EQ(rig.engine.phase(), Engine::Phase::idle);
    EXPECT_EQ(rig.host.boxes.size(), 1u);
    EXPECT_FALSE(rig.host.locked);
}

// While Test Vpp's voltages-off awaits its answer nothing else goes out.
TEST(TestVpp, NothingGoesOutWhileTheOffAwaitsItsAnswer) {
    const struct {
        const char* name;
        std::function<void(Rig&)> next;
    } cases[] = {
        {"Test Vpp on again", [](Rig& r) { r.engine.label_vpp_Click(); }},
        {"an operation", [](Rig& r) { r.engine.start(Operation::erase); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.engine.label_vpp_Click();
        rig.engine.MSComm1_OnComm("\x01");
        rig.engine.label_vpp_Click();
        ASSERT_TRUE(rig.engine.answer_awaited());
        c.next(rig);
        EXPECT_EQ(rig.link.written, (std::vector<std::uint8_t>{cmd_vddvpp, cmd_voltsoff}));
        EXPECT_EQ(rig.host.status, busy_text);
    }
}

// A reply held behind the window's actions is counted when the program ends
// there: the voltages-off's answer is not taken for it.
TEST(ShutDown, AReplyHeldBehindActionsIsNotTakenForTheAnswer) {
    Rig rig;
    rig.lines({"begin", "s01", "s02", "end"});
    rig.engine.start(Operation::erase);
    rig.link.onyield = [&] {
        rig.link.onyield = nullptr;
        rig.host.held = true;                 // the signal, held
        rig.engine.MSComm1_OnComm("\x01");  // the reply to 104 01, queued
    };
    rig.engine.MSComm1_OnComm("\x01");
    ASSERT_TRUE(rig.engine.bytes_waiting());
    rig.host.held = false;  // the window runs the signal's end
    ASSERT_TRUE(rig.engine.shut_down());
    rig.engine.MSComm1_OnComm("\x11");  // the voltages-off's answer
    EXPECT_TRUE(rig.engine.shut_down_answered());
}

}  // namespace
}  // namespace tessaly::testing
