#include "engine/instruction.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

struct FormCase {
    const char* text;
    Form form;
    int xx;
    int yyyy;
};

// Overlapping patterns are where the order of the table matters.
TEST(InstructionTable, FirstMatchingFormWins) {
    const FormCase cases[] = {
        {"begin", Form::begin, -1, -1},
        {"end", Form::end, -1, -1},
        {"setflashloop", Form::setflashloop, -1, -1},   // not "s" XX
        {"seteepromloop", Form::seteepromloop, -1, -1},
        {"s02-flash", Form::send_flash, 2, -1},
        {"s03-eeprom", Form::send_eeprom, 3, -1},
        {"s02-config1", Form::send_config1, 2, -1},
        {"s02-config2", Form::send_config2, 2, -1},
        {"flash=s04", Form::read_flash, 4, -1},
        {"eeprom=s05", Form::read_eeprom, 5, -1},
        {"config1=s04", Form::read_config1, 4, -1},
        {"config2=s04", Form::read_config2, 4, -1},
        {"temp=s0a", Form::read_temp, 10, -1},
        {"checkblankconfig2", Form::checkblankconfig2, -1, -1},
        {"checkflash", Form::checkflash, -1, -1},
        {"s00-3fff", Form::send_byte_word, 0, 0x3FFF},
        {"s06", Form::send_byte, 6, -1},
        {"wprog", Form::wprog, -1, -1},                   // not the general wait
        {"w10", Form::wait, -1, -1},
        {"s0", Form::unrecognized, -1, -1},
        {"s061", Form::unrecognized, -1, -1},
        {"", Form::unrecognized, -1, -1},
        {" begin", Form::unrecognized, -1, -1},
        {"BEGIN", Form::unrecognized, -1, -1},
        {"s-flash", Form::send_flash, -1, -1},            // a form, but no digits
        {"flash=s", Form::read_flash, -1, -1},
        {"s0g-1234", Form::send_byte_word, -1, 0x1234},
        {"s00-12x4", Form::send_byte_word, 0, -1},
    };
    for (const FormCase& c : cases) {
        SCOPED_TRACE(c.text);
        const Instruction ins = decode_instruction(c.text);
        EXPECT_EQ(ins.form, c.form);
        EXPECT_EQ(classify_instruction(c.text), c.form);
        EXPECT_EQ(ins.xx, c.xx);
        EXPECT_EQ(ins.yyyy, c.yyyy);
    }
}

TEST(InstructionTable, WaitIsReadWithTheNumberRule) {
    EXPECT_EQ(decode_instruction("w5").waitms, 5);
    EXPECT_EQ(decode_instruction("w").waitms, 0);
    EXPECT_EQ(decode_instruction("w2.5").waitms, 2);  // halves to even
    EXPECT_EQ(decode_instruction("w3.5").waitms, 4);
}

TEST(InstructionTable, FaultNamesWhatIsWrong) {
    EXPECT_EQ(instruction_fault("s02-flash"), "");
    EXPECT_EQ(instruction_fault("w60000"), "");
    EXPECT_EQ(instruction_fault("w"), "");
    EXPECT_EQ(instruction_fault("bogus"), "it is not a known instruction");
    EXPECT_EQ(instruction_fault("s0g-flash"), "'0G' is not two hexadecimal digits");
    EXPECT_EQ(instruction_fault("flash=s"), "'' is not two hexadecimal digits");
    EXPECT_EQ(instruction_fault("s00-3ffz"), "'3FFZ' is not four hexadecimal digits");
    EXPECT_NE(instruction_fault("w-5"), "");
    EXPECT_NE(instruction_fault("w60001"), "");
    EXPECT_NE(instruction_fault("w1e300"), "");
}

}  // namespace
}  // namespace tessaly
