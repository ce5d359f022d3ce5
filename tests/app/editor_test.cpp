// The mouse wheel, the focus rules and the in-place editor of the main window,
// driven by mouse, key and wheel events as the window system delivers them.
#include "app/form1.h"

#include <tuple>

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
#include "devices/wire.h"
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
    explicit EditWindow(const char* model = "1", std::initializer_list<int> free = {},
                        const std::string& devices = std::string(TESSALY_TEST_DATA) + "/app_devices.txt")
        : folder("edit") {
        EXPECT_EQ(load_devices(devices, list), LoadResult::loaded);
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
    // The pointer to a point of a control; a real display delivers the move
    // a moment later.
    void move_to(QWidget* over, QPoint at = QPoint()) {
        QTest::mouseMove(over, at);
        test::spin_for(50);
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
    s.move_to(v.tabla_eeprom);
    EXPECT_EQ(s.focused(), v.scrl2);
    EXPECT_EQ(s.active(), 2);
    s.wheel(v.tabla_eeprom, -120);
    s.wheel(v.tabla_flash, -120);  // the pointer not moved on: still the EEPROM grid
    EXPECT_EQ(v.scrl2->value(), 6);
    EXPECT_EQ(v.scrl1->value(), 0);
    s.move_to(v.tabla_flash);
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

TEST(Focus, AClickOnAGridEndsOnItsScrollBarWhichTheKeysThenStep) {
    EditWindow s;
    BufferView& v = s.v();
    struct Case { QWidget* clicked; QPoint at; QScrollBar* bar; int grid; int after; };
    const Case cases[] = {
        {v.tabla_eeprom, QPoint(), v.scrl2, 2, 8},       // 0 + 1 + 8, clamped at 8
        {v.tabla_flash, QPoint(), v.scrl1, 1, 9},
        {v.scrl2, QPoint(5, 5), v.scrl2, 2, 8},          // the scroll bar itself takes it too
        {s.w->centralWidget(), QPoint(2, 2), v.scrl1, 1, 18},  // the window's background
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.grid);
        QTest::mouseClick(c.clicked, Qt::LeftButton, Qt::NoModifier, c.at);
        EXPECT_EQ(s.focused(), c.bar);
        EXPECT_EQ(s.active(), c.grid);
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Down);
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_PageDown);
        EXPECT_EQ(c.bar->value(), c.after);
    }
}

namespace {

// The text of a cell as the grid shows it.
std::string shown(const GridView* grid, bool flash, int row, int column) {
    const QString line = grid->text().split(QStringLiteral("\r\n")).value(row);
    return (flash ? line.mid(8 + 5 * column, 4) : line.mid(6 + 3 * column, 2)).toStdString();
}

}  // namespace

TEST(Editor, RightClickOpensItOverTheCellUnderThePointer) {
    EditWindow s;
    BufferView& v = s.v();
    std::vector<std::pair<int, int>> cells{{7, 7}};  // row, column: one row, one column, the last
    for (int i = 0; i < 8; ++i) {
        cells.emplace_back(1, i);
        cells.emplace_back(i, 2);
    }
    for (bool flash : {true, false}) {
        GridView* grid = flash ? v.tabla_flash : v.tabla_eeprom;
        QScrollBar* bar = flash ? v.scrl1 : v.scrl2;
        const int left = flash ? 64 : 48, width = flash ? 40 : 24;
        for (int first : {0, bar->maximum()}) {
            bar->setValue(first);
            for (const auto& [row, column] : cells) {
                SCOPED_TRACE(::testing::Message() << flash << " " << first << " " << row << "," << column);
                s.right_click(flash, row, column);
                EXPECT_EQ(s.ed().edit_index, (first + row) * 8 + column);
                EXPECT_EQ(s.ed().edit_target, flash ? edit_flash : edit_eeprom);
                EXPECT_FALSE(s.ed().edit_pending);
                EXPECT_EQ(s.focused(), s.ed().unosbox);
                const QPoint cell = grid->pos() + grid->cell_origin(0, 0);
                const QRect box = s.ed().unosbox->geometry();
                EXPECT_EQ(box.topLeft(), QPoint(cell.x() + left + width * column, cell.y() + 13 * row - 2));
                EXPECT_EQ(box.height(), 17);
                if (column < 7) {
                    EXPECT_EQ(box.width(), width);
                }
                EXPECT_TRUE(grid->geometry().contains(box));  // the scroll bar stays free
                EXPECT_EQ(s.ed().unosbox->maxLength(), flash ? 4 : 2);
                QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Escape);
                EXPECT_TRUE(s.ed().unosbox->isHidden());
                EXPECT_EQ(s.focused(), bar);
            }
        }
    }
    EXPECT_EQ(s.ed().edit_index, 8 * 8 + 7 * 8 + 2);  // the EEPROM's last row at its end

    // A right click on another cell while one is being edited moves the box
    // there, empty, and leaves the first cell as it was.
    v.scrl1->setValue(0);
    s.right_click(true, 1, 2);
    QTest::keyClicks(nullptr, QStringLiteral("5"));
    s.right_click(true, 3, 4);
    EXPECT_EQ(s.ed().edit_index, 28);
    EXPECT_TRUE(s.ed().unosbox->isVisible());
    EXPECT_EQ(s.ed().unosbox->text().toStdString(), "");
    s.type("5");
    EXPECT_EQ(s.w->chipimage().flashbuf[10], 0x3FFF);
    EXPECT_EQ(s.w->chipimage().flashbuf[28], 5);
}

