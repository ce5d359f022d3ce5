// Reading Intel HEX files (32-bit form) into the memory buffers of the selected
// device. Every record is checked in a fixed order; the first bad record is
// reported with its line number and ends the read, data outside every buffer is
// listed in one warning, and no input can make the reader leave the buffers.
// Every line number shown is the file's own, as an editor counts lines: CR LF,
// LF alone and CR alone each end one line, and blank lines count.
#pragma once

#include <cstdint>
#include <string>

#include "devices/device.h"
#include "devices/msgbox.h"

namespace tessaly {

// The end-of-file record that closes every file.
inline constexpr const char* end_of_file_record = ":00000001FF";

// Checksum of a record body (the line without ":" and without its last two
// characters): two upper-case hex digits. A pair that is not two upper-case
// hex digits counts as -1, so a lower-case record never matches.
std::string record_checksum(const std::string& body);

// Reads the file at path into image, which the caller has blanked for dev.
// wordsloaded is raised to the highest FLASH word address written plus 1.
// Returns false after showing an error (kind 16): a bad record or a file that
// cannot be read; the buffers then hold whatever came before the fault. Returns
// true otherwise, after showing the out-of-range warning (kind 64) if needed,
// and then a box (kind 64) naming the last record when the file has records
// but no end-of-file record: it is read to its last line all the same. When
// anything but blank and comment lines follows the end-of-file record, a box
// (kind 64) names the end record's line instead: nothing after it is read.
bool read_hexfile(const std::string& path, const SelectedDevice& dev, ChipImage& image,
                  std::int32_t& wordsloaded, const MsgBox& show_msgbox);

}  // namespace tessaly
