// The Intel HEX reader on any bytes, for a model chosen by the first byte;
// whatever it accepts is written, read back and must come back the same.
#include <cstdint>
#include <string>

#include "devices/device.h"
#include "fuzzing.h"
#include "hexfile/hexreader.h"
#include "hexfile/hexwriter.h"

using namespace tessaly;
using namespace tessaly::fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const SelectedDevice cur = shipped_model(data[0]);
    const MsgBox quiet = [](const std::string&, int) { return answer_ok; };

    ChipImage image;
    blank_buffers(cur, image);
    std::int32_t words = 0;
    const std::string in = write_scratch("in.hex", data + 1, size - 1);
    if (!read_hexfile(in, cur, image, words, quiet)) return 0;
    check(words >= 0 && words <= cur.flashsize, "words loaded within FLASH");
    check(image.flashbuf.size() == static_cast<std::size_t>(cur.flashsize), "FLASH size kept");
    check(image.eeprombuf.size() == static_cast<std::size_t>(std::max(cur.eepromsize, 1)),
          "EEPROM size kept");

    std::string error;
    const std::string out = (scratch() / "out.hex").string();
    if (!write_hexfile(out, cur, image, error)) {
        check(!hexfile_fault(cur, image).empty(), "write failed without a reason: " + error);
        return 0;
    }
    ChipImage back;
    blank_buffers(cur, back);
    std::int32_t backwords = 0;
    check(read_hexfile(out, cur, back, backwords, quiet), "the written file reads back");
    check(back.flashbuf == image.flashbuf, "FLASH survives the round trip");
    check(back.eeprombuf == image.eeprombuf, "EEPROM survives the round trip");
    // A model without the second configuration word neither programs nor
    // saves the 2008h word a file may have brought.
    check(back.conf[0] == image.conf[0] && (!cur.config2used || back.conf[1] == image.conf[1]),
          "configuration survives the round trip");
    return 0;
}