TEST(Editor, EnterStoresAValueInRangeAndNothingElse) {
    enum How { flash_cell, eeprom_cell, conf_label };
    struct Case { const char* model; How how; const char* typed; Qt::Key end; int stored; const char* looks; };
    const Case cases[] = {
        {"1", flash_cell, "3fff", Qt::Key_Return, 0x3FFF, "3FFF"},  // the limit, upper-cased
        {"1", flash_cell, "7", Qt::Key_Enter, 7, "0007"},
        {"1", flash_cell, "4000", Qt::Key_Return, -1, "0000"},
        {"1", flash_cell, "1G", Qt::Key_Return, -1, "0000"},
        {"1", flash_cell, "12 ", Qt::Key_Return, -1, "0000"},
        {"1", flash_cell, "", Qt::Key_Return, -1, "0000"},
        {"1", flash_cell, "123", Qt::Key_Escape, -1, "0000"},
        {"1", eeprom_cell, "a", Qt::Key_Return, 0x0A, "0A"},
        {"1", eeprom_cell, "100", Qt::Key_Return, 0x10, "10"},  // two characters at most
        {"1", eeprom_cell, "ff", Qt::Key_Return, 0xFF, "FF"},
        {"2", conf_label, "2007", Qt::Key_Return, 0x2007, "2007"},
        {"2", conf_label, "4000", Qt::Key_Return, -1, "0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.how << " '" << c.typed << "'");
        EditWindow s(c.model);
        BufferView& v = s.v();
        ChipImage& image = s.w->chipimage();
        std::int32_t& element = c.how == flash_cell ? image.flashbuf[10]
                              : c.how == eeprom_cell ? image.eeprombuf[10] : image.conf[1];
        element = 0;
        s.w->updatedisplay();
        s.w->label_hex->setText(QStringLiteral("/somewhere/file.hex"));
        if (c.how == conf_label) {
            QTest::mouseClick(v.label_conf[1], Qt::LeftButton);
            EXPECT_EQ(s.ed().unosbox->geometry(), v.label_conf[1]->geometry());
            EXPECT_EQ(s.ed().edit_index, 2);
        } else {
            s.right_click(c.how == flash_cell, 1, 2);
            EXPECT_EQ(s.ed().edit_index, 10);
        }
        ASSERT_TRUE(s.ed().unosbox->isVisible());
        s.type(c.typed, c.end);
        EXPECT_TRUE(s.ed().unosbox->isHidden());
        EXPECT_EQ(element, c.stored < 0 ? 0 : c.stored);
        EXPECT_EQ(s.w->label_hex->text().isEmpty(), c.stored >= 0);
        EXPECT_EQ(s.focused(), c.how == eeprom_cell ? v.scrl2 : v.scrl1);
        const std::string looks = c.how == conf_label ? v.label_conf[1]->text().toStdString()
                                                      : shown(c.how == flash_cell ? v.tabla_flash : v.tabla_eeprom,
                                                              c.how == flash_cell, 1, 2);
        EXPECT_EQ(looks, c.looks);
        EXPECT_EQ(s.w->label_status->text().toStdString(), "Serial port COM2 error!");  // no message
    }
}

TEST(Editor, ClosesWithoutStoringWhenThePointerMovesToTheOtherGrid) {
    EditWindow s;
    BufferView& v = s.v();
    s.w->label_hex->setText(QStringLiteral("/somewhere/file.hex"));
    s.move_to(v.tabla_eeprom, EditWindow::cell_centre(v.tabla_eeprom, false, 0, 3));
    s.right_click(false, 0, 3);
    ASSERT_TRUE(s.ed().unosbox->isVisible());
    QTest::keyClicks(nullptr, QStringLiteral("12"));
    s.move_to(v.tabla_flash);
    EXPECT_TRUE(s.ed().unosbox->isHidden());
    EXPECT_EQ(s.w->chipimage().eeprombuf[3], 0xFF);
    EXPECT_FALSE(s.w->label_hex->text().isEmpty());
    s.move_to(v.tabla_flash, v.tabla_flash->rect().center() + QPoint(1, 1));
    EXPECT_EQ(s.active(), 1);
    EXPECT_EQ(s.focused(), v.scrl1);
}

TEST(Editor, ClosesWithoutStoringWhenTheWheelScrollsItsGrid) {
    EditWindow s;
    BufferView& v = s.v();
    s.right_click(true, 1, 2);
    ASSERT_TRUE(s.ed().unosbox->isVisible());
    QTest::keyClicks(nullptr, QStringLiteral("12"));
    s.wheel(s.ed().unosbox, -120);
    EXPECT_EQ(v.scrl1->value(), 3);
    EXPECT_TRUE(s.ed().unosbox->isHidden());
    s.type("");
    EXPECT_EQ(s.w->chipimage().flashbuf[10], 0x3FFF);
}

// 13 words and 5 bytes: the grids' second rows are only partly the buffers'.
TEST(Editor, CellsPastAPartRowArmNothing) {
    const test::TempFolder folder;
    const std::string devices = folder.file("devices.txt");
    ASSERT_TRUE(replace_file(devices, "model: PART\nflash: 13\neeprom: 5\nconfigerased: 3FFF\n"));
    EditWindow s("1", {}, devices);
    s.right_click(true, 1, 4);
    ASSERT_TRUE(s.ed().unosbox->isVisible());
    EXPECT_EQ(s.ed().edit_index, 12);
    s.type("123");
    EXPECT_EQ(s.w->chipimage().flashbuf[12], 0x123);
    for (auto [flash, row, column] : {std::tuple{true, 1, 5}, std::tuple{true, 7, 7},
                                      std::tuple{false, 0, 5}, std::tuple{false, 1, 0}}) {
        s.right_click(flash, row, column);
        EXPECT_TRUE(s.ed().unosbox->isHidden()) << flash << row << column;
        EXPECT_EQ(s.ed().edit_index, 12);
        EXPECT_EQ(s.ed().edit_target, edit_flash);
    }
}

TEST(Editor, ADeviceWithoutEepromArmsNoEepromCell) {
    EditWindow s("2");
    s.right_click(true, 1, 2);
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Escape);
    for (auto [row, column] : {std::pair{0, 0}, std::pair{7, 7}}) {
        s.right_click(false, row, column);
        EXPECT_TRUE(s.ed().unosbox->isHidden());
        EXPECT_EQ(s.ed().edit_index, 10);
        EXPECT_EQ(s.ed().edit_target, edit_flash);
        EXPECT_FALSE(s.ed().edit_pending);
    }
}

