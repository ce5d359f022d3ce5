// The device list parser on any bytes, then every model it holds selected,
// its buffers made and each instruction of its lists decoded.
#include <cstdint>
#include <string>

#include "devices/device.h"
#include "devices/devicelist.h"
#include "engine/instruction.h"
#include "fuzzing.h"

using namespace tessaly;
using namespace tessaly::fuzzing;

namespace {

void decode_all(const std::vector<std::string>& lines) {
    check(!lines.empty(), "an instruction list holds at least one instruction");
    for (const std::string& text : lines) {
        const Instruction ins = decode_instruction(text);
        (void)instruction_fault(text);
        if (ins.form == Form::wait && instruction_fault(text).empty()) {
            check(ins.waitms >= 0 && ins.waitms <= max_wait_ms, "sound wait within bounds");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const DeviceList list = parse_devices(std::string(reinterpret_cast<const char*>(data), size));
    check(list.devcount >= 0, "model count");
    check(list.entries.size() == static_cast<std::size_t>(list.devcount) + 1, "one entry per model");
    for (std::int32_t index = 0; index <= list.devcount + 1; ++index) {
        SelectedDevice cur;
        const std::string refused = select_device(list, index, cur);
        const bool in_range = index >= 1 && index <= list.devcount;
        if (!in_range) {
            check(!refused.empty(), "an index outside the list is refused");
            continue;
        }
        if (!refused.empty()) continue;
        check(cur.flashsize > 0 && cur.flashsize <= max_flashsize, "FLASH size usable");
        // A negative EEPROM size is a model without EEPROM, as the list allows.
        check(cur.eepromsize <= max_eepromsize, "EEPROM size usable");
        ChipImage image;
        blank_buffers(cur, image);
        check(image.flashbuf.size() == static_cast<std::size_t>(cur.flashsize), "FLASH buffer");
        check(!image.eeprombuf.empty(), "EEPROM buffer has an element");
        for (const auto* lines : {&cur.eraselines, &cur.programlines, &cur.readlines,
                                  &cur.blanklines, &cur.verifylines}) {
            decode_all(*lines);
        }
    }
    return 0;
}
