// Step semantics of the interpreter, run through whole small lists against
// the replying fake programmer, or single steps on a primed opstate.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "devices/msgbox.h"
#include "fakes.h"

namespace tessaly::testing {
namespace {

using Msgs = std::vector<std::vector<int>>;

struct MessageCase {
    const char* name;
    std::vector<std::string> list;
    Msgs messages;  // of the whole run, "end" (103) included
    std::vector<std::int32_t> sleeps;
};

TEST(Interpreter, MessagesPerInstructionForm) {
    const MessageCase cases[] = {
        {"begin", {"begin", "end"}, {{101}, {103}}, {}},
        {"s XX", {"s06", "end"}, {{104, 6}, {103}}, {}},
        {"s XX - YYYY", {"s00-3fff", "end"}, {{104, 0}, {105, 0xFF, 0x3F}, {103}}, {}},
        {"s XX -flash", {"s02-flash", "end"}, {{104, 2}, {105, 0x34, 0x12}, {103}}, {}},
        {"s XX -eeprom", {"s03-eeprom", "end"}, {{104, 3}, {105, 0xAB, 0}, {103}}, {}},
        {"s XX -config1", {"s02-config1", "end"}, {{104, 2}, {105, 0xF2, 0x3F}, {103}}, {}},
        {"s XX -config2", {"s02-config2", "end"}, {{104, 2}, {105, 0x07, 0x20}, {103}}, {}},
        {"read", {"flash=s04", "end"}, {{104, 4}, {106}, {103}}, {}},
        {"temp read", {"temp=s05", "end"}, {{104, 5}, {106}, {103}}, {}},
        {"wprog", {"wprog", "end"}, {{100}, {103}}, {10}},
        {"w5", {"w5", "end"}, {{100}, {103}}, {5}},
        {"w alone", {"w", "end"}, {{100}, {103}}, {0}},
        {"w2.5", {"w2.5", "end"}, {{100}, {103}}, {2}},
        {"calc and check", {"calcflash", "calceeprom", "checkblankconfig1", "end"},
         {{100}, {100}, {100}, {103}}, {}},
        {"endifpage", {"endifpage", "end"}, {{100}, {103}}, {}},
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.image.flashbuf[0] = 0x1234;
        rig.image.eeprombuf[0] = 0xAB;
        rig.image.conf = {0x3FF2, 0x2007};
        rig.lines(c.list);
        ASSERT_EQ(rig.engine.start(Operation::program), StartResult::started);
        rig.run();
        EXPECT_EQ(rig.messages(), c.messages);
        EXPECT_EQ(rig.host.sleeps, c.sleeps);
        EXPECT_EQ(rig.host.status.rfind("Chip programmed. ", 0), 0u) << rig.host.status;
    }
}

TEST(Interpreter, VoltageOrderTwoSendsVppFirst) {
    Rig rig;
    rig.cur.voltageseq = 2;
    rig.engine.start(Operation::erase);
    EXPECT_EQ(rig.link.written, (std::vector<std::uint8_t>{102}));
}

// The reply to the 104 sends the 106; the two data bytes send nothing; only
// the third byte runs the next instruction.
TEST(Interpreter, ReadAssemblesLowThenHighAndWaitsForTheThirdByte) {
    Rig rig;
    rig.prime({"flash=s04", "eeprom=s05", "config1=s04", "config2=s04", "temp=s04", "end"});
    OpState& op = rig.engine.opstate();
    const auto feed = [&](std::uint8_t b) { rig.engine.MSComm1_OnComm(std::string(1, char(b))); };
    const auto read = [&](std::uint8_t low, std::uint8_t high) {
        feed(0x11);  // reply to 104: sends 106
        const std::size_t before = rig.link.written.size();
        feed(low);
        feed(high);
        EXPECT_EQ(rig.link.written.size(), before);
        feed(0x55);  // runs the next instruction
    };
    rig.step();  // 104 04
    op.counter = 2;
    read(0xFF, 0xFF);
    EXPECT_EQ(rig.image.flashbuf[2], 0xFFFF);  // the whole word, not masked to 14 bits
    EXPECT_EQ(op.counter, 3);
    read(0x34, 0x12);
    EXPECT_EQ(rig.image.eeprombuf[3], 0x34);  // low byte only
    EXPECT_EQ(op.counter, 4);
    read(0xFE, 0x3F);
    EXPECT_EQ(rig.image.conf[0], 0x3FFE);
    read(0x00, 0x20);
    EXPECT_EQ(rig.image.conf[1], 0x2000);
    read(0xFF, 0xFF);
    EXPECT_EQ(op.temp, 0xFFFF);  // as read: what it means is up to the check
    EXPECT_EQ(op.counter, 4);  // configuration and temp reads leave it
    EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);
    EXPECT_EQ(op.substep, 0);
}

TEST(Interpreter, FlashLoopRunsItsBodyForEachAddressAndShowsProgress) {
    Rig rig;
    rig.lines({"begin", "setflashloop", "s02-flash", "loop", "end"});
    rig.cur.flashsize = 4;
    blank_buffers(rig.cur, rig.image);
    rig.engine.start(Operation::program);
    rig.run();
    int loads = 0;
    for (const auto& m : rig.messages()) loads += m == std::vector<int>{104, 2};
    EXPECT_EQ(loads, 4);
    std::vector<std::string> progress;
    for (const auto& s : rig.host.statuses) {
        if (s.rfind("F:", 0) == 0) progress.push_back(s);
    }
    EXPECT_EQ(progress, (std::vector<std::string>{"F:1/4", "F:2/4", "F:3/4", "F:4/4"}));
    EXPECT_EQ(rig.engine.opstate().counter, 0);
}

TEST(Interpreter, CalcflashOnBlankBufferSkipsTheLoop) {
    Rig rig;
    rig.lines({"begin", "calcflash", "setflashloop", "s02-flash", "loop", "calceeprom", "end"});
    rig.image.eeprombuf[5] = 0;
    rig.engine.start(Operation::program);
    rig.run();
    EXPECT_EQ(rig.messages(), (Msgs{{101}, {100}, {100}, {100}, {103}}));
    EXPECT_EQ(rig.engine.opstate().lastflash, -1);
    EXPECT_EQ(rig.engine.opstate().lasteeprom, 5);
}

TEST(Interpreter, CalcflashpageRoundsUpToTheEndOfThePage) {
    struct PageCase {
        std::int32_t highest;  // -1: all blank
        std::int32_t pagesize;
        std::int32_t lastflash;
    };
    const PageCase cases[] = {
        {0x21, 8, 0x27}, {0x27, 8, 0x27}, {0x28, 8, 0x2F}, {-1, 8, 7}, {-1, 1, -1}, {5, 1, 5},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.highest);
        Rig rig;
        rig.cur.flashsize = 64;
        rig.cur.pagesize = c.pagesize;
        blank_buffers(rig.cur, rig.image);
        if (c.highest >= 0) rig.image.flashbuf[c.highest] = 0;
        rig.prime({"calcflashpage", "end"});
        rig.step();
        EXPECT_EQ(rig.engine.opstate().lastflash, c.lastflash);
        EXPECT_EQ(rig.messages(), (Msgs{{104, 0}, {100}}));
    }
}

