// The main window's theme colours and its scroll bars, driven through the
// window's own controls.
#include "app/form1.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

#include "appfixture.h"
#include "qt_app.h"
#include "themes/paint.h"
#include "view/bufferview.h"
#include "view/gridview.h"

using namespace tessaly;

namespace {

// Fifteen colours, one per theme field, no two alike.
Theme distinct_theme() {
    Theme t;
    for (int i = 0; i < theme_colour_count; ++i) t.*theme_colour_fields[i] = 0x010203 + i * 0x111111;
    return t;
}

}  // namespace

TEST(MainWindowTheme, EachControlTakesItsOwnColourFields) {
    test::Started win("settheme");
    win.start();
    Form1& w = *win.window;
    const BufferView& v = w.view();
    w.theme() = distinct_theme();

    struct Untouched { const char* name; QWidget* widget; QPalette before; };
    std::vector<Untouched> untouched;
    const auto keep = [&](const char* name, QWidget* widget) {
        untouched.push_back({name, widget, widget->palette()});
    };
    const char* const buttons[] = {"Command1", "Command2", "Command3", "Command4", "Command5"};
    for (std::size_t i = 0; i < w.Command.size(); ++i) keep(buttons[i], w.Command[i]);
    keep("tabla_flash", v.tabla_flash);
    keep("tabla_eeprom", v.tabla_eeprom);
    keep("scrl1", v.scrl1);
    keep("scrl2", v.scrl2);

    w.settheme();

    struct Painted { const char* name; QWidget* widget; ThemeColour back; ThemeColour fore; };
    const Painted painted[] = {
        {"Form1", w.centralWidget(), &Theme::th_form_back, nullptr},
        {"label_ime", v.label_ime, &Theme::th_name_back, &Theme::th_name_fore},
        {"label_info", v.label_info, &Theme::th_info_back, &Theme::th_info_fore},
        {"Label3", w.Label3, &Theme::th_memory_back, &Theme::th_memory_fore},
        {"Label4", w.Label4, &Theme::th_memory_back, &Theme::th_memory_fore},
        {"Label1", w.Label1, &Theme::th_model_back, &Theme::th_model_fore},
        {"Label5", w.Label5, &Theme::th_name_back, &Theme::th_name_fore},
        {"Label7", w.Label7, &Theme::th_action_back, &Theme::th_action_fore},
        {"label_vpp", w.label_vpp, &Theme::th_action_back, &Theme::th_action_fore},
        {"lfix(0)", v.lfix[0], &Theme::th_caption_back, &Theme::th_caption_fore},
        {"lfix(1)", v.lfix[1], &Theme::th_caption_back, &Theme::th_caption_fore},
        {"label_hex", w.label_hex, &Theme::th_value_back, &Theme::th_value_fore},
        {"label_status", w.label_status, &Theme::th_value_back, &Theme::th_value_fore},
        {"label_conf(0)", v.label_conf[0], &Theme::th_value_back, &Theme::th_value_fore},
        {"label_conf(1)", v.label_conf[1], &Theme::th_value_back, &Theme::th_value_fore},
    };
    const Theme& t = w.theme();
    for (const Painted& p : painted) {
        SCOPED_TRACE(p.name);
        ASSERT_NE(p.widget, nullptr);
        EXPECT_EQ(back_colour(p.widget), theme_colour(t.*p.back));
        EXPECT_TRUE(p.widget->autoFillBackground());
        if (p.fore) {
            EXPECT_EQ(fore_colour(p.widget), theme_colour(t.*p.fore));
        }
    }
    for (const Untouched& u : untouched) {
        SCOPED_TRACE(u.name);
        for (const auto role : {QPalette::Button, QPalette::ButtonText, QPalette::Base, QPalette::Text})
            EXPECT_EQ(u.widget->palette().color(role), u.before.color(role)) << role;
    }
}

namespace {

std::string first_address(const GridView* grid) {
    return grid->text().section(QStringLiteral(":"), 0, 0).toStdString();
}

// Where a part of the scroll bar lies, as its style draws it.
QPoint centre_of(QScrollBar* bar, QStyle::SubControl part) {
    QStyleOptionSlider o;
    o.initFrom(bar);
    o.subControls = QStyle::SC_All;
    o.orientation = bar->orientation();
    o.minimum = bar->minimum();
    o.maximum = bar->maximum();
    o.sliderPosition = bar->sliderPosition();
    o.sliderValue = bar->value();
    o.singleStep = bar->singleStep();
    o.pageStep = bar->pageStep();
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &o, part, bar).center();
}

void send_mouse(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    QMouseEvent e(type, at, to->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
    QApplication::sendEvent(to, &e);
}

}  // namespace

TEST(MainWindowScrollBars, ThumbDragRedrawsFromTheThumbAndReleaseSetsTheValue) {
    test::Started win("thumbdrag");
    win.start();
    BufferView& v = win.window->view();
    struct Bar { const char* name; QScrollBar* bar; GridView* grid; int digits; };
    const Bar bars[] = {{"scrl1", v.scrl1, v.tabla_flash, 6}, {"scrl2", v.scrl2, v.tabla_eeprom, 4}};
    for (const Bar& b : bars) {
        SCOPED_TRACE(b.name);
        const QPoint from = centre_of(b.bar, QStyle::SC_ScrollBarSlider);
        send_mouse(b.bar, QEvent::MouseButtonPress, from, Qt::LeftButton);
        ASSERT_TRUE(b.bar->isSliderDown());
        send_mouse(b.bar, QEvent::MouseMove, from + QPoint(0, 40), Qt::LeftButton);
        const int row = b.bar->sliderPosition();
        ASSERT_GT(row, 0);
        EXPECT_EQ(b.bar->value(), 0);  // the value holds while the thumb moves
        const QString address = QStringLiteral("%1").arg(8 * row, b.digits, 16, QLatin1Char('0')).toUpper();
        EXPECT_EQ(first_address(b.grid), address.toStdString());
        send_mouse(b.bar, QEvent::MouseButtonRelease, from + QPoint(0, 40), Qt::NoButton);
        EXPECT_EQ(b.bar->value(), row);
        EXPECT_EQ(first_address(b.grid), address.toStdString());
    }
}

TEST(MainWindowScrollBars, ArrowStepsOneRowAndPageStepsEight) {
    test::Started win("steps");
    win.start();
    BufferView& v = win.window->view();
    struct Step { const char* name; QStyle::SubControl part; int rows; };
    const Step steps[] = {
        {"down arrow", QStyle::SC_ScrollBarAddLine, 1},
        {"page below the thumb", QStyle::SC_ScrollBarAddPage, 8},
        {"up arrow", QStyle::SC_ScrollBarSubLine, -1},
        {"page above the thumb", QStyle::SC_ScrollBarSubPage, -8},
    };
    int row = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.name);
        QTest::mouseClick(v.scrl1, Qt::LeftButton, Qt::NoModifier, centre_of(v.scrl1, s.part));
        row += s.rows;
        EXPECT_EQ(v.scrl1->value(), row);
        EXPECT_EQ(first_address(v.tabla_flash),
                  QStringLiteral("%1").arg(8 * row, 6, 16, QLatin1Char('0')).toUpper().toStdString());
    }
}
