#include <functional>

#include <gtest/gtest.h>

#include "hexfile/hexreader.h"
#include "hextest.h"

namespace tessaly::test {
namespace {

const std::string heading = "Input program file in Intel Hex Format contains errors.";
const std::string eof = ":00000001FF";
const std::string good = ":02000000FF3FC0";  // 3FFFh at word 0

std::string crlf_lines(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

std::string error_box(int line, const std::string& message) {
    return heading + "\r\nLine number " + std::to_string(line) + message;
}

std::string warning_box(int count, const std::string& list) {
    return "Warning!\r\n" + heading + "\r\nThere are data for " + std::to_string(count) +
           " addresses out of range:\r\n" + list + "\r\n";
}

struct Read {
    bool ok;
    ChipImage image;
    std::int32_t wordsloaded;
    std::vector<Box> boxes;
};

Read read_text_as_file(const std::string& text, const SelectedDevice& dev) {
    TempFolder dir;
    write_text(dir.file("in.hex"), text);
    Read r{false, blank_image(dev), 0, {}};
    BoxRecorder boxes;
    r.ok = read_hexfile(dir.file("in.hex"), dev, r.image, r.wordsloaded, boxes.box());
    r.boxes = boxes.boxes;
    return r;
}

const SelectedDevice dev = test_device(1024, 128, true);

TEST(RecordChecksum, IsTheIntelChecksumAndRejectsWhatIsNotUpperCaseHex) {
    const struct {
        const char* body;
        const char* sum;
    } cases[] = {
        {"00000001", "FF"},
        {"02400E00FF3F", "72"},
        {"04400E00FF3FFF3F", "32"},
        {"024200001200", "AA"},
        {"00000001F", "FF"},   // a lone trailing character is not a pair
        {"0000000a", "01"},    // an unreadable pair counts as -1
        {"", "00"},
    };
    for (const auto& c : cases) EXPECT_EQ(record_checksum(c.body), c.sum) << c.body;
}

struct ErrorCase {
    const char* name;
    std::string file;
    int line;
    const char* message;
};

TEST(ReadHexfile, ReportsTheFirstBadRecordWithItsLineAndMessage) {
    const char* start = ": The record does not begin with ':' simbol.";
    const char* short_ = ": The record is too short.";
    const char* checksum = ": Invalid 'checksum' field in the record.";
    const char* type = ": Invalid 'record type' field in the record.";
    const char* upper = ": Invalid '04 type' record.";
    const char* count = ": Invalid 'number of bytes' field in the record.";
    const char* address = ": Invalid 'address' field in the record.";
    const char* odd_count = ": Field 'number of bytes' in the record must contain an even value.";
    const char* odd_address = ": Field 'address' in the record must contain an even value.";
    const char* length = ": The record does not contain the specified number of bytes.";
    const char* byte = ": Invalid data byte in the record.";
    const std::string bad = ":02000000FF3FC1";
    const ErrorCase cases[] = {
        {"no colon", "02000000FF3FC0\r\n", 1, start},
        {"leading blank", " " + eof, 1, start},
        {"ten characters", ":00000001F", 1, short_},
        {"wrong checksum", bad, 1, checksum},
        {"lower-case digits", ":02000000ff3fc0", 1, checksum},
        {"a trailing tab is not trimmed", eof + "\t", 1, checksum},
        {"type 02", rec("020000021000"), 1, type},
        {"type 03", rec("0400000300003800"), 1, type},
        {"unreadable type", rec("000000G0"), 1, type},
        {"04 at address not 0", rec("020010040001"), 1, upper},
        {"04 with six data digits", rec("030000040001FF"), 1, upper},
        {"04 with unreadable data", rec("02000004000G"), 1, upper},
        {"unreadable count", rec("0G000000FF3F"), 1, count},
        {"unreadable address", rec("02000G00FF3F"), 1, address},
        {"count is checked before address", rec("0G000G00FF3F"), 1, count},
        {"odd count", rec("03000000FF3F00"), 1, odd_count},
        {"odd address", rec("02000100FF3F"), 1, odd_address},
        {"more data than counted", rec("02000000FF3FFF3F"), 1, length},
        {"less data than counted", rec("04000000FF3F"), 1, length},
        {"FLASH word above 3FFF", ":02000000FF7F80", 1, byte},
        {"FLASH word unreadable", rec("02000000GG3F"), 1, byte},
        {"ID location unreadable", rec("02400000GG3F"), 1, byte},
        {"device ID unreadable", rec("02400C00GG3F"), 1, byte},
        {"configuration unreadable", rec("02401000GG3F"), 1, byte},
        {"EEPROM unreadable", rec("02420000GG00"), 1, byte},
        {"second word of a record", rec("04000000FF3FFF7F"), 1, byte},
        {"after good lines", crlf_lines({good, good, good, good, bad}), 5, checksum},
        {"comment counts as a line", crlf_lines({"; comment", bad}), 2, checksum},
        {"blanks-only line counts", crlf_lines({good, "   ", bad}), 3, checksum},
        {"after an upper address", crlf_lines({rec("020000040000"), bad}), 2, checksum},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Read r = read_text_as_file(c.file, dev);
        EXPECT_FALSE(r.ok);
        ASSERT_EQ(r.boxes.size(), 1u);
        EXPECT_EQ(r.boxes[0].kind, box_error);
        EXPECT_EQ(r.boxes[0].text, error_box(c.line, c.message));
    }
}

std::string no_end_box(int line, const std::string& text) {
    return "The file has no end-of-file record (:00000001FF): it may be incomplete.\r\nIts last record is on line " +
           std::to_string(line) + ": " + text;
}

std::string after_end_box(int line) {
    return "The file's end-of-file record is on line " + std::to_string(line) + "; the lines after it were not loaded.";
}

using Texts = std::vector<std::string>;

Texts box_texts(const Read& r) {
    Texts texts;
    for (const Box& b : r.boxes) texts.push_back(b.text);
    return texts;
}

// The lines joined by one line end, with that line end after the last one too.
std::string joined(const std::vector<std::string>& lines, const std::string& end) {
    std::string out;
    for (const auto& l : lines) out += l + end;
    return out;
}

// Every box names the line an editor shows there: CR LF, LF and CR each end one
// line, and every blank line counts.
TEST(ReadHexfile, BoxesNameTheFilesOwnLineWhateverTheLineEnds) {
    const std::string bad = ":02000000FF3FC1";
    const std::string checksum = ": Invalid 'checksum' field in the record.";
    const struct {
        const char* name;
        std::string end;
    } styles[] = {{"CR LF", "\r\n"}, {"LF", "\n"}, {"CR", "\r"}};
    for (const auto& style : styles) {
        for (int blanks = 0; blanks <= 5; ++blanks) {
            SCOPED_TRACE(std::string(style.name) + ", runs of " + std::to_string(blanks) + " blank lines");
            const std::vector<std::string> run(static_cast<std::size_t>(blanks), "");
            // good, a run, good, a run, then the line under test on line 3 + 2 * blanks.
            std::vector<std::string> lines = {good};
            lines.insert(lines.end(), run.begin(), run.end());
            lines.push_back(good);
            lines.insert(lines.end(), run.begin(), run.end());
            const int third = 3 + 2 * blanks;

            EXPECT_EQ(box_texts(read_text_as_file(joined(lines, style.end) + bad, dev)),
                      Texts{error_box(third, checksum)});
            EXPECT_EQ(box_texts(read_text_as_file(joined(lines, style.end), dev)),
                      Texts{no_end_box(third - 1 - blanks, good)});
            lines.push_back(eof);
            EXPECT_EQ(box_texts(read_text_as_file(joined(lines, style.end) + good, dev)),
                      Texts{after_end_box(third)});
        }
    }
    const struct {
        const char* name;
        std::string file;
        int line;
    } mixed[] = {
        {"LF then CR is two line ends", good + "\n\r" + bad, 3},
        {"CR then CR LF is two line ends", good + "\r\r\n" + bad, 3},
        {"CR LF LF is two line ends", good + "\r\n\n" + bad, 3},
        {"blank lines at the start", "\r\n\n\r" + bad, 4},
        {"blanks-only and comment lines between", good + "\n  \r\n;x\r\n\r" + bad, 5},
    };
    for (const auto& c : mixed) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(box_texts(read_text_as_file(c.file, dev)), Texts{error_box(c.line, checksum)});
    }
}

struct LoadCase {
    const char* name;
    std::string file;
    std::function<void(ChipImage&)> expect;  // changes to the blank image
    std::int32_t wordsloaded;
    std::string warning;  // "" when no warning is due
};

std::vector<std::int32_t> range_words(int n) { return std::vector<std::int32_t>(static_cast<std::size_t>(n), 0); }

std::string out_of_range_list(int first, int n) {
    std::string list;
    for (int i = 0; i < n; ++i) list += hex4(first + i) + (i + 1 < n ? ", " : ".");
    return list;
}

TEST(ReadHexfile, PlacesWordsByTheAddressMap) {
    const auto nothing = [](ChipImage&) {};
    // 30 stray words from 2010h on: the warning keeps the first 16 and the last 8.
    const std::string list30 = out_of_range_list(0x2010, 16).substr(0, 16 * 6 - 2) + ", ..., " +
                               out_of_range_list(0x2010 + 22, 8);
    const std::string list25 = out_of_range_list(0x2010, 16).substr(0, 16 * 6 - 2) + ", ..., " +
                               out_of_range_list(0x2010 + 17, 8);
    const LoadCase cases[] = {
        {"trailing blanks", rec("020000005530") + "   ",
         [](ChipImage& i) { i.flashbuf[0] = 0x3055; }, 1, ""},
        {"type 05 ignored", rec("0400000500001234"), nothing, 0, ""},
        {"empty data records skipped", crlf_lines({":0000000000", rec("10000000")}), nothing, 0, ""},
        {"FF3F is 3FFF at word 0", good, nothing, 1, ""},
        {"later record overwrites", crlf_lines({rec("020000005530"), rec("020000000000")}),
         [](ChipImage& i) { i.flashbuf[0] = 0; }, 1, ""},
        {"last FLASH word", words_rec(2 * 1023, {0x2ABC}), [](ChipImage& i) { i.flashbuf[1023] = 0x2ABC; },
         1024, ""},
        {"words loaded is highest address plus 1", crlf_lines({words_rec(0, {1}), words_rec(2 * 0x3E7, {2})}),
         [](ChipImage& i) { i.flashbuf[0] = 1; i.flashbuf[0x3E7] = 2; }, 1000, ""},
        {"configuration masked to 14 bits", rec("04400E00FFFF5555"),
         [](ChipImage& i) { i.conf = {0x3FFF, 0x1555}; }, 0, ""},
        {"EEPROM keeps the first byte", rec("024200001234"), [](ChipImage& i) { i.eeprombuf[0] = 0x12; }, 0, ""},
        {"last EEPROM byte", words_rec(0x4200 + 2 * 127, {0x00C3}),
         [](ChipImage& i) { i.eeprombuf[127] = 0xC3; }, 0, ""},
        {"ID locations and device ID dropped", crlf_lines({words_rec(0x4000, {1, 2, 3, 4}), words_rec(0x400C, {0x1234})}),
         nothing, 0, ""},
        {"2004h and 2005h out of range", words_rec(0x4008, {0, 0}), nothing, 0, warning_box(2, "2004, 2005.")},
        {"between FLASH and 2000h", words_rec(2 * 1024, {0x7FFF}), nothing, 0, warning_box(1, "0400.")},
        {"above the EEPROM", words_rec(0x4200 + 2 * 128, {0}), nothing, 0, warning_box(1, "2180.")},
        {"24 listed whole", words_rec(0x4020, range_words(24)), nothing, 0,
         warning_box(24, out_of_range_list(0x2010, 24))},
        {"25 shortened", words_rec(0x4020, range_words(25)), nothing, 0, warning_box(25, list25)},
        {"30 shortened", crlf_lines({words_rec(0x4020, range_words(16)), words_rec(0x4040, range_words(14))}),
         nothing, 0, warning_box(30, list30)},
        {"upper address 1 moves word 0 to 8000h", crlf_lines({rec("020000040001"), rec("020000005530")}), nothing, 0,
         warning_box(1, "8000.")},
        {"upper address back to 0", crlf_lines({rec("020000040001"), rec("020000040000"), rec("020000005530")}),
         [](ChipImage& i) { i.flashbuf[0] = 0x3055; }, 1, ""},
        {"top of the 32-bit range", crlf_lines({rec("02000004FFFF"), rec("04FFFC0000000000")}), nothing, 0,
         warning_box(2, "FFFE, FFFF.")},
        {"stray data does not stop the read", crlf_lines({words_rec(0x4008, {0}), words_rec(2, {0x0155})}),
         [](ChipImage& i) { i.flashbuf[1] = 0x0155; }, 2, warning_box(1, "2004.")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Closed by the end record, so that the warning is the only box.
        const Read r = read_text_as_file(c.file + "\r\n" + eof, dev);
        ChipImage want = blank_image(dev);
        c.expect(want);
        EXPECT_TRUE(r.ok);
        expect_same_image(r.image, want);
        EXPECT_EQ(r.wordsloaded, c.wordsloaded);
        if (c.warning.empty()) {
            EXPECT_TRUE(r.boxes.empty());
        } else {
            ASSERT_EQ(r.boxes.size(), 1u);
            EXPECT_EQ(r.boxes[0].kind, box_info);
            EXPECT_EQ(r.boxes[0].text, c.warning);
        }
    }
}

TEST(ReadHexfile, FileWithoutEndRecordLoadsAndNamesItsLastRecord) {
    const std::string first = words_rec(0, {0x3055, 0x0080});
    const std::string last = words_rec(0x10, {0x2810});
    const auto first_only = [](ChipImage& i) { i.flashbuf[0] = 0x3055; i.flashbuf[1] = 0x0080; };
    const auto both = [first_only](ChipImage& i) { first_only(i); i.flashbuf[8] = 0x2810; };
    const auto nothing = [](ChipImage&) {};
    const std::string long_line = rec("00000005" + std::string(70, '7'));  // 81 characters
    const struct {
        const char* name;
        std::string file;
        std::function<void(ChipImage&)> expect;  // changes to the blank image
        std::int32_t wordsloaded;
        std::vector<std::string> boxes;  // kind 64, in order
    } cases[] = {
        {"cut after a record", crlf_lines({first, last}), both, 9, {no_end_box(2, last)}},
        {"lines counted as in errors, trailing blanks, comment after",
         crlf_lines({first, "", "", last + "   ", "; the end"}), both, 9, {no_end_box(4, last)}},
        {"after the out-of-range warning", crlf_lines({first, words_rec(0x4008, {0, 0})}), first_only, 2,
         {warning_box(2, "2004, 2005."), no_end_box(2, words_rec(0x4008, {0, 0}))}},
        {"a long last line is cut", crlf_lines({first, long_line}), first_only, 2,
         {no_end_box(2, long_line.substr(0, 80) + "...")}},
        {"empty file", "", nothing, 0, {}},
        {"comments and blank lines only", "; one\r\n\r\n\r\n\r\n;two\n", nothing, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Read r = read_text_as_file(c.file, dev);
        ChipImage want = blank_image(dev);
        c.expect(want);
        EXPECT_TRUE(r.ok);
        expect_same_image(r.image, want);
        EXPECT_EQ(r.wordsloaded, c.wordsloaded);
        std::vector<std::string> texts;
        for (const Box& b : r.boxes) {
            EXPECT_EQ(b.kind, box_info);
            texts.push_back(b.text);
        }
        EXPECT_EQ(texts, c.boxes);
    }
}

TEST(ReadHexfile, LinesAfterTheEndRecordAreNotReadAndTold) {
    const std::string first = words_rec(0, {0x3055, 0x0080});
    const std::string later = words_rec(0x10, {0x2810});
    const std::string stray = words_rec(0x4008, {0, 0});
    const auto first_only = [](ChipImage& i) { i.flashbuf[0] = 0x3055; i.flashbuf[1] = 0x0080; };
    const struct {
        const char* name;
        std::string file;
        std::vector<std::string> boxes;  // kind 64, in order
    } cases[] = {
        {"a record after the end", crlf_lines({first, eof, later}), {after_end_box(2)}},
        {"a bad line after the end is not read", first + "\n\n" + eof + "  \n\ngarbage", {after_end_box(3)}},
        {"a second end record", crlf_lines({first, eof, "", eof}), {after_end_box(2)}},
        {"a tab is not a blank", crlf_lines({first, eof, "\t"}), {after_end_box(2)}},
        {"after the out-of-range warning", crlf_lines({first, stray, eof, later}),
         {warning_box(2, "2004, 2005."), after_end_box(3)}},
        {"only comments and blank lines after the end", first + "\r\n" + eof + "  \r\n\r\n; done\n   \r;\r\n", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Read r = read_text_as_file(c.file, dev);
        ChipImage want = blank_image(dev);
        first_only(want);
        EXPECT_TRUE(r.ok);
        expect_same_image(r.image, want);
        EXPECT_EQ(r.wordsloaded, 2);
        std::vector<std::string> texts;
        for (const Box& b : r.boxes) {
            EXPECT_EQ(b.kind, box_info);
            texts.push_back(b.text);
        }
        EXPECT_EQ(texts, c.boxes);
    }
}

TEST(ReadHexfile, DeviceWithoutEepromListsEepromDataAsOutOfRange) {
    const Read r = read_text_as_file(crlf_lines({rec("024200001234"), eof}), test_device(1024, 0, false));
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.image.eeprombuf, std::vector<std::int32_t>{0});
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, warning_box(1, "2100."));
}

TEST(ReadHexfile, BadRecordKeepsWhatCameBeforeIt) {
    const Read r = read_text_as_file(crlf_lines({rec("020000005530"), rec("04000200AA34FF7F")}), dev);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.image.flashbuf[0], 0x3055);
    EXPECT_EQ(r.image.flashbuf[1], 0x34AA);  // the word before the bad one in the same record
    EXPECT_EQ(r.image.flashbuf[2], 0x3FFF);
}

TEST(ReadHexfile, FileThatCannotBeReadIsAnErrorNamingIt) {
    TempFolder dir;
    for (const std::string& path : {dir.file("missing.hex"), dir.path()}) {
        SCOPED_TRACE(path);
        ChipImage image = blank_image(dev);
        std::int32_t wordsloaded = 0;
        BoxRecorder boxes;
        EXPECT_FALSE(read_hexfile(path, dev, image, wordsloaded, boxes.box()));
        ASSERT_EQ(boxes.boxes.size(), 1u);
        EXPECT_EQ(boxes.boxes[0].kind, box_error);
        EXPECT_NE(boxes.boxes[0].text.find(path), std::string::npos);
    }
}

}  // namespace
}  // namespace tessaly::test
