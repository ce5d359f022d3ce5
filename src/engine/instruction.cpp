#include "engine/instruction.h"

#include <array>
#include <cmath>

#include "devices/hextext.h"

namespace tessaly {
namespace {

enum class Match {
    equals,    // the whole text
    prefix,    // begins with the pattern
    s_suffix,  // begins with "s" and ends with the pattern
    s_word,    // "s", "-" at position 4, exactly 8 characters
    s_byte,    // "s", exactly 3 characters
    anything,
};

struct FormRule {
    Form form;
    Match match;
    std::string_view pattern;
    int xxpos;    // 1-based position of the two command digits, 0 for none
    int yyyypos;  // 1-based position of the four data digits, 0 for none
};

constexpr std::array<FormRule, form_count> rules{{
    {Form::begin, Match::equals, "begin", 0, 0},
    {Form::end, Match::equals, "end", 0, 0},
    {Form::calcflash, Match::equals, "calcflash", 0, 0},
    {Form::calcflashpage, Match::equals, "calcflashpage", 0, 0},
    {Form::calceeprom, Match::equals, "calceeprom", 0, 0},
    {Form::setflashloop, Match::equals, "setflashloop", 0, 0},
    {Form::seteepromloop, Match::equals, "seteepromloop", 0, 0},
    {Form::loop, Match::equals, "loop", 0, 0},
    {Form::ifpage, Match::equals, "ifpage", 0, 0},
    {Form::endifpage, Match::equals, "endifpage", 0, 0},
    {Form::send_flash, Match::s_suffix, "-flash", 2, 0},
    {Form::send_eeprom, Match::s_suffix, "-eeprom", 2, 0},
    {Form::send_config1, Match::s_suffix, "-config1", 2, 0},
    {Form::send_config2, Match::s_suffix, "-config2", 2, 0},
    {Form::read_flash, Match::prefix, "flash=s", 8, 0},
    {Form::read_eeprom, Match::prefix, "eeprom=s", 9, 0},
    {Form::read_config1, Match::prefix, "config1=s", 10, 0},
    {Form::read_config2, Match::prefix, "config2=s", 10, 0},
    {Form::read_temp, Match::prefix, "temp=s", 7, 0},
    {Form::checkblankflash, Match::equals, "checkblankflash", 0, 0},
    {Form::checkblankeeprom, Match::equals, "checkblankeeprom", 0, 0},
    {Form::checkblankconfig1, Match::equals, "checkblankconfig1", 0, 0},
    {Form::checkblankconfig2, Match::equals, "checkblankconfig2", 0, 0},
    {Form::checkflash, Match::equals, "checkflash", 0, 0},
    {Form::checkeeprom, Match::equals, "checkeeprom", 0, 0},
    {Form::checkconfig1, Match::equals, "checkconfig1", 0, 0},
    {Form::checkconfig2, Match::equals, "checkconfig2", 0, 0},
    {Form::send_byte_word, Match::s_word, "", 2, 5},
    {Form::send_byte, Match::s_byte, "", 2, 0},
    {Form::wprog, Match::equals, "wprog", 0, 0},
    {Form::wait, Match::prefix, "w", 0, 0},
    {Form::unrecognized, Match::anything, "", 0, 0},
}};

// The table is read by position as well as searched: row k is form k + 1.
constexpr bool rules_follow_forms() {
    for (int k = 0; k < form_count; ++k) {
        if (rules[static_cast<std::size_t>(k)].form != static_cast<Form>(k + 1)) return false;
    }
    return true;
}
static_assert(rules_follow_forms(), "the rows of the instruction table must follow enum Form");

bool begins_with(std::string_view text, std::string_view head) {
    return text.substr(0, head.size()) == head;
}

bool ends_with(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

bool matches(const FormRule& rule, std::string_view text) {
    switch (rule.match) {
    case Match::equals: return text == rule.pattern;
    case Match::prefix: return begins_with(text, rule.pattern);
    case Match::s_suffix: return begins_with(text, "s") && ends_with(text, rule.pattern);
    case Match::s_word: return text.size() == 8 && text[0] == 's' && text[3] == '-';
    case Match::s_byte: return text.size() == 3 && text[0] == 's';
    case Match::anything: return true;
    }
    return false;
}

const FormRule& rule_for(std::string_view text) {
    for (const FormRule& rule : rules) {
        if (matches(rule, text)) return rule;
    }
    return rules.back();
}

// The characters at a 1-based position, upper-cased; shorter when the text ends
// early, which the hex readers then refuse.
std::string digits_at(std::string_view text, int pos, std::size_t count) {
    const auto from = static_cast<std::size_t>(pos - 1);
    if (from >= text.size()) return "";
    return to_upper(text.substr(from, count));
}

}  // namespace

Form classify_instruction(std::string_view text) { return rule_for(text).form; }

Instruction decode_instruction(std::string_view text) {
    const FormRule& rule = rule_for(text);
    Instruction ins;
    ins.form = rule.form;
    if (rule.xxpos > 0) ins.xx = hex2val(digits_at(text, rule.xxpos, 2));
    if (rule.yyyypos > 0) ins.yyyy = hex4val(digits_at(text, rule.yyyypos, 4));
    if (rule.form == Form::wait) {
        const std::string_view rest = text.substr(1);
        ins.waitvalue = leading_value(rest);
        ins.waitms = leading_number(rest);
    }
    return ins;
}

std::string instruction_fault(std::string_view text) {
    const Instruction ins = decode_instruction(text);
    const FormRule& rule = rules[static_cast<int>(ins.form) - 1];
    if (ins.form == Form::unrecognized) return "it is not a known instruction";
    if (rule.xxpos > 0 && ins.xx < 0) {
        return "'" + digits_at(text, rule.xxpos, 2) + "' is not two hexadecimal digits";
    }
    if (rule.yyyypos > 0 && ins.yyyy < 0) {
        return "'" + digits_at(text, rule.yyyypos, 4) + "' is not four hexadecimal digits";
    }
    if (ins.form == Form::wait && (ins.waitms < 0 || !(ins.waitvalue <= max_wait_ms))) {
        return "the wait is negative or longer than " + std::to_string(max_wait_ms) + " ms";
    }
    return "";
}

}  // namespace tessaly
