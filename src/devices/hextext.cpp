#include "devices/hextext.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tessaly {
namespace {

std::string hex_digits(std::int64_t n, int width) {
    static const char digits[] = "0123456789ABCDEF";
    // A negative number counts as its 32-bit two's complement; every width
    // used here is at most 32 bits, so the low bits are all that matter.
    auto v = static_cast<std::uint32_t>(static_cast<std::uint64_t>(n));
    std::string text(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0; --i) {
        text[static_cast<std::size_t>(i)] = digits[v & 0xF];
        v >>= 4;
    }
    return text;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Length of the longest prefix of s that forms a number: sign, digits with at
// most one point, then an exponent only when digits follow its letter.
std::size_t number_length(const std::string& s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    bool digits = false;
    bool point = false;
    for (; i < s.size(); ++i) {
        if (is_digit(s[i])) {
            digits = true;
        } else if (s[i] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        if (j < s.size() && is_digit(s[j])) {
            while (j < s.size() && is_digit(s[j])) ++j;
            i = j;
        }
    }
    return i;
}

// The value of a number too large or too small for a double: an infinity of
// its sign when its magnitude is above 1, else zero.
double out_of_range_value(const std::string& s, std::size_t start, std::size_t len) {
    const bool negative = s[start] == '-';
    std::size_t i = (negative || s[start] == '+') ? start + 1 : start;
    long long magnitude = 0;  // decimal digits before the point, leading zeros aside
    bool significant = false;
    for (; i < len && is_digit(s[i]); ++i) {
        significant = significant || s[i] != '0';
        if (significant) ++magnitude;
    }
    const auto e = s.find_first_of("eE", start);
    if (e != std::string::npos && e < len) {
        long long exponent = 0;
        const char* first = s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0);
        if (std::from_chars(first, s.data() + len, exponent).ec == std::errc::result_out_of_range)
            exponent = (*first == '-') ? -(1LL << 40) : (1LL << 40);
        magnitude += exponent;
    }
    if (magnitude <= 0) return 0.0;
    const double inf = std::numeric_limits<double>::infinity();
    return negative ? -inf : inf;
}

}  // namespace

std::string hex2(std::int64_t n) { return hex_digits(n, 2); }
std::string hex4(std::int64_t n) { return hex_digits(n, 4); }
std::string hex6(std::int64_t n) { return hex_digits(n, 6); }
std::string hex2h(std::int64_t n) { return hex2(n) + "h"; }
std::string hex4h(std::int64_t n) { return hex4(n) + "h"; }

std::string hex4swap(std::int64_t n) {
    const std::string h = hex4(n);
    return h.substr(2, 2) + h.substr(0, 2);
}

int hex2val(std::string_view text) {
    if (text.size() != 2) return -1;
    const int hi = hex_digit(text[0]);
    const int lo = hex_digit(text[1]);
    if (hi < 0 || lo < 0) return -1;
    return hi * 16 + lo;
}

int hex4val(std::string_view text) {
    if (text.size() != 4) return -1;
    const int hi = hex2val(text.substr(0, 2));
    const int lo = hex2val(text.substr(2, 2));
    if (hi < 0 || lo < 0) return -1;
    return hi * 256 + lo;
}

double leading_value(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') s += c;
    }
    const std::size_t len = number_length(s);
    if (len == 0) return 0.0;
    // from_chars takes no leading '+' and ignores the locale, which is what a
    // device list written anywhere needs.
    std::size_t start = (s[0] == '+') ? 1 : 0;
    double value = 0.0;
    const auto result = std::from_chars(s.data() + start, s.data() + len, value);
    if (result.ec == std::errc::result_out_of_range) return out_of_range_value(s, start, len);
    return value;
}

std::int32_t leading_number(std::string_view text) {
    const double v = leading_value(text);
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    if (v <= lo) return std::numeric_limits<std::int32_t>::min();
    if (v >= hi) return std::numeric_limits<std::int32_t>::max();
    // The default floating-point rounding mode sends halves to the even integer.
    return static_cast<std::int32_t>(std::nearbyint(v));
}

std::string to_lower(std::string_view text) {
    std::string s(text);
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

std::string to_upper(std::string_view text) {
    std::string s(text);
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return s;
}

}  // namespace tessaly
