#include "engine/senders.h"

#include <gtest/gtest.h>

#include <functional>

#include "fakes.h"

namespace tessaly::testing {
namespace {

struct SenderCase {
    const char* name;
    std::function<SendResult(Link&)> send;
    std::vector<std::uint8_t> bytes;  // empty: refused
};

// The whole message goes on the line before its yields, one for each byte,
// let window events run; a refused value writes nothing.
TEST(Senders, ByteSequences) {
    const SenderCase cases[] = {
        {"begin vddvpp", [](Link& l) { return send_begin(l, 1); }, {101}},
        {"begin vppvdd", [](Link& l) { return send_begin(l, 2); }, {102}},
        {"begin order 0", [](Link& l) { return send_begin(l, 0); }, {}},
        {"begin order 3", [](Link& l) { return send_begin(l, 3); }, {}},
        {"end", [](Link& l) { return send_end(l); }, {103}},
        {"step", [](Link& l) { return send_step(l); }, {100}},
        {"read", [](Link& l) { return send_read(l); }, {106}},
        {"byte 0", [](Link& l) { return send_byte(l, 0); }, {104, 0}},
        {"byte 255", [](Link& l) { return send_byte(l, 255); }, {104, 255}},
        {"byte 256", [](Link& l) { return send_byte(l, 256); }, {}},
        {"byte -1", [](Link& l) { return send_byte(l, -1); }, {}},
        {"word 3FFF", [](Link& l) { return send_word(l, 0x3FFF); }, {105, 0xFF, 0x3F}},
        {"word 0", [](Link& l) { return send_word(l, 0); }, {105, 0, 0}},
        {"word 2007", [](Link& l) { return send_word(l, 0x2007); }, {105, 0x07, 0x20}},
        {"word FFFF", [](Link& l) { return send_word(l, 0xFFFF); }, {105, 0xFF, 0xFF}},
        {"word 10000", [](Link& l) { return send_word(l, 0x10000); }, {}},
        {"word -1", [](Link& l) { return send_word(l, -1); }, {}},
    };
    for (const SenderCase& c : cases) {
        SCOPED_TRACE(c.name);
        Log log;
        FakeLink link(log);
        const SendResult r = c.send(link);
        EXPECT_EQ(r, c.bytes.empty() ? SendResult::refused : SendResult::sent);
        EXPECT_EQ(link.written, c.bytes);
        Log expected;
        for (std::uint8_t b : c.bytes) expected.push_back("w" + std::to_string(b));
        if (!c.bytes.empty()) expected.push_back("sent");
        expected.insert(expected.end(), c.bytes.size(), "yield");
        EXPECT_EQ(log, expected);
    }
}

TEST(Senders, LinkFailureStopsTheMessage) {
    Log log;
    FakeLink link(log);
    link.failafter = 1;
    EXPECT_EQ(send_word(link, 0x1234), SendResult::failed);
    EXPECT_EQ(link.written, (std::vector<std::uint8_t>{105}));
}

}  // namespace
}  // namespace tessaly::testing