// An operation reads or writes the buffers, so edits wait for it; Test Vpp
// leaves the buffers alone, and the editor works meanwhile.
TEST(Editor, RefusedWhileAnOperationRunsButNotWhileTestVppIsOn) {
    EditWindow s("1", {3});
    BufferView& v = s.v();
    QTest::mouseClick(s.w->label_vpp, Qt::LeftButton);
    ASSERT_TRUE(s.w->engine().opstate().testvpp);
    // The programmer on COM3 is the test: it answers the voltages-on.
    ASSERT_EQ(s.folder.pty(3).receive(1, 2000), (std::vector<std::uint8_t>{cmd_vddvpp}));
    ASSERT_TRUE(s.folder.pty(3).send({0x01}));
    ASSERT_TRUE(test::spin_until([&] { return s.w->engine().phase() == Engine::Phase::vpp_on; }, 2000));
    s.right_click(true, 0, 0);
    ASSERT_TRUE(s.ed().unosbox->isVisible());
    s.type("12");
    EXPECT_EQ(s.w->chipimage().flashbuf[0], 0x12);
    QTest::mouseClick(s.w->label_vpp, Qt::LeftButton);  // and the voltages-off answered
    ASSERT_EQ(s.folder.pty(3).receive(1, 2000), (std::vector<std::uint8_t>{cmd_voltsoff}));
    ASSERT_TRUE(s.folder.pty(3).send({0x01}));
    ASSERT_TRUE(test::spin_until([&] { return !s.w->engine().busy(); }, 2000));

    s.right_click(true, 0, 1);  // opened before the operation starts
    ASSERT_TRUE(s.ed().unosbox->isVisible());
    s.w->Command[2]->click();  // Erase All; nobody answers on COM3
    ASSERT_TRUE(s.w->engine().pending());
    s.type("0");
    EXPECT_EQ(s.w->chipimage().flashbuf[1], 0x3FFF);
    EXPECT_EQ(s.w->label_status->text().toStdString(), busy_text);
    s.w->set_status("");
    s.right_click(true, 1, 2);
    EXPECT_EQ(s.w->label_status->text().toStdString(), busy_text);
    s.w->set_status("");
    QTest::mouseClick(v.label_conf[0], Qt::LeftButton);
    EXPECT_EQ(s.w->label_status->text().toStdString(), busy_text);
    EXPECT_TRUE(s.ed().unosbox->isHidden());
    EXPECT_EQ(s.ed().edit_index, 1);
    // The silent programmer's box closes and the run ends.
    tessaly::testing::while_shown([](QDialog* box) { box->accept(); },
                                  [&] { s.w->engine().reply_timeout(); });
    ASSERT_FALSE(s.w->engine().pending());
    s.right_click(true, 1, 2);
    EXPECT_TRUE(s.ed().unosbox->isVisible());
}
