#include <memory>
#include <string>

#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include "devices/fileio.h"
#include "dialogs/form05.h"
#include "dialogs/form34.h"
#include "modal.h"
#include "qt_app.h"
#include "temp_settings.h"
#include "themes/paint.h"
#include "ui/kit.h"

namespace tessaly {
namespace {

using testing::TempSettings;
using testing::while_shown;

// count models "M1" to "Mn", model i with a programming time of i ms; the
// sizes are written with odd blanks and words, as a hand-written file may.
DeviceList models(int count, int unusable = 0) {
    std::string text;
    for (int i = 1; i <= count; ++i) {
        const std::string n = std::to_string(i);
        text += "model: M" + n + "\n";
        text += std::string("flash: ") + (i == unusable ? "0" : " 1024 words") + "\n";
        text += "eeprom: 128\nconfigerased: 3FFF\nprogtime: " + n + "\n";
    }
    return parse_devices(text);
}

QRect twips(const QWidget* w) {
    const QRect g = w->geometry();
    return QRect(to_twips(g.x()), to_twips(g.y()), to_twips(g.width()), to_twips(g.height()));
}

Theme theme_named(const char* name) {
    Theme t;
    apply_theme_row(*find_theme(name), t);
    t.themename = name;
    return t;
}

// The entry shows the selected-entry colours, or the plain ones.
void expect_marked(const QLabel* entry, const Theme& t, bool marked) {
    EXPECT_EQ(back_colour(entry), theme_colour(marked ? t.th_caption_back : t.th_value_back))
        << entry->text().toStdString();
    EXPECT_EQ(fore_colour(entry), theme_colour(marked ? t.th_caption_fore : t.th_value_fore))
        << entry->text().toStdString();
}

bool stored(const SettingsStore& s, const char* name) {
    std::string text;
    return read_file(s.file_path(), text) && text.find(name) != std::string::npos;
}

struct ModelList : ::testing::Test {
    TempSettings settings;
    Theme theme = theme_named("Amethyst");
    DeviceList list = models(4);
    SelectedDevice cur;
    std::vector<std::string> boxes;

    ModelList() { select_device(list, 1, cur); }

