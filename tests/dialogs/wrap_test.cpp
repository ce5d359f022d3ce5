#include <string>

#include <gtest/gtest.h>

#include "dialogs/form08.h"

namespace tessaly {
namespace {

// A word of n characters with mark at the 1-based position pos, padded with x.
std::string word(int n, std::initializer_list<std::pair<int, char>> marks = {}) {
    std::string w(n, 'x');
    for (auto [pos, c] : marks) w[pos - 1] = c;
    return w;
}

std::string wrap(const std::string& text) {
    return wrap_long_words(QString::fromStdString(text)).toStdString();
}

TEST(WrapLongWords, BreaksLongWordsOnceAtTheRightPlace) {
    struct Case { const char* what; std::string in; std::string out; };
    const std::string w55 = word(55, {{10, '/'}});
    const std::string w120 = word(120, {{10, '\\'}});
    const Case cases[] = {
        {"55 characters stay whole", w55, w55},
        {"backslash at 55", word(60, {{55, '\\'}}),
         word(55, {{55, '\\'}}) + "\r\n" + word(5)},
        {"slash at 55", word(56, {{55, '/'}}), word(55, {{55, '/'}}) + "\r\n" + word(1)},
        {"separator at 56 gives way to underscore at 20", word(70, {{56, '\\'}, {20, '_'}}),
         word(20, {{20, '_'}}) + "\r\n" + word(50, {{36, '\\'}})},
        {"slash wins over a later underscore", word(60, {{30, '/'}, {50, '_'}}),
         word(30, {{30, '/'}}) + "\r\n" + word(30, {{20, '_'}})},
        {"the last separator within 55", word(80, {{10, '/'}, {40, '/'}, {60, '/'}}),
         word(40, {{10, '/'}, {40, '/'}}) + "\r\n" + word(40, {{20, '/'}})},
        {"nothing to break at", word(70, {{60, '/'}}), word(70, {{60, '/'}})},
        {"broken once only", w120, word(10, {{10, '\\'}}) + "\r\n" + word(110)},
        {"two blanks stay two", "a  b", "a  b"},
        {"every word of every line", "ok " + word(56, {{3, '/'}}) + "\r\nend " + word(57, {{4, '_'}}),
         "ok " + word(3, {{3, '/'}}) + "\r\n" + word(53) + "\r\nend " + word(4, {{4, '_'}}) +
             "\r\n" + word(53)},
        {"a lone line feed is part of a word", word(30) + "\n" + word(30, {{5, '/'}}),
         word(30) + "\n" + word(5, {{5, '/'}}) + "\r\n" + word(25)},
        {"one final line break dropped", "abc\r\n", "abc"},
        {"only one of two dropped", "abc\r\n\r\n", "abc\r\n"},
        {"empty text", "", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(wrap(c.in), c.out) << c.what;
}

}  // namespace
}  // namespace tessaly
