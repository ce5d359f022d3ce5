// Mismatch report lines, the 25-line cut, completion texts and elapsed time.
#include <gtest/gtest.h>

#include "devices/hextext.h"
#include "devices/msgbox.h"
#include "engine/report.h"
#include "fakes.h"

namespace tessaly::testing {
namespace {

const std::string header = "Memory Location,   Read Value,   Expected,\r\n";

struct CheckCase {
    const char* name;
    std::vector<std::string> list;
    std::int32_t readback;
    std::string line;  // "" when no mismatch
};

TEST(Report, LinePerCheckInstruction) {
    const CheckCase cases[] = {
        {"blank flash", {"temp=s04", "checkblankflash"}, 0x0000,
         "FLASH Word 0010h,   0000h,   3FFFh,\r\n"},
        {"blank flash ok", {"temp=s04", "checkblankflash"}, 0x3FFF, ""},
        {"blank eeprom", {"temp=s05", "checkblankeeprom"}, 0x0012,
         "EEPROM Byte 0005h,   12h,   FFh,\r\n"},
        {"blank eeprom high byte ignored", {"temp=s05", "checkblankeeprom"}, 0x12FF, ""},
        {"blank config1", {"temp=s04", "checkblankconfig1"}, 0x1234,
         "CONF Word 2007h,   1234h,   3FFFh,\r\n"},
        {"blank config2", {"temp=s04", "checkblankconfig2"}, 0x1234,
         "CONF Word 2008h,   1234h,   3FFEh,\r\n"},
        {"verify flash", {"temp=s04", "checkflash"}, 0x0ABC,
         "FLASH Word 0010h,   0ABCh,   0123h,\r\n"},
        {"verify eeprom", {"temp=s05", "checkeeprom"}, 0x0099,
         "EEPROM Byte 0005h,   99h,   42h,\r\n"},
        {"verify config1", {"temp=s04", "checkconfig1"}, 0x1234,
         "CONF Word 2007h,   1234h,   3FF2h,\r\n"},
        {"verify config2", {"temp=s04", "checkconfig2"}, 0x3FF0, ""},
        // A programmer that does not mask the word: compared and shown whole.
        {"blank flash unmasked", {"temp=s04", "checkblankflash"}, 0xFFFF,
         "FLASH Word 0010h,   FFFFh,   3FFFh,\r\n"},
        {"verify config1 unmasked", {"temp=s04", "checkconfig1"}, 0xFFFF,
         "CONF Word 2007h,   FFFFh,   3FF2h,\r\n"},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.cur.flashsize = 32;
        rig.cur.conferased = {0x3FFF, 0x3FFE};
        blank_buffers(rig.cur, rig.image);
        rig.image.flashbuf[0x10] = 0x0123;
        rig.image.eeprombuf[5] = 0x42;
        rig.image.conf = {0x3FF2, 0x3FF0};
        rig.readvalue = [&](int) { return c.readback; };
        std::vector<std::string> list = {"begin"};
        list.insert(list.end(), c.list.begin(), c.list.end());
        list.push_back("end");
        rig.lines(list);
        rig.engine.start(Operation::verify);
        const bool eeprom = c.list[1].find("eeprom") != std::string::npos;
        rig.engine.opstate().counter = eeprom ? 5 : 0x10;
        rig.run();
        const OpState& op = rig.engine.opstate();
        EXPECT_EQ(op.report, header + c.line);
        EXPECT_EQ(op.mismatches, c.line.empty() ? 0 : 1);
    }
}

TEST(Report, TwentyFifthLineJumpsToTheLastInstruction) {
    for (const std::int32_t word : {0x0000, 0xFFFF}) {
        SCOPED_TRACE(word);
        Rig rig;
        rig.cur.flashsize = 64;
        blank_buffers(rig.cur, rig.image);
        rig.readvalue = [word](int) { return word; };
        rig.lines({"begin", "setflashloop", "temp=s04", "checkblankflash", "s06", "loop", "end"});
        rig.engine.start(Operation::blank);
        rig.run();
        const OpState& op = rig.engine.opstate();
        EXPECT_EQ(op.mismatches, 25);
        EXPECT_EQ(rig.reads, 25);
        EXPECT_EQ(rig.link.written.back(), cmd_voltsoff);  // "end" still switches off
        EXPECT_EQ(rig.host.status.rfind("Chip is not blank. ", 0), 0u);
        ASSERT_EQ(rig.host.boxes.size(), 1u);
        EXPECT_EQ(rig.host.boxes[0].kind, box_error);
        EXPECT_EQ(rig.host.boxes[0].text, "Chip is not blank:\r\n\r\n" + op.report);
        EXPECT_NE(op.report.find("FLASH Word 0018h,   " + hex4h(word) + ",   3FFFh,\r\n"),
                  std::string::npos);
        EXPECT_EQ(op.report.find("FLASH Word 0019h"), std::string::npos);
    }
}

TEST(Report, CheckAsLastInstructionRunsOnceMoreAndCountsPastTheLimit) {
    Rig rig;
    OpState& op = rig.engine.opstate();
    rig.prime({"checkblankflash", "checkblankflash"});
    init_report(op);
    op.mismatches = 24;
    op.temp = 0;
    rig.step();  // 25th: ip jumps to the last
    EXPECT_EQ(op.ip, 3);
    rig.step();
    EXPECT_EQ(op.mismatches, 26);
    EXPECT_EQ(op.ip, 4);
}

TEST(Report, ChecksOfOtherOperationsAddToTheLastReportWithoutABox) {
    Rig rig;
    OpState& op = rig.engine.opstate();
    init_report(op);
    op.mismatches = 3;
    rig.readvalue = [](int) { return 0; };
    rig.lines({"begin", "temp=s04", "checkblankflash", "end"});
    rig.engine.start(Operation::program);
    rig.run();
    EXPECT_EQ(op.mismatches, 4);
    EXPECT_TRUE(rig.host.boxes.empty());
    EXPECT_EQ(rig.host.status.rfind("Chip programmed. ", 0), 0u);
}

TEST(Completion, TextsOfEveryOperation) {
    struct DoneCase {
        Operation op;
        std::int32_t readback;
        std::string status;
        std::string box;  // heading, "" for none
    };
    const DoneCase cases[] = {
        {Operation::program, 0, "Chip programmed. 12.25 seconds elapsed...", ""},
        {Operation::read, 0, "Chip read. 12.25 seconds elapsed...", ""},
        {Operation::erase, 0, "Chip erased. 12.25 seconds elapsed...", ""},
        {Operation::blank, 0x3FFF, "Chip is blank. 12.25 seconds elapsed...", ""},
        {Operation::blank, 0, "Chip is not blank. 12.25 seconds elapsed...", "Chip is not blank:"},
        {Operation::verify, 0x3FFF, "Chip verified. 12.25 seconds elapsed...", ""},
        {Operation::verify, 0, "Chip verify failed. 12.25 seconds elapsed...", "Chip verify failed:"},
    };
    for (const DoneCase& c : cases) {
        SCOPED_TRACE(c.status);
        Rig rig;
        rig.readvalue = [&](int) { return c.readback; };
        rig.lines({"begin", "temp=s04", "checkflash", "end"});
        rig.host.now = 1000.0;
        rig.engine.start(c.op);
        EXPECT_TRUE(rig.host.locked);
        rig.host.now = 1012.25;
        rig.run();
        EXPECT_FALSE(rig.host.locked);
        EXPECT_EQ(rig.host.status, c.status);
        EXPECT_EQ(rig.engine.opstate().elapsedtext, "12.25");
        EXPECT_EQ(rig.engine.opstate().opname, "");
        ASSERT_EQ(rig.host.boxes.size(), c.box.empty() ? 0u : 1u);
        if (!c.box.empty()) {
            EXPECT_EQ(rig.host.boxes[0].text,
                      c.box + "\r\n\r\n" + header + "FLASH Word 0000h,   0000h,   3FFFh,\r\n");
        }
    }
}

TEST(Completion, ReadBlanksAndRedrawsFirstAndRedrawsAtTheEnd) {
    Rig rig;
    rig.image.flashbuf[3] = 0;
    rig.readvalue = [](int) { return 0x0ABC; };
    rig.lines({"begin", "flash=s04", "end"});
    rig.engine.start(Operation::read);
    const Log atstart = rig.log;
    // The buffers were blanked and shown before the first byte went out.
    const auto redraw = std::find(atstart.begin(), atstart.end(), "updatedisplay");
    const auto first = std::find(atstart.begin(), atstart.end(), "w101");
    EXPECT_LT(redraw - atstart.begin(), first - atstart.begin());
    EXPECT_EQ(rig.image.flashbuf[3], blank_flash_word);
    rig.run();
    EXPECT_EQ(rig.image.flashbuf[0], 0x0ABC);
    EXPECT_EQ(std::count(rig.log.begin(), rig.log.end(), "updatedisplay"), 2);
}

TEST(Completion, ElapsedTextTruncatesToHundredths) {
    const std::pair<float, const char*> cases[] = {
        {12.25f, "12.25"}, {2.0625f, "2.06"}, {7.0f, "7.00"}, {0.5f, "0.50"},
        {59.999f, "59.99"}, {0.0f, "0.00"}, {0.0625f, "0.06"},
    };
    for (const auto& [t, text] : cases) EXPECT_EQ(elapsed_text(t), text) << t;
}

TEST(Completion, AcrossMidnightAddsADay) {
    EXPECT_FLOAT_EQ(elapsed_seconds(86399.5f, 1.25), 1.75f);
    EXPECT_FLOAT_EQ(elapsed_seconds(10.0f, 22.5), 12.5f);
    Rig rig;
    rig.host.now = 86399.5;
    rig.engine.start(Operation::erase);
    rig.host.now = 1.25;
    rig.run();
    EXPECT_EQ(rig.host.status, "Chip erased. 1.75 seconds elapsed...");
}

}  // namespace
}  // namespace tessaly::testing
