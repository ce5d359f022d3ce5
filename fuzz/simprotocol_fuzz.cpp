// The simulated programmer's message decoder and chip on any byte stream, for
// a model chosen by the first byte: every message gets its reply, and the chip
// never holds a word wider than its memories.
#include <cstdint>

#include "devices/device.h"
#include "devices/memorymap.h"
#include "devices/wire.h"
#include "fuzzing.h"
#include "protocol.h"
#include "simchip.h"

using namespace tessaly;
using namespace tessaly::fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const SelectedDevice cur = shipped_model(data[0]);
    sim::SimChip chip(sim::chip_shape(cur));
    sim::WireProtocol protocol(chip);
    std::int64_t replies = 0;
    for (std::size_t i = 1; i < size; ++i) {
        const std::int64_t before = protocol.messages();
        const auto reply = protocol.feed(data[i]);
        check(protocol.messages() - before <= 1, "one message per byte at most");
        if (protocol.messages() == before) {
            check(reply.empty(), "no reply before a message is complete");
        } else {
            check(reply.size() == 1 || reply.size() == static_cast<std::size_t>(wire_message(cmd_read).reply_bytes), "reply length");
            replies += 1;
        }
    }
    check(replies == protocol.messages(), "every message answered");
    for (std::int32_t a = 0; a < cur.flashsize; ++a) {
        check(is_chip_word(chip.program_word(a)), "14-bit FLASH word");
    }
    for (std::int32_t a = 0; a < cur.eepromsize; ++a) {
        check(is_eeprom_byte(chip.eeprom_byte(a)), "8-bit EEPROM byte");
    }
    return 0;
}
