// Starting operations, refusals, stopping a run that cannot go on, and Test Vpp.
#include <gtest/gtest.h>

#include "devices/msgbox.h"
#include "fakes.h"

namespace tessaly::testing {
namespace {

using Msgs = std::vector<std::vector<int>>;

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

// A reply still on the line when the run starts (the voltages-off of Test
// Vpp, the last reply of a run that went a step ahead) is dropped when it
// arrives, so the run's first step waits for its own reply.
TEST(Start, RepliesStillOwedAreDroppedWhenTheyArrive) {
    Rig rig;
    rig.lines({"begin", "s09", "end"});
    EXPECT_TRUE(rig.engine.label_vpp_Click());
    rig.engine.MSComm1_OnComm("\x01");
    EXPECT_TRUE(rig.engine.label_vpp_Click());  // 103 sent, its reply not yet here
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
    EXPECT_TRUE(rig.engine.label_vpp_Click());
    EXPECT_TRUE(rig.engine.label_vpp_Click());  // 101 and 103 out, no reply yet
    rig.lines({"s0g"});                          // stops at its first instruction
    EXPECT_EQ(rig.engine.start(Operation::erase), StartResult::stopped);
    rig.lines({"begin", "end"});
    rig.engine.start(Operation::erase);
    const std::size_t sent = rig.link.written.size();
    rig.engine.MSComm1_OnComm("\x01\x01\x01");  // 101, 103 and the stopped run's 103
    EXPECT_EQ(rig.link.written.size(), sent);
    EXPECT_TRUE(rig.engine.busy());
    rig.engine.MSComm1_OnComm("\x01");  // the reply to this run's begin
    EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
}

// An operation started while the previous one's completion yields keeps its
// name, completes normally, and gets none of the old event's leftover bytes.
TEST(Start, OperationStartedDuringCompletionCompletes) {
    Rig rig;
    rig.lines({"begin", "end"});
    rig.engine.start(Operation::erase);
    bool started = false;
    rig.host.onyield = [&] {
        if (started || rig.host.status.rfind("Chip erased. ", 0) != 0) return;
        started = true;
        EXPECT_EQ(rig.engine.start(Operation::program), StartResult::started);
    };
    rig.engine.MSComm1_OnComm("\x01");            // reply to 101
    rig.engine.MSComm1_OnComm("\x02\x03\x04");    // reply to 103, then two strays
    ASSERT_TRUE(started);
    EXPECT_EQ(rig.engine.opstate().opname, "program");
    EXPECT_EQ(rig.engine.opstate().ip, 2);  // the strays did not run its "end"
    rig.host.onyield = nullptr;
    rig.answered = rig.link.written.size() - 1;
    rig.run();
    EXPECT_EQ(rig.host.status.rfind("Chip programmed. ", 0), 0u);
    EXPECT_FALSE(rig.engine.busy());
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
    rig.engine.start(Operation::read);
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

// A FLASH or configuration word with bits above the 14th comes from no chip:
// the replies went out of step, and the run says so instead of succeeding.
TEST(Faults, ReadOutOfStepStopsAtTheFirstImpossibleWord) {
    const struct {
        const char* name;
        Operation op;
        std::vector<std::string> list;
        int bad;  // the read that returns the impossible word
        std::string what;
    } cases[] = {
        {"read all", Operation::read, {"begin", "setflashloop", "flash=s04", "loop", "end"}, 3,
         "FLASH word 0003h was read as FF68h"},
        {"verify", Operation::verify,
         {"begin", "setflashloop", "temp=s04", "checkflash", "loop", "end"}, 3,
         "FLASH word 0003h was read as FF68h"},
        {"configuration", Operation::read, {"begin", "s00-0000", "config1=s04", "end"}, 0,
         "Configuration word 2007h was read as FF68h"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.readvalue = [bad = c.bad](int n) { return n == bad ? 0xFF68 : 0x0123; };
        rig.lines(c.list);
        rig.engine.start(c.op);
        rig.run();
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        const std::string& text = rig.host.boxes[0].text;
        EXPECT_EQ(rig.host.boxes[0].kind, box_error);
        EXPECT_EQ(text.rfind(c.what, 0), 0u) << text;
        EXPECT_NE(text.find("out of step"), std::string::npos) << text;
        EXPECT_EQ(rig.host.status, "Operation stopped: the programmer's replies are out of step!");
        EXPECT_FALSE(rig.host.locked);
        EXPECT_FALSE(rig.engine.busy());
        EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
        // The words read before it stay; the impossible one is not stored.
        if (c.op == Operation::read && c.bad == 3) {
            EXPECT_EQ(rig.image.flashbuf[2], 0x0123);
            EXPECT_EQ(rig.image.flashbuf[3], blank_flash_word);
        }
        EXPECT_NE(std::find(rig.log.rbegin(), rig.log.rend(), "updatedisplay"), rig.log.rend());
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
    rig.host.open = false;
    EXPECT_TRUE(rig.engine.label_vpp_Click());
    EXPECT_FALSE(rig.engine.opstate().testvpp);
}

}  // namespace
}  // namespace tessaly::testing
