// What every byte link promises the engine, checked on each of them with one
// suite: the recording fake, the simulator joined in memory, and the serial
// control over a pseudo-terminal. Received bytes are handed over once each, in
// order, and a discard drops everything that waits, wherever it waits, and
// says how many it dropped.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <memory>
#include <string>

#include "engine/fakes.h"
#include "memorylink.h"
#include "platform/serialcontrol.h"
#include "platform/seriallink.h"
#include "ptypair.h"
#include "qtloop.h"

namespace tessaly::testing {
namespace {

// One link with a far end: bytes arrive from the programmer's side, and a
// receive event hands over what waits.
class LinkRig {
public:
    virtual ~LinkRig() = default;
    virtual Link& link() = 0;
    // The bytes come in from the far end; returns once the link says they wait.
    virtual void arrive(const std::string& bytes) = 0;
    // What receive events hand over from now until want bytes came (or a
    // short while has passed).
    virtual std::string receive(std::size_t want) = 0;
};

class FakeRig : public LinkRig {
public:
    Link& link() override { return link_; }
    void arrive(const std::string& bytes) override { link_.inbound += bytes; }
    std::string receive(std::size_t) override { return std::exchange(link_.inbound, {}); }

private:
    Log log_;
    FakeLink link_{log_};
};

class MemoryRig : public LinkRig {
public:
    MemoryRig() { link_.set_rthreshold(1); }
    Link& link() override { return link_; }
    void arrive(const std::string& bytes) override { link_.inbound += bytes; }
    std::string receive(std::size_t) override { return link_.take(false); }

private:
    sim::SimChip chip_{sim::ChipShape{}};
    sim::WireProtocol protocol_{chip_};
    sim::MemoryLink link_{protocol_};
};

// The far end writes to the pseudo-terminal; arrive() returns while the bytes
// are still in the driver, before the event loop lets the port read them.
class SerialRig : public LinkRig {
public:
    SerialRig() {
        test::ensure_app();
        ComPortMap map;
        map.override_lines("COM5=" + pty_.terminal_path());
        control_ = std::make_unique<SerialControl>(map);
        link_ = std::make_unique<SerialLink>(*control_);
        QObject::connect(control_.get(), &SerialControl::OnComm, [this] {
            for (std::uint8_t b : control_->Input()) got_ += static_cast<char>(b);
        });
        EXPECT_TRUE(control_->CommPort(5));
        EXPECT_TRUE(control_->PortOpen(true)) << control_->error_text();
        link_->set_rthreshold(1);
    }
    Link& link() override { return *link_; }
    void arrive(const std::string& bytes) override {
        ASSERT_TRUE(pty_.send(std::vector<std::uint8_t>(bytes.begin(), bytes.end())));
        // Only the driver's count can show them here: no event has run.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!link_->input_waiting() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(link_->input_waiting()) << "the bytes never reached the driver";
    }
    std::string receive(std::size_t want) override {
        test::spin_until([&] { return got_.size() >= want; }, want == 0 ? 100 : 5000);
        // A little longer, so that bytes beyond the wanted ones would show.
        test::spin_for(20);
        return std::exchange(got_, {});
    }

private:
    test::PtyPair pty_;
    std::unique_ptr<SerialControl> control_;
    std::unique_ptr<SerialLink> link_;
    std::string got_;
};

using RigMaker = std::function<std::unique_ptr<LinkRig>()>;

struct Kind {
    const char* name;
    RigMaker make;
};

void PrintTo(const Kind& kind, std::ostream* os) { *os << kind.name; }

class EveryLink : public ::testing::TestWithParam<Kind> {
protected:
    void SetUp() override { rig = GetParam().make(); }
    std::unique_ptr<LinkRig> rig;
};

// Every byte value, the zero byte and FFh among them.
const std::string all_values = [] {
    std::string s;
    for (int v = 0; v < 256; ++v) s += static_cast<char>(v);
    return s;
}();

TEST_P(EveryLink, NothingWaitsAtFirst) {
    EXPECT_FALSE(rig->link().input_waiting());
    EXPECT_EQ(rig->link().discard_input(), 0u);
    EXPECT_EQ(rig->receive(0), "");
}

TEST_P(EveryLink, BytesAreHandedOverOnceInTheOrderTheyCame) {
    rig->arrive(all_values);
    EXPECT_TRUE(rig->link().input_waiting());
    EXPECT_EQ(rig->receive(all_values.size()), all_values);
    EXPECT_FALSE(rig->link().input_waiting());
    rig->arrive("\x01\x02");
    rig->arrive("\x03");
    EXPECT_EQ(rig->receive(3), "\x01\x02\x03");
}

// Whatever waited at the discard is counted and never handed over; what comes
// after it is handed over as usual.
TEST_P(EveryLink, DiscardDropsEverythingThatWaitsAndCountsIt) {
    rig->arrive("\x10\x11\x12");
    EXPECT_EQ(rig->link().discard_input(), 3u);
    EXPECT_FALSE(rig->link().input_waiting());
    EXPECT_EQ(rig->link().discard_input(), 0u);
    EXPECT_EQ(rig->receive(0), "");
    rig->arrive("\x20");
    EXPECT_TRUE(rig->link().input_waiting());
    EXPECT_EQ(rig->receive(1), "\x20");
}

TEST_P(EveryLink, BytesAfterADiscardAreNotCountedTwice) {
    rig->arrive("\x10");
    EXPECT_EQ(rig->link().discard_input(), 1u);
    rig->arrive("\x11\x12");
    EXPECT_EQ(rig->link().discard_input(), 2u);
    EXPECT_FALSE(rig->link().input_waiting());
    rig->arrive("\x13");
    EXPECT_EQ(rig->receive(1), "\x13");
}

INSTANTIATE_TEST_SUITE_P(
    Links, EveryLink,
    ::testing::Values(Kind{"fake", [] { return std::unique_ptr<LinkRig>(new FakeRig); }},
                      Kind{"memory", [] { return std::unique_ptr<LinkRig>(new MemoryRig); }},
                      Kind{"serial", [] { return std::unique_ptr<LinkRig>(new SerialRig); }}),
    [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaly::testing
