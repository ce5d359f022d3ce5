// Writing the memory buffers as an Intel HEX file that the reader (and other
// tools) load back into the same buffers: FLASH up to its last programmed word,
// the configuration record, EEPROM up to its last programmed byte, end record.
// A file is replaced only once its new contents are complete on disk.
#pragma once

#include <string>
#include <vector>

#include "devices/device.h"

namespace tessaly {

// Why the buffers of dev cannot be written with 16-bit record addresses (sizes
// that would wrap or run into the configuration and EEPROM records), buffers
// smaller than the device says, or a FLASH or configuration word wider than
// 14 bits, which the reader would refuse or cut. Empty when they can be written.
std::string hexfile_fault(const SelectedDevice& dev, const ChipImage& image);

// The records of the file, one per element, without line ends; empty when
// hexfile_fault is not.
std::vector<std::string> hexfile_lines(const SelectedDevice& dev, const ChipImage& image);

// Writes hexfile_lines, each ended by CR LF, to path through a temporary file
// in the same folder renamed over path. On failure returns false with a
// message naming the file in error; an earlier file at path is then untouched.
bool write_hexfile(const std::string& path, const SelectedDevice& dev, const ChipImage& image,
                   std::string& error);

}  // namespace tessaly
