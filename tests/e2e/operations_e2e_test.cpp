// Every operation of every model in the shipped device list, run by the engine
// against the simulated chip. The line is in memory and behaves like the
// serial control: bytes wait while reception is off and are handed over, all
// that wait at once, while it is on.
#include <gtest/gtest.h>

#include <memory>

#include "devices/devicelist.h"
#include "devices/hextext.h"
#include "devices/msgbox.h"
#include "engine/fakes.h"
#include "fixture.h"
#include "memorylink.h"
#include "protocol.h"
#include "simchip.h"

namespace tessaly::testing {
namespace {

DeviceList shipped_list() {
    DeviceList list;
    load_devices(std::string(TESSALY_SOURCE_DIR) + "/" + devicelist_filename, list);
    return list;
}

struct Bench {
    Log log;
    FakeHost host{log};
    SelectedDevice cur;
    ChipImage image;
    std::unique_ptr<sim::SimChip> chip;
    std::unique_ptr<sim::WireProtocol> protocol;
    std::unique_ptr<sim::MemoryLink> link;
    std::unique_ptr<Engine> engine;
    bool onebyte = false;  // a slow line: one receive event per byte

    Bench(const DeviceList& list, int index, sim::FaultPlan faults = {}) {
        EXPECT_EQ(select_device(list, index, cur), "");
        blank_buffers(cur, image);
        chip = std::make_unique<sim::SimChip>(sim::chip_shape(cur));
        protocol = std::make_unique<sim::WireProtocol>(*chip, faults);
        link = std::make_unique<sim::MemoryLink>(*protocol);
        engine = std::make_unique<Engine>(*link, host, cur, image);
        engine->reset();
    }

    // Starts an operation and hands over replies until nothing waits.
    std::string run(Operation op) {
        host.boxes.clear();
        EXPECT_EQ(engine->start(op), StartResult::started);
        for (std::string input = link->take(onebyte); !input.empty(); input = link->take(onebyte)) {
            engine->MSComm1_OnComm(input);
        }
        if (engine->settling()) engine->reply_timeout();
        return host.status;
    }
};

bool starts(const std::string& text, const std::string& head) { return text.rfind(head, 0) == 0; }

TEST(EndToEnd, EveryOperationOfEveryShippedModel) {
    const DeviceList list = shipped_list();
    ASSERT_GT(list.devcount, 0);
    for (int index = 1; index <= list.devcount; ++index) {
        Bench b(list, index);
        SCOPED_TRACE(b.cur.modelname);
        const ChipImage data = fixture(b.cur);

        EXPECT_TRUE(starts(b.run(Operation::erase), "Chip erased. "));
        EXPECT_TRUE(starts(b.run(Operation::blank), "Chip is blank. "));

        b.image = data;
        EXPECT_TRUE(starts(b.run(Operation::program), "Chip programmed. "));
        EXPECT_TRUE(starts(b.run(Operation::verify), "Chip verified. ")) << b.host.status;
        EXPECT_TRUE(b.host.boxes.empty()) << (b.host.boxes.empty() ? "" : b.host.boxes[0].text);

        b.image.flashbuf.assign(b.image.flashbuf.size(), 0);
        EXPECT_TRUE(starts(b.run(Operation::read), "Chip read. "));
        EXPECT_EQ(b.image.flashbuf, data.flashbuf);
        EXPECT_EQ(b.image.eeprombuf, data.eeprombuf);
        EXPECT_EQ(b.image.conf, data.conf);

        b.chip->set_flip_address(0x10);
        EXPECT_TRUE(starts(b.run(Operation::verify), "Chip verify failed. "));
        ASSERT_EQ(b.host.boxes.size(), 1u);
        const std::int32_t want = data.flashbuf[0x10];
        EXPECT_EQ(b.host.boxes[0].text,
                  "Chip verify failed:\r\n\r\nMemory Location,   Read Value,   Expected,\r\n"
                  "FLASH Word 0010h,   " + hex4h(want ^ 1) + ",   " + hex4h(want) + ",\r\n");
        b.chip->set_flip_address(-1);

        // Erase after programming must clear everything, configuration included.
        EXPECT_TRUE(starts(b.run(Operation::erase), "Chip erased. "));
        EXPECT_TRUE(starts(b.run(Operation::blank), "Chip is blank. ")) << b.host.status;
        EXPECT_TRUE(b.host.boxes.empty()) << (b.host.boxes.empty() ? "" : b.host.boxes[0].text);
    }
}

TEST(EndToEnd, ProgrammerThatStopsAnsweringIsTimedOut) {
    const DeviceList list = shipped_list();
    Bench b(list, 1, sim::FaultPlan{50, -1});
    b.image = fixture(b.cur);
    b.run(Operation::program);
    EXPECT_TRUE(b.engine->pending());
    EXPECT_GT(b.host.timerms, 0);
    b.engine->reply_timeout();
    EXPECT_FALSE(b.engine->busy());
    EXPECT_FALSE(b.host.locked);
    ASSERT_EQ(b.host.boxes.size(), 1u);
    EXPECT_NE(b.host.boxes[0].text.find("did not answer"), std::string::npos);
}

// An unrequested byte stops the run as out of step; the next operation must
// not inherit what is left on the line.
TEST(EndToEnd, ExtraByteDoesNotLeakIntoTheNextOperation) {
    const DeviceList list = shipped_list();
    Bench b(list, 1, sim::FaultPlan{-1, 5});
    b.onebyte = true;
    b.image = fixture(b.cur);
    EXPECT_EQ(b.run(Operation::program), "Operation stopped: the programmer's replies are out of step!");
    EXPECT_FALSE(b.engine->busy());
    EXPECT_TRUE(starts(b.run(Operation::program), "Chip programmed. ")) << b.host.status;
    EXPECT_TRUE(starts(b.run(Operation::verify), "Chip verified. ")) << b.host.status;
}

}  // namespace
}  // namespace tessaly::testing