TEST(Interpreter, IfpageRunsItsBlockOnlyAtAFullPage) {
    const std::pair<std::int32_t, std::int32_t> cases[] = {{0, 4}, {4, 2}, {5, 4}, {8, 2}};
    for (const auto& [counter, nextip] : cases) {
        SCOPED_TRACE(counter);
        Rig rig;  // pagesize 4
        rig.prime({"ifpage", "s08", "endifpage", "end"});
        rig.engine.opstate().counter = counter;
        rig.step();
        EXPECT_EQ(rig.engine.opstate().ip, nextip + 1);
        EXPECT_EQ(rig.link.rthreshold, 1);
    }
}

TEST(Interpreter, PagedProgramWritesEachFullRow) {
    Rig rig;
    rig.cur.flashsize = 16;
    blank_buffers(rig.cur, rig.image);
    rig.image.flashbuf[5] = 0x0123;  // second page of four
    rig.lines({"begin", "calcflashpage", "setflashloop", "s02-flash", "ifpage", "s08", "wprog",
               "endifpage", "s06", "loop", "end"});
    rig.engine.start(Operation::program);
    rig.run();
    int cycles = 0, loads = 0;
    for (const auto& m : rig.messages()) {
        cycles += m == std::vector<int>{104, 8};
        loads += m == std::vector<int>{104, 2};
    }
    EXPECT_EQ(loads, 8);
    EXPECT_EQ(cycles, 2);
    EXPECT_EQ(rig.host.sleeps, (std::vector<std::int32_t>{10, 10}));
}

