#include <memory>
#include <string>

#include <QClipboard>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <gtest/gtest.h>

#include "dialogs/boxes.h"
#include "ui/kit.h"
#include "dialogs/form08.h"
#include "modal.h"
#include "qt_app.h"
#include "themes/paint.h"

namespace tessaly {
namespace {

using testing::while_shown;

const std::string long_path =
    "/home/someone/projects/firmware/pic16f628a/release_candidate_build/output/main.hex";

struct MsgBoxTest : ::testing::Test {
    AppInfo app;
    Theme theme;
    Boxes boxes{app, theme};

    MsgBoxTest() { apply_theme_row(*find_theme("Original Lite"), theme); }

    std::unique_ptr<Form08> laid_out(const std::string& text, int kind = box_plain) {
        auto box = std::make_unique<Form08>(app, theme);
        box->dlg.dlgtext = text;
        box->dlg.dlgkind = kind;
        box->prepare_display();
        return box;
    }
};

int line_twips() { return to_twips(QFontMetrics(text_font()).lineSpacing()); }

// The box follows its text: label + 60, buttons 105 below it, window 375
// below the buttons; the text box covers the label and its text fits in it.
void expect_follows_text(const Form08& box) {
    const int label_bottom = top_of(box.lab_title) + height_of(box.lab_title);
    EXPECT_EQ(top_of(box.lab_title), 120);
    EXPECT_EQ(to_twips(box.lab_title->width()), 5655);
    EXPECT_EQ(height_of(box.lab_title), autosize_height(box.txt_title) + 60);
    EXPECT_EQ(box.txt_title->geometry(), box.lab_title->geometry());
    EXPECT_LE(box.txt_title->document()->size().height(), box.txt_title->height());
    EXPECT_LE(box.txt_title->document()->size().width(), box.txt_title->width());
    EXPECT_EQ(top_of(box.Command1), label_bottom + 105);
    EXPECT_EQ(top_of(box.Command2), label_bottom + 105);
    EXPECT_EQ(height_of(&box), top_of(box.Command1) + 375);
    EXPECT_EQ(to_twips(box.width()), 6615);
}

TEST_F(MsgBoxTest, HeightFollowsTheLinesOfTheText) {
    auto one = laid_out("Chip programmed.");
    expect_follows_text(*one);
    const int one_line = height_of(one.get());

    auto three = laid_out("Chip is not blank:\r\n\r\nFLASH Word 0010h,   0000h,   3FFFh,");
    expect_follows_text(*three);
    EXPECT_EQ(height_of(three.get()) - one_line, 2 * line_twips());

    auto wrapped = laid_out(
        "Every difference found between the chip and the buffer is listed, one line per word");
    expect_follows_text(*wrapped);
    EXPECT_EQ(height_of(wrapped.get()) - one_line, line_twips());

    auto path = laid_out("Cannot open " + long_path);
    expect_follows_text(*path);
    EXPECT_GT(height_of(path.get()), one_line);
}

TEST_F(MsgBoxTest, ShowsAnyTextWhole) {
    const std::string odd[] = {
        "",
        std::string(300, 'q'),              // no place to break: broken anywhere
        "bad bytes \xff\xfe\xc3 here",
        std::string(2000, '\n'),
        [] { std::string s; for (int i = 0; i < 300; ++i) s += "FLASH Word 0010h,\r\n"; return s; }(),
    };
    for (const std::string& text : odd) {
        auto box = laid_out(text);
        expect_follows_text(*box);
    }
}

TEST_F(MsgBoxTest, OnlyTextsWithoutLineBreaksAreCentred) {
    struct Case { std::string text; bool centred; };
    const Case cases[] = {
        {"Wrong entry!", true},
        {"File " + long_path, true},  // broken into lines, still centred
        {"Wrong entry!\r\n", false},  // a final break is dropped from view only
        {"Header\r\nline", false},
    };
    for (const Case& c : cases) {
        auto box = laid_out(c.text);
        const bool label = box->lab_title->alignment() & Qt::AlignHCenter;
        const bool text = box->txt_title->document()->defaultTextOption().alignment() &
                          Qt::AlignHCenter;
        EXPECT_EQ(label, c.centred) << c.text;
        EXPECT_EQ(text, c.centred) << c.text;
    }
    EXPECT_EQ(laid_out("a\r\n\r\n")->txt_title->toPlainText(), "a\n");
}

TEST_F(MsgBoxTest, KindChoosesPictureAndButtons) {
    struct Case { int kind; const char* picture; bool no_button; const char* first; };
    const Case cases[] = {
        {box_plain, "img_ok", false, "OK"},   {box_error, "img_err", false, "OK"},
        {box_info, "img_info", false, "OK"},  {box_yesno, "img_ask", true, "Yes"},
        {8, nullptr, false, "OK"},            {-1, nullptr, false, "OK"},
    };
    for (const Case& c : cases) {
        auto box = laid_out("Question?", c.kind);
        box->show();
        for (QLabel* img : {box->img_ok, box->img_info, box->img_err, box->img_ask}) {
            const bool wanted = c.picture && img->objectName() == c.picture;
            EXPECT_EQ(img->isVisible(), wanted) << c.kind << " " << img->objectName().toStdString();
            EXPECT_FALSE(img->pixmap().isNull());
        }
        EXPECT_EQ(box->Command2->isVisible(), c.no_button) << c.kind;
        EXPECT_EQ(box->Command1->text(), c.first) << c.kind;
        if (c.no_button) {
            EXPECT_EQ(to_twips(box->Command1->x()), 4800);  // "Yes" left of "No"
            EXPECT_EQ(to_twips(box->Command2->x()), 5700);
        }
    }
}

TEST_F(MsgBoxTest, AnswersByKindAndKey) {
    enum Way { enter, escape, click_ok, click_no, close_window };
    struct Case { const char* what; int kind; Way way; int answer; };
    const Case cases[] = {
        {"plain, Enter", box_plain, enter, answer_ok},
        {"error, OK clicked", box_error, click_ok, answer_ok},
        {"unknown kind, Enter", 8, enter, answer_ok},
        {"question, Enter", box_yesno, enter, answer_yes},
        {"question, Yes clicked", box_yesno, click_ok, answer_yes},
        {"question, No clicked", box_yesno, click_no, answer_no},
        {"question, Escape", box_yesno, escape, answer_no},
        {"question, closed", box_yesno, close_window, answer_no},
        {"information, Escape", box_info, escape, answer_no},
        {"plain, closed", box_plain, close_window, answer_no},
    };
    for (const Case& c : cases) {
        const int answer = while_shown(
            [&](QDialog* d) {
                auto* box = static_cast<Form08*>(d);
                EXPECT_EQ(d->focusWidget(), box->Command1) << c.what;
                switch (c.way) {
                case enter: QTest::keyClick(d->focusWidget(), Qt::Key_Return); break;
                case escape: QTest::keyClick(d->focusWidget(), Qt::Key_Escape); break;
                case click_ok: QTest::mouseClick(box->Command1, Qt::LeftButton); break;
                case click_no: QTest::mouseClick(box->Command2, Qt::LeftButton); break;
                case close_window: d->close(); break;
                }
            },
            [&] { return boxes.show_msgbox("Overwrite existing file?", c.kind); });
        EXPECT_EQ(answer, c.answer) << c.what;
    }
}

TEST_F(MsgBoxTest, AdaptsToTheCoreMessageBoxCall) {
    const MsgBox ask = boxes.msgbox();
    const int answer = while_shown(
        [](QDialog* d) { QTest::keyClick(d->focusWidget(), Qt::Key_Escape); },
        [&] { return ask("Overwrite?", box_yesno); });
    EXPECT_EQ(answer, answer_no);
}

TEST_F(MsgBoxTest, TabMovesBetweenTheButtonsOnly) {
    auto box = laid_out("Overwrite?", box_yesno);
    box->show();
    box->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(box.get()));
    EXPECT_EQ(QApplication::focusWidget(), box->Command1);
    QTest::keyClick(box->Command1, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), box->Command2);
    QTest::keyClick(box->Command2, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), box->Command1);
    box->txt_title->setFocus();  // as a click or a program would
    EXPECT_EQ(QApplication::focusWidget(), box->Command1);
}