    std::unique_ptr<Form5> open() {
        return std::make_unique<Form5>(list, cur, settings.store, theme, [this](const std::string& t, int) {
            boxes.push_back(t);
            return answer_ok;
        });
    }
    // Runs the list modally; act works on it while it is shown.
    int run(const std::function<void(Form5*)>& act) {
        auto box = open();
        return while_shown([&](QDialog*) { act(box.get()); }, [&] { return box->exec(); });
    }
};

void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

TEST_F(ModelList, LayoutFollowsTheNumberOfModels) {
    struct Case { int count; QRect last; int buttons; };
    const Case cases[] = {
        {1, {120, 120, 2115, 255}, 480},
        {2, {2340, 120, 2115, 255}, 480},
        {5, {120, 600, 2115, 255}, 960},      // the last row holds its left entry only
        {70, {2340, 8280, 2115, 255}, 8640},  // all 35 rows full
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        list = models(c.count);
        auto box = open();
        box->show();
        QApplication::processEvents();
        ASSERT_EQ(box->opcija.size(), static_cast<std::size_t>(c.count));
        EXPECT_EQ(twips(box->opcija.back()), c.last);
        EXPECT_EQ(twips(box->opcija.front()), QRect(120, 120, 2115, 255));
        EXPECT_EQ(twips(box->Command1), QRect(2340, c.buttons, 1035, 375));
        EXPECT_EQ(twips(box->Command2), QRect(1200, c.buttons, 1035, 375));
        EXPECT_EQ(box->margin, 435);
        EXPECT_EQ(QSize(to_twips(box->width()), to_twips(box->height())), QSize(4575, c.buttons + 435));
        EXPECT_EQ(box->windowTitle().toStdString(), "Select Microcontroller");
        EXPECT_EQ(box->list->verticalScrollBar()->maximum(), 0);
        EXPECT_EQ(box->opcija.back()->alignment(), Qt::AlignCenter);
    }
}

TEST_F(ModelList, MoreThanSeventyModelsScroll) {
    list = models(75);
    select_device(list, 75, cur);
    auto box = open();
    box->show();
    QApplication::processEvents();
    ASSERT_EQ(box->opcija.size(), 75u);
    EXPECT_EQ(twips(box->opcija[74]), QRect(120, 120 + 240 * 37, 2115, 255));
    EXPECT_EQ(top_of(box->Command1), 8640);
    EXPECT_EQ(height_of(box.get()), 9075);
    EXPECT_GT(to_twips(box->width()), 4575);  // room for the scroll bar
    EXPECT_GT(box->list->verticalScrollBar()->maximum(), 0);
    EXPECT_TRUE(box->opcija[74]->visibleRegion().boundingRect().height() > 0)
        << "the current model is scrolled into view";
    click(box->opcija[73]);
    EXPECT_EQ(box->devindex, 74);
}

TEST_F(ModelList, EntriesShowNamesAndTheSizeTextsOfTheFile) {
    list = parse_devices("model: PIC16F84A\nflash:  1024 words\neeprom: 64\nconfigerased: 3FFF\n"
                         "model: B\nflash: 2048\neeprom: \nconfigerased: 3FFF\n");
    select_device(list, 1, cur);
    auto box = open();
    EXPECT_EQ(box->opcija[0]->text().toStdString(), "PIC16F84A");
    EXPECT_EQ(box->opcija[0]->toolTip().toStdString(), "FLASH:  1024 words, EEPROM: 64");
    EXPECT_EQ(box->opcija[1]->toolTip().toStdString(), "FLASH: 2048, EEPROM: ");
    EXPECT_EQ(box->opcija[0]->focusPolicy(), Qt::NoFocus);
}

TEST_F(ModelList, ClicksMoveTheMark) {
    auto box = open();
    EXPECT_EQ(back_colour(box.get()), theme_colour(theme.th_form_back));
    expect_marked(box->opcija[0], theme, true);
    click(box->opcija[2]);
    EXPECT_EQ(box->devindex, 3);
    for (int k = 0; k < 4; ++k) expect_marked(box->opcija[k], theme, k == 2);
    EXPECT_EQ(cur.devindex, 1) << "nothing is selected before Select";
}

TEST_F(ModelList, SelectStoresAndSelectsOnlyAChange) {
    cur.progtime = 25;  // changed in the Options menu
    struct Case {
        const char* what;
        std::function<void(Form5*)> act;
        int result, devindex, progtime;
        bool stored;
    };
    const Case cases[] = {
        {"another model", [](Form5* b) { click(b->opcija[0]); click(b->Command1); },
         QDialog::Accepted, 1, 1, true},
        {"Enter on the focused Select",
         [](Form5* b) { click(b->opcija[0]); QTest::keyClick(b->Command1, Qt::Key_Return); },
         QDialog::Accepted, 1, 1, true},
        {"the same again", [](Form5* b) { click(b->opcija[1]); click(b->opcija[2]); click(b->Command1); },
         QDialog::Accepted, 3, 25, false},
        {"Select without a click", [](Form5* b) { click(b->Command1); }, QDialog::Accepted, 3, 25, false},
        {"double click", [](Form5* b) { QTest::mouseDClick(b->opcija[1], Qt::LeftButton); },
         QDialog::Accepted, 2, 2, true},
        {"Cancel", [](Form5* b) { click(b->opcija[3]); click(b->Command2); }, QDialog::Rejected, 3, 25,
         false},
        {"close box", [](Form5* b) { click(b->opcija[3]); b->close(); }, QDialog::Rejected, 3, 25, false},
        {"Escape means nothing", [](Form5* b) {
             QTest::keyClick(b, Qt::Key_Escape);
             EXPECT_TRUE(b->isVisible());
             click(b->Command2);
         }, QDialog::Rejected, 3, 25, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        select_device(list, 3, cur);
        cur.progtime = 25;
        std::remove(settings.store.file_path().c_str());
        EXPECT_EQ(run(c.act), c.result);
        EXPECT_EQ(cur.devindex, c.devindex);
        EXPECT_EQ(cur.modelname, "M" + std::to_string(c.devindex));
        EXPECT_EQ(cur.progtime, c.progtime) << "select_device ran exactly when the model changed";
        EXPECT_EQ(stored(settings.store, set_model), c.stored);
        if (c.stored) {
            EXPECT_EQ(settings.store.reg_getstring(set_model, ""), std::to_string(c.devindex));
        }
    }
    EXPECT_TRUE(boxes.empty());
}

TEST_F(ModelList, AModelThatCannotBeUsedIsRefusedAndNothingStored) {
    list = models(4, 2);
    const int result = run([](Form5* b) { click(b->opcija[1]); click(b->Command1); });
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(cur.devindex, 1);
    EXPECT_EQ(cur.modelname, "M1");
    EXPECT_FALSE(stored(settings.store, set_model));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].find("M2"), std::string::npos) << boxes[0];
}

TEST(ThemeList, NamesInTheListsOrder) {
    const std::vector<std::string> names = theme_list_names();
    ASSERT_EQ(names.size(), 46u);
    EXPECT_EQ(names.front(), "Amethyst");
    EXPECT_EQ(names.back(), "Winamp Old");
    const std::vector<std::string> middle(names.begin() + 33, names.begin() + 37);
    EXPECT_EQ(middle, (std::vector<std::string>{"Powerpuff!", "Original Dark", "Original Lite", "Owayke"}));
}

struct ThemeListTest : ::testing::Test {
    TempSettings settings;
    Theme theme;
    int main_painted = 0;

