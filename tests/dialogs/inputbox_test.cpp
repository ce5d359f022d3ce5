#include <memory>
#include <string>

#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "dialogs/boxes.h"
#include "ui/kit.h"
#include "dialogs/form07.h"
#include "modal.h"
#include "qt_app.h"
#include "themes/paint.h"

namespace tessaly {
namespace {

using testing::while_shown;

struct InputBoxTest : ::testing::Test {
    AppInfo app;
    Theme theme;
    Boxes boxes{app, theme};

    InputBoxTest() { apply_theme_row(*find_theme("Original Lite"), theme); }

    std::string ask(const std::function<void(Form07*)>& act, const std::string& def = "2") {
        return while_shown([&](QDialog* d) { act(static_cast<Form07*>(d)); },
                           [&] { return boxes.show_inputbox("Serial port number:", def); });
    }
};

void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

TEST_F(InputBoxTest, OpensWithTheWholeDefaultSelectedInTheField) {
    const std::string answer = ask([](Form07* box) {
        EXPECT_EQ(box->focusWidget(), box->txt_input);
        EXPECT_EQ(box->txt_input->selectedText(), "19200");
        EXPECT_EQ(box->txt_input->selectionStart(), 0);
        QTest::keyClick(box->txt_input, Qt::Key_Return);
    }, "19200");
    EXPECT_EQ(answer, "19200");
}

TEST_F(InputBoxTest, AnswersByButtonAndKey) {
    struct Case { const char* what; std::function<void(Form07*)> act; std::string answer; };
    const Case cases[] = {
        {"typing replaces the default",
         [](Form07* b) { QTest::keyClicks(b->txt_input, "7"); QTest::keyClick(b->txt_input, Qt::Key_Return); },
         "7"},
        {"OK keeps blanks as typed",
         [](Form07* b) { QTest::keyClicks(b->txt_input, " 12 "); click(b->Command1); }, " 12 "},
        {"OK with an emptied field",
         [](Form07* b) { QTest::keyClick(b->txt_input, Qt::Key_Delete); click(b->Command1); }, ""},
        {"Cancel whatever was typed",
         [](Form07* b) { QTest::keyClicks(b->txt_input, "5"); click(b->Command2); }, ""},
        {"Escape", [](Form07* b) { QTest::keyClick(b->txt_input, Qt::Key_Escape); }, ""},
        {"closed by the window", [](Form07* b) { QTest::keyClicks(b->txt_input, "5"); b->close(); },
         "2"},
    };
    for (const Case& c : cases) EXPECT_EQ(ask(c.act), c.answer) << c.what;
}

TEST_F(InputBoxTest, FieldAndButtonsFollowThePrompt) {
    const int line = to_twips(QFontMetrics(text_font()).lineSpacing());
    struct Case { std::string prompt; int extra_lines; };
    const Case cases[] = {
        {"Serial port number:", 0},
        {"Serial port number:\r\nCOM1\r\nCOM3", 2},
        {"Enter the programming time in milliseconds, from 1 to 30, for every word written", 1},
    };
    int one_line_height = 0;
    for (const Case& c : cases) {
        Form07 box(app, theme);
        box.dlg.dlgtext = c.prompt;
        box.dlg.dlgvalue = "5";
        box.prepare_display();
        const int label_bottom = top_of(box.lab_title) + height_of(box.lab_title);
        EXPECT_EQ(top_of(box.lab_title), 120);
        EXPECT_EQ(height_of(box.lab_title), autosize_height(box.lab_title) + 60);
        EXPECT_TRUE(box.lab_title->alignment() & Qt::AlignLeft);
        EXPECT_EQ(top_of(box.txt_input), label_bottom + 105);
        EXPECT_EQ(top_of(box.Command1), label_bottom + 525);
        EXPECT_EQ(top_of(box.Command2), label_bottom + 525);
        EXPECT_EQ(height_of(&box), top_of(box.Command1) + 375);
        EXPECT_EQ(to_twips(box.width()), 4695);
        if (c.extra_lines == 0) one_line_height = height_of(&box);
        EXPECT_EQ(height_of(&box) - one_line_height, c.extra_lines * line) << c.prompt;
    }
}

TEST_F(InputBoxTest, CaptionAndColoursFollowTitleAndTheme) {
    apply_theme_row(*find_theme("Amethyst"), theme);
    Form07 box(app, theme);
    EXPECT_EQ(box.windowTitle(), "Tessaly");
    EXPECT_EQ(back_colour(&box), theme_colour(0xB746B4));  // the action colour, not the form's
    EXPECT_EQ(back_colour(box.lab_title), theme_colour(theme.th_info_back));
    EXPECT_EQ(fore_colour(box.lab_title), theme_colour(theme.th_info_fore));
    EXPECT_EQ(back_colour(box.txt_input), theme_colour(theme.th_value_back));
    EXPECT_EQ(fore_colour(box.txt_input), theme_colour(theme.th_value_fore));
}

}  // namespace
}  // namespace tessaly
