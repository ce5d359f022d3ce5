// The progress texts of the status line while an operation runs: the address
// count of FLASH and EEPROM steps, the configuration word steps, and none at
// all for the temporary reads.
#include <gtest/gtest.h>

#include <algorithm>

#include "fakes.h"

namespace tessaly::testing {
namespace {

// What the status line showed between the start text and the completion text.
std::vector<std::string> progress(const Rig& rig) {
    const auto& all = rig.host.statuses;
    if (all.size() < 2) return {};
    return {all.begin() + 1, all.end() - 1};
}

long yields(const Rig& rig) { return std::count(rig.log.begin(), rig.log.end(), "hyield"); }

}  // namespace

TEST(Progress, TextsOfEachKindOfStep) {
    using Texts = std::vector<std::string>;
    const struct {
        const char* name;
        Operation op;
        std::vector<std::string> lines;
        Texts texts;
    } cases[] = {
        {"EEPROM writes up to the last programmed byte", Operation::program,
         {"begin", "calceeprom", "seteepromloop", "s03-eeprom", "loop", "end"}, {"E:1/3", "E:2/3", "E:3/3"}},
        {"EEPROM reads", Operation::read,
         {"begin", "seteepromloop", "eeprom=s05", "loop", "end"},
         {"E:1/8", "E:2/8", "E:3/8", "E:4/8", "E:5/8", "E:6/8", "E:7/8", "E:8/8"}},
        {"EEPROM checks", Operation::blank,
         {"begin", "calceeprom", "seteepromloop", "temp=s05", "checkblankeeprom", "loop", "end"},
         {"E:1/3", "E:2/3", "E:3/3"}},
        {"configuration writes", Operation::program, {"begin", "s02-config1", "s02-config2", "end"},
         {"CONF1:", "CONF2:"}},
        {"configuration reads", Operation::read, {"begin", "config1=s04", "config2=s04", "end"},
         {"CONF1:", "CONF2:"}},
        {"configuration checks", Operation::verify,
         {"begin", "temp=s04", "checkconfig1", "temp=s04", "checkblankconfig2", "end"}, {"CONF1:", "CONF2:"}},
        {"temporary reads show nothing", Operation::verify, {"begin", "temp=s04", "temp=s05", "end"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        rig.lines(c.lines);
        rig.image.eeprombuf[2] = 0x12;  // the last programmed EEPROM byte
        rig.engine.start(c.op);
        rig.run();
        EXPECT_FALSE(rig.engine.pending());
        EXPECT_EQ(progress(rig), c.texts);
    }
}

TEST(Progress, TemporaryReadsDoNotYield) {
    Rig plain;
    plain.lines({"begin", "s04", "s05", "end"});
    plain.engine.start(Operation::verify);
    plain.run();
    Rig temp;
    temp.lines({"begin", "temp=s04", "temp=s05", "end"});
    temp.engine.start(Operation::verify);
    temp.run();
    EXPECT_EQ(temp.engine.opstate().temp, 0x3FFF);
    EXPECT_EQ(yields(temp), yields(plain));
}

}  // namespace tessaly::testing