TEST(Interpreter, ReceptionIsOffDuringEveryStepAndOnAfterIt) {
    Rig rig;
    rig.lines({"begin", "s00-3fff", "end"});
    rig.engine.start(Operation::erase);
    rig.run();
    // Every write lies between an rt0 and the next rt1.
    bool off = false;
    for (const std::string& e : rig.log) {
        if (e == "rt0") off = true;
        if (e == "rt1") off = false;
        if (e[0] == 'w') {
            EXPECT_TRUE(off) << e;
        }
    }
    EXPECT_EQ(rig.link.rthreshold, 0);  // off after the completing step
}

TEST(Interpreter, TestVppDropsBytesWithoutTouchingAnything) {
    Rig rig;
    rig.engine.label_vpp_Click();
    rig.step();  // the voltages-on answered
    const std::size_t logsize = rig.log.size();
    const OpState before = rig.engine.opstate();
    rig.engine.MSComm1_OnComm("\x07");
    EXPECT_EQ(rig.engine.opstate().rxbyte, 7);
    EXPECT_EQ(rig.engine.opstate().ip, before.ip);
    EXPECT_EQ(rig.engine.opstate().substep, before.substep);
    EXPECT_EQ(rig.log.size(), logsize);  // not even the receive switch
}

TEST(Interpreter, AtRestAByteDoesNothing) {
    Rig rig;
    rig.engine.MSComm1_OnComm("\x01\x02");
    EXPECT_TRUE(rig.log.empty());
    EXPECT_TRUE(rig.host.statuses.empty());
}

// A read's three reply bytes may come in one receive event: one step each.
TEST(Interpreter, BytesOfOneEventRunInOrder) {
    Rig rig;
    rig.lines({"begin", "flash=s04", "end"});
    rig.engine.start(Operation::erase);
    rig.engine.MSComm1_OnComm("\x01");  // 104 04 goes out
    rig.engine.MSComm1_OnComm("\x01");  // 106 goes out
    rig.engine.MSComm1_OnComm("\x34\x12\x55");
    EXPECT_EQ(rig.image.flashbuf[0], 0x1234);
    EXPECT_EQ(rig.messages(), (Msgs{{101}, {104, 4}, {106}, {103}}));
    rig.engine.MSComm1_OnComm("\x01");
    rig.quiet();
    EXPECT_EQ(rig.host.status.rfind("Chip erased. ", 0), 0u) << rig.host.status;
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_FALSE(rig.engine.pending());
}

// The program ends, but not with the chip powered: the voltages-off is on the
// line, with reception on for its answer, before the box waits on the user.
TEST(Interpreter, UnrecognizedInstructionSwitchesTheVoltagesOffAndEndsTheProgram) {
    for (const char* bad : {"", "s0", " begin", "s061", "Begin"}) {
        SCOPED_TRACE(bad);
        Rig rig;
        rig.lines({"begin", bad, "end"});
        rig.engine.start(Operation::program);
        rig.log.clear();
        rig.step();
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_EQ(rig.host.boxes[0].text, std::string("Unrecognized symbolic instruction '") + bad +
                                              "'.\r\nThe program must end.");
        EXPECT_EQ(rig.host.boxes[0].kind, box_error);
        EXPECT_TRUE(rig.host.ended);
        EXPECT_EQ(rig.messages(), (Msgs{{101}, {103}}));
        EXPECT_EQ(rig.log, (Log{"rt0", "discard", "rt0", "w103", "sent", "yield", "rt1", "box"}));
        EXPECT_TRUE(rig.engine.ending());
        EXPECT_FALSE(rig.engine.shut_down_answered());
        rig.step();
        EXPECT_TRUE(rig.engine.shut_down_answered());
        EXPECT_TRUE(rig.engine.busy());  // nothing more starts
    }
}

}  // namespace
}  // namespace tessaly::testing
