// The mouse wheel, the focus rules and the in-place editor of the main window,
// driven by mouse, key and wheel events as the window system delivers them.
#include "app/form1.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>

#include "appfixture.h"
#include "devices/fileio.h"
#include "modal.h"
#include "qt_app.h"
#include "qtloop.h"
#include "view/bufferview.h"
#include "view/celleditor.h"
#include "view/gridfocus.h"
#include "view/gridview.h"
#include "view/wheel.h"

using namespace tessaly;

namespace {

// Model ONE: 1024 FLASH words, 128 EEPROM bytes, one configuration word;
// TWO: 2048 words, no EEPROM, two configuration words.
struct EditWindow {
    explicit EditWindow(const char* model = "1", std::initializer_list<int> free = {})
        : folder("edit") {
        EXPECT_EQ(load_devices(std::string(TESSALY_TEST_DATA) + "/app_devices.txt", list),
                  LoadResult::loaded);
        folder.map_ports(free);
        settings().reg_setstring(set_model, model);
        w = std::make_unique<Form1>(list, appinfo, folder.path());
        w->Form_Load();
        EXPECT_TRUE(test::spin_until([this] { return wheelstate().wheel_installed; }, 2000));
    }

    SettingsStore settings() const { return SettingsStore(folder.path()); }
    BufferView& v() { return w->view(); }
    CellEditor& ed() { return w->editor(); }
    std::int32_t active() { return w->gridfocus().active_grid; }
    QWidget* focused() const { return QApplication::focusWidget(); }

    // One wheel event over the middle of a control, through the window.
    void wheel(QWidget* over, int turn) {
        const QPoint at = over->mapTo(w.get(), over->rect().center());
        QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, turn), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&e);
        qApp->notify(w->windowHandle(), &e);
    }

    // The centre of a cell of a grid, in the grid's pixels.
    static QPoint cell_centre(const GridView* grid, bool flash, int row, int column) {
        const int left = flash ? 64 : 48, width = flash ? 40 : 24;
        return grid->cell_origin(0, 0) + QPoint(left + width * column + width / 2, 13 * row + 6);
    }
    void right_click(bool flash, int row, int column) {
        GridView* grid = flash ? v().tabla_flash : v().tabla_eeprom;
        QTest::mouseClick(grid, Qt::RightButton, Qt::NoModifier, cell_centre(grid, flash, row, column));
    }
    void type(const char* text, Qt::Key end = Qt::Key_Return) {
        QTest::keyClicks(nullptr, QString::fromUtf8(text));
        QTest::keyClick(static_cast<QWidget*>(nullptr), end);
    }
    // A dialog of the program opens and closes; act runs while it is open.
    void dialog(const std::function<void()>& act = [] {}) {
        tessaly::testing::while_shown([&](QDialog* box) { act(); box->reject(); },
                             [&] { return w->show_msgbox("x", box_plain); });
        EXPECT_TRUE(test::spin_until([this] { return w->isActiveWindow(); }, 2000));
    }

    test::ConfigFolder folder;
    DeviceList list;
    AppInfo appinfo;
    std::unique_ptr<Form1> w;
};

}  // namespace

TEST(Wheel, ThreeRowsPerEventOnTheActiveGridWhateverIsUnderThePointer) {
    EditWindow s;
    ASSERT_EQ(s.active(), 1);
    BufferView& v = s.v();
    struct Case { int from; std::vector<int> turns; QWidget* over; int to; };
    const Case cases[] = {
        {0, {-120}, v.tabla_flash, 3},
        {3, {120}, v.tabla_flash, 0},
        {1, {120}, v.scrl1, 0},          // clamped at the minimum
        {119, {-120}, v.scrl1, 120},     // and at the maximum
        {0, {-30, -30, -30, -30}, v.label_conf[0], 12},  // small steps of one notch
        {10, {-120}, v.scrl2, 13},       // not the other grid's scroll bar
        {10, {120, -120, 120}, s.w->label_status, 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.from);
        v.scrl1->setValue(c.from);
        for (int turn : c.turns) s.wheel(c.over, turn);
        EXPECT_EQ(v.scrl1->value(), c.to);
        EXPECT_EQ(v.scrl2->value(), 0);
    }
    v.scrl1->setValue(0);
    s.wheel(v.tabla_flash, -120);
    EXPECT_EQ(v.tabla_flash->text().left(7).toStdString(), "000018:");
}

TEST(Wheel, PointerOverAGridGivesItTheWheel) {
    EditWindow s;
    BufferView& v = s.v();
    QTest::mouseMove(v.tabla_eeprom);
    EXPECT_EQ(s.focused(), v.scrl2);
    EXPECT_EQ(s.active(), 2);
    s.wheel(v.tabla_eeprom, -120);
    s.wheel(v.tabla_flash, -120);  // the pointer not moved on: still the EEPROM grid
    EXPECT_EQ(v.scrl2->value(), 6);
    EXPECT_EQ(v.scrl1->value(), 0);
    QTest::mouseMove(v.tabla_flash);
    EXPECT_EQ(s.active(), 1);
    s.wheel(v.tabla_flash, -120);
    EXPECT_EQ(v.scrl1->value(), 3);
    EXPECT_EQ(v.scrl2->value(), 6);
}

TEST(Wheel, OffWhileADialogIsOpen) {
    EditWindow s;
    BufferView& v = s.v();
    s.dialog([&] {
        EXPECT_TRUE(test::spin_until([] { return !wheelstate().wheel_installed; }, 1000));
        s.wheel(v.tabla_flash, -120);
        s.wheel(v.scrl1, -120);
    });
    EXPECT_EQ(v.scrl1->value(), 0);
    EXPECT_TRUE(wheelstate().wheel_installed);
    s.wheel(v.tabla_flash, -120);
    EXPECT_EQ(v.scrl1->value(), 3);
}

TEST(Wheel, SettingReadAtEachActivation) {
    EditWindow s;
    BufferView& v = s.v();
    std::string text;
    ASSERT_TRUE(read_file(s.settings().file_path(), text));
    EXPECT_NE(text.find("\"Mouse Wheel Enabled\"=dword:00000001"), std::string::npos) << text;

    s.settings().reg_setlong(set_mousewheel, 0);
    s.wheel(v.tabla_flash, -120);
    EXPECT_EQ(v.scrl1->value(), 3);  // until the next activation
    s.dialog();
    EXPECT_FALSE(wheelstate().wheel_installed);
    for (QWidget* over : {static_cast<QWidget*>(v.tabla_flash), static_cast<QWidget*>(v.scrl1)}) {
        s.wheel(over, -120);
    }
    EXPECT_EQ(v.scrl1->value(), 3);  // nothing scrolls, the scroll bar itself neither

    s.settings().reg_setlong(set_mousewheel, 1);
    s.wheel(v.tabla_flash, -120);
    EXPECT_EQ(v.scrl1->value(), 3);
    s.dialog();
    s.wheel(v.tabla_flash, -120);
    EXPECT_EQ(v.scrl1->value(), 6);
}