TEST_F(MsgBoxTest, ClickOnTheTextCopiesItAsWrapped) {
    const std::string text = "Cannot write " + long_path + "\r\n";
    auto box = laid_out(text);
    box->show();
    box->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(box.get()));
    const QString expected = wrap_long_words(QString::fromStdString(text));
    ASSERT_TRUE(expected.contains("\r\n"));
    ASSERT_FALSE(expected.endsWith("\r\n"));

    for (QWidget* target : {box->txt_title->viewport(), static_cast<QWidget*>(box->lab_title)}) {
        QApplication::clipboard()->setText("held before");
        QTest::mouseClick(target, Qt::LeftButton);
        EXPECT_EQ(QApplication::clipboard()->text(), expected);
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(QApplication::focusWidget(), box->Command1);
    }
}

TEST_F(MsgBoxTest, CaptionIsTheProgramTitleAndColoursTheTheme) {
    apply_theme_row(*find_theme("Amethyst"), theme);
    app.title = "Tessaly test";
    auto box = laid_out("Hello");
    EXPECT_EQ(box->windowTitle(), "Tessaly test");
    EXPECT_EQ(back_colour(box.get()), theme_colour(0x70275E));
    for (QWidget* text : {static_cast<QWidget*>(box->lab_title), static_cast<QWidget*>(box->txt_title)}) {
        EXPECT_EQ(text->palette().color(QPalette::Window), theme_colour(theme.th_info_back));
        EXPECT_EQ(text->palette().color(QPalette::Base), theme_colour(theme.th_info_back));
        EXPECT_EQ(text->palette().color(QPalette::Text), theme_colour(theme.th_info_fore));
    }
    EXPECT_NE(box->Command1->palette().color(QPalette::Button), theme_colour(theme.th_form_back));
}

}  // namespace
}  // namespace tessaly
