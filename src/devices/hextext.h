// Fixed-width hexadecimal text and the one number-reading rule of the program.
// Every address and data word shown, written to a HEX file or read from a device
// algorithm goes through these helpers; every decimal number read from a text
// (device list values, settings, typed entries) goes through leading_number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

// Upper-case hex with leading zeros, cut to the low 2, 4 or 6 digits; a negative
// number counts as its 32-bit two's complement.
std::string hex2(std::int64_t n);
std::string hex4(std::int64_t n);
std::string hex6(std::int64_t n);
std::string hex2h(std::int64_t n);  // hex2 followed by "h", for reports
std::string hex4h(std::int64_t n);  // hex4 followed by "h"
std::string hex4swap(std::int64_t n);  // hex4 with the low byte first (HEX data words)

// Exactly 2 or 4 upper-case hex digits; -1 for any other text.
int hex2val(std::string_view text);
int hex4val(std::string_view text);

// The number a text begins with, as read: blanks, tabs and line feeds dropped,
// then an optional sign, digits with at most one point, an optional exponent.
// A text that does not begin with a number gives 0.
double leading_value(std::string_view text);

// leading_value rounded to the nearest integer, halves to even. Values beyond
// the 32-bit range are clamped to its ends.
std::int32_t leading_number(std::string_view text);

// ASCII case mapping: the device list and the instruction words are 8-bit text
// whose keywords are plain ASCII, so other bytes stay as they are.
std::string to_lower(std::string_view text);
std::string to_upper(std::string_view text);

}  // namespace tessaly