    // The theme of start-up: the stored name loaded.
    void start_with(const std::string& name) {
        settings.store.reg_setstring(set_theme, name);
        load_theme(settings.store, theme);
    }
    std::unique_ptr<Form34> open() {
        return std::make_unique<Form34>(settings.store, theme, [this] { ++main_painted; });
    }
    std::string stored_name() const { return settings.store.reg_getstring(set_theme, "?"); }
};

TEST_F(ThemeListTest, Layout) {
    start_with("Original Lite");
    auto box = open();
    EXPECT_EQ(box->windowTitle().toStdString(), "Change Color Theme");
    EXPECT_EQ(QSize(to_twips(box->width()), to_twips(box->height())), QSize(4575, 7515));
    EXPECT_EQ(twips(box->opcija[0]), QRect(120, 120, 2115, 255));
    EXPECT_EQ(twips(box->opcija[45]), QRect(2340, 120 + 300 * 22, 2115, 255));
    EXPECT_EQ(box->opcija[35]->text().toStdString(), "Original Lite");
    EXPECT_EQ(twips(box->Command1), QRect(3420, 7080, 1035, 375));
    EXPECT_EQ(twips(box->Command2), QRect(2340, 7080, 1035, 375));
    EXPECT_TRUE(box->Command1->isDefault());
    // Cancel comes before Select in the tab order.
    QWidget* next = box->Command2->nextInFocusChain();
    while (!(next->focusPolicy() & Qt::TabFocus)) next = next->nextInFocusChain();
    EXPECT_EQ(next, box->Command1);
}

TEST_F(ThemeListTest, AClickPreviewsStoresAndMarksOnlyTheClickedEntry) {
    start_with("Original Lite");
    auto box = open();
    const std::vector<std::string> names = theme_list_names();
    for (int k : {0, 34, 35, 12}) {  // the originals are marked though matched last
        SCOPED_TRACE(names[k]);
        click(box->opcija[k]);
        EXPECT_EQ(stored_name(), names[k]);
        EXPECT_EQ(theme.themename, names[k]);
        const Theme expected = theme_named(names[k].c_str());
        EXPECT_EQ(theme.th_form_back, expected.th_form_back);
        EXPECT_EQ(back_colour(box.get()), theme_colour(expected.th_form_back));
        for (int j = 0; j < theme_count; ++j) expect_marked(box->opcija[j], expected, j == k);
    }
    EXPECT_EQ(main_painted, 4);
    EXPECT_TRUE(box->isVisibleTo(nullptr) || !box->isVisible()) << "the list stays open";
}

TEST_F(ThemeListTest, WaysOut) {
    struct Case {
        const char* what;
        const char* loaded;  // the stored name when the list opens
        std::function<void(Form34*)> act;
        const char* stored;  // afterwards
        const char* colours;
    };
    const Case cases[] = {
        {"Select keeps the last click", "Amethyst",
         [](Form34* b) { click(b->opcija[2]); click(b->opcija[5]); click(b->Command1); },
         "Blue Martini", "Blue Martini"},
        {"Cancel returns to the name of load time", "Amethyst",
         [](Form34* b) { click(b->opcija[2]); click(b->Command2); }, "Amethyst", "Amethyst"},
        {"Escape is Cancel", "Amethyst",
         [](Form34* b) { click(b->opcija[2]); QTest::keyClick(b, Qt::Key_Escape); }, "Amethyst",
         "Amethyst"},
        {"the close box keeps the last click", "Amethyst",
         [](Form34* b) { click(b->opcija[2]); b->close(); }, "Baby Jeans", "Baby Jeans"},
        {"Select without a click", "Grapes", [](Form34* b) { click(b->Command1); }, "Grapes", "Grapes"},
        {"an unknown name comes back unchanged", "amethyst",
         [](Form34* b) { click(b->opcija[2]); click(b->Command2); }, "amethyst", "Original Lite"},
        {"an empty name comes back, the colours stay", "",
         [](Form34* b) { click(b->opcija[2]); click(b->Command2); }, "", "Baby Jeans"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        theme = theme_named("Original Lite");
        start_with(c.loaded);
        auto box = open();
        for (QLabel* entry : box->opcija) {
            expect_marked(entry, theme, entry->text().toStdString() == c.loaded);
        }
        EXPECT_EQ(box->oldthemename, c.loaded);
        while_shown([&](QDialog*) { c.act(box.get()); }, [&] { return box->exec(); });
        EXPECT_EQ(stored_name(), c.stored);
        EXPECT_EQ(theme.themename, c.stored);
        EXPECT_EQ(theme.th_value_back, theme_named(c.colours).th_value_back);
        EXPECT_EQ(theme.th_info_fore, theme_named(c.colours).th_info_fore);
    }
}

}  // namespace
}  // namespace tessaly
