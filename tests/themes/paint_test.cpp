#include "themes/paint.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QWidget>
#include <gtest/gtest.h>

#include "qt_app.h"

namespace tessaly {
namespace {

// A window like the program's: painted labels and an entry field, and a
// button and a grid that no rule names.
struct Window {
    QWidget window;
    QLabel* label = new QLabel(QStringLiteral("Status"), &window);
    QLineEdit* entry = new QLineEdit(&window);
    QPushButton* button = new QPushButton(QStringLiteral("OK"), &window);
    QTextEdit* grid = new QTextEdit(&window);

    void settheme(const Theme& t) {
        paint_theme(t, {
            {&window, &Theme::th_form_back},
            {label, &Theme::th_name_back, &Theme::th_name_fore},
            {entry, &Theme::th_value_back, &Theme::th_value_fore},
        });
    }
};

Theme theme_named(const char* name) {
    Theme t;
    apply_theme_row(*find_theme(name), t);
    return t;
}

TEST(ThemeColour, LowByteIsRed) {
    EXPECT_EQ(theme_colour(0x70275E), QColor(0x5E, 0x27, 0x70));
    EXPECT_EQ(theme_colour(0xC0FFFF), QColor(0xFF, 0xFF, 0xC0));
}

TEST(PaintTheme, ColoursTheNamedControlsOnly) {
    Window w;
    const QPalette button_before = w.button->palette();
    const QColor grid_base = w.grid->palette().color(QPalette::Base);
    const QColor grid_text = w.grid->palette().color(QPalette::Text);
    const Theme t = theme_named("Amethyst");
    w.settheme(t);

    EXPECT_EQ(back_colour(&w.window), theme_colour(t.th_form_back));
    EXPECT_EQ(back_colour(w.label), theme_colour(t.th_name_back));
    EXPECT_EQ(fore_colour(w.label), theme_colour(t.th_name_fore));
    EXPECT_EQ(back_colour(w.entry), theme_colour(t.th_value_back));
    EXPECT_EQ(fore_colour(w.entry), theme_colour(t.th_value_fore));
    EXPECT_TRUE(w.label->autoFillBackground());

    EXPECT_EQ(w.button->palette().color(QPalette::Button), button_before.color(QPalette::Button));
    EXPECT_EQ(w.button->palette().color(QPalette::ButtonText),
              button_before.color(QPalette::ButtonText));
    EXPECT_EQ(w.grid->palette().color(QPalette::Base), grid_base);
    EXPECT_EQ(w.grid->palette().color(QPalette::Text), grid_text);
}

TEST(PaintTheme, AllBlackThemeBlackensLabelsButNotButtonsOrGrids) {
    Window w;
    const QColor grid_base = w.grid->palette().color(QPalette::Base);
    w.settheme(Theme{});
    EXPECT_EQ(back_colour(&w.window), QColor(Qt::black));
    EXPECT_EQ(back_colour(w.label), QColor(Qt::black));
    EXPECT_EQ(fore_colour(w.label), QColor(Qt::black));
    EXPECT_NE(w.button->palette().color(QPalette::Button), QColor(Qt::black));
    EXPECT_EQ(w.grid->palette().color(QPalette::Base), grid_base);
}

TEST(PaintTheme, RepaintingFollowsTheThemeAndTwiceChangesNothing) {
    Window w;
    w.settheme(theme_named("Amethyst"));
    const Theme dark = theme_named("Original Dark");
    w.settheme(dark);
    const QPalette once = w.label->palette();
    w.settheme(dark);
    EXPECT_EQ(w.label->palette(), once);
    EXPECT_EQ(back_colour(w.label), theme_colour(dark.th_name_back));
    EXPECT_EQ(back_colour(&w.window), theme_colour(dark.th_form_back));
}

}  // namespace
}  // namespace tessaly
