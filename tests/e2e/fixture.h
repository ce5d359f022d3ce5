// The image the end-to-end runs program and read back: data in the first
// FLASH words and the last one, EEPROM bytes across the whole range and at its
// end, and configuration words with bits cleared.
#pragma once

#include "devices/device.h"

namespace tessaly::testing {

inline ChipImage fixture(const SelectedDevice& cur) {
    ChipImage image;
    blank_buffers(cur, image);
    for (std::int32_t a = 0; a < 40 && a < cur.flashsize; ++a) {
        image.flashbuf[a] = (a * 0x0123 + 0x0155) & 0x3FFF;
    }
    image.flashbuf[cur.flashsize - 1] = 0x2AAA;
    for (std::int32_t a = 0; a < cur.eepromsize; a += 3) image.eeprombuf[a] = (a * 37) & 0xFF;
    if (cur.eepromsize > 0) image.eeprombuf[cur.eepromsize - 1] = 0x5A;
    image.conf[0] = 0x3F72;
    if (cur.config2used) image.conf[1] = 0x3FFC;
    return image;
}

}  // namespace tessaly::testing
