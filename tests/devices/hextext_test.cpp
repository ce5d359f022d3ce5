#include "devices/hextext.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

using namespace tessaly;

TEST(HexText, FormatsFixedWidthUpperCase) {
    struct Case { std::int64_t n; const char* h2; const char* h4; const char* h6; };
    const Case cases[] = {
        {0, "00", "0000", "000000"},
        {10, "0A", "000A", "00000A"},
        {255, "FF", "00FF", "0000FF"},
        {256, "00", "0100", "000100"},
        {300, "2C", "012C", "00012C"},
        {16383, "FF", "3FFF", "003FFF"},
        {65536, "00", "0000", "010000"},
        {70000, "70", "1170", "011170"},
        {-1, "FF", "FFFF", "FFFFFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        EXPECT_EQ(hex2(c.n), c.h2);
        EXPECT_EQ(hex4(c.n), c.h4);
        EXPECT_EQ(hex6(c.n), c.h6);
    }
}

TEST(HexText, ReportAndSwappedForms) {
    EXPECT_EQ(hex2h(10), "0Ah");
    EXPECT_EQ(hex2h(255), "FFh");
    EXPECT_EQ(hex4h(8199), "2007h");
    EXPECT_EQ(hex4h(-1), "FFFFh");
    EXPECT_EQ(hex4swap(0x1234), "3412");
    EXPECT_EQ(hex4swap(0x3FFF), "FF3F");
    EXPECT_EQ(hex4swap(0), "0000");
    EXPECT_EQ(hex4swap(0x12), "1200");
}

TEST(HexText, ParsesOnlyExactUpperCaseDigits) {
    struct Case { const char* text; int v2; int v4; };
    const Case cases[] = {
        {"0A", 10, -1},     {"FF", 255, -1},   {"0a", -1, -1},   {"A", -1, -1},
        {" A", -1, -1},     {"0A0", -1, -1},   {"", -1, -1},     {"3FFF", -1, 16383},
        {"2007", -1, 8199}, {"3fff", -1, -1},  {"3FF", -1, -1},  {"3FFFF", -1, -1},
        {"+1", -1, -1},     {"3FFh", -1, -1},  {"G0", -1, -1},   {"00FG", -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(hex2val(c.text), c.v2);
        EXPECT_EQ(hex4val(c.text), c.v4);
    }
}

TEST(HexText, ParseInvertsFormatOverWholeRange) {
    for (int n = 0; n <= 255; ++n) ASSERT_EQ(hex2val(hex2(n)), n);
    for (int n = 0; n <= 65535; ++n) ASSERT_EQ(hex4val(hex4(n)), n);
}

TEST(LeadingNumber, ReadsTheNumberATextBeginsWith) {
    struct Case { const char* text; std::int32_t n; };
    const Case cases[] = {
        {"1024", 1024}, {"8K", 8},       {"2.5", 2},     {"3.5", 4},      {"", 0},
        {"  42abc", 42}, {"abc", 0},     {"-3", -3},     {"1e3", 1000},   {"7.49", 7},
        {"7.5", 8},     {"6.5", 6},      {"-2.5", -2},   {"0.5", 0},      {"1 024", 1024},
        {"\t1\n2", 12}, {"+7", 7},       {".5", 0},      {"1.5.5", 2},    {"1e", 1},
        {"1e+2x", 100}, {"2E-1", 0},     {"-", 0},       {"1,5", 1},      {"&H10", 0},
        {"1.2.3", 1},   {"12e1.5", 120}, {"--1", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(leading_number(c.text), c.n);
    }
}

TEST(LeadingNumber, ValueBeforeRoundingForRangeChecks) {
    EXPECT_DOUBLE_EQ(leading_value("30.4"), 30.4);
    EXPECT_DOUBLE_EQ(leading_value("1 200 baud"), 1200.0);
}

TEST(LeadingNumber, ClampsBeyondThirtyTwoBits) {
    const std::int32_t max = 2147483647;
    const std::int32_t min = -2147483647 - 1;
    EXPECT_EQ(leading_number("2147483647"), max);
    EXPECT_EQ(leading_number("2147483648"), max);
    EXPECT_EQ(leading_number("99999999999999999999"), max);
    EXPECT_EQ(leading_number("-99999999999999999999"), min);
    EXPECT_EQ(leading_number("1e999"), max);
    EXPECT_EQ(leading_number("-1e999"), min);
    EXPECT_EQ(leading_number("1e-999"), 0);
    EXPECT_EQ(leading_number(std::string(400, '9')), max);
}
