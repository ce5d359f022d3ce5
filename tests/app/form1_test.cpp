#include "app/form1.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

#include <algorithm>
#include <fstream>
#include <set>

#include "appfixture.h"
#include "devices/fileio.h"
#include "qt_app.h"
#include "qtloop.h"
#include "tempfolder.h"
#include "view/bufferview.h"
#include "view/gridview.h"

using namespace tessaly;
using test::ConfigFolder;
using test::Started;

namespace {

std::string first_row(const GridView* grid) {
    return grid->text().section(QStringLiteral("\r\n"), 0, 0).toStdString();
}
std::string last_row(const GridView* grid) {
    return grid->text().section(QStringLiteral("\r\n"), -1).toStdString();
}

bool locked(Form1& w) {
    bool all = true, none = true;
    for (QMenu* m : {w.menu1, w.menu3, w.menu4, w.menu5}) {
        all = all && !m->menuAction()->isEnabled();
        none = none && m->menuAction()->isEnabled();
    }
    for (QPushButton* b : w.Command) {
        all = all && !b->isEnabled();
        none = none && b->isEnabled();
    }
    EXPECT_TRUE(all || none) << "the nine controls switch together";
    return all;
}

}  // namespace

TEST(StartUp, FirstRunWritesTheDefaults) {
    Started s("firstrun", {1, 3});
    Form1& w = s.start();
    const SettingsStore st = s.settings();
    EXPECT_EQ(st.reg_getstring(set_theme, "x"), "Original Lite");
    EXPECT_EQ(st.reg_getstring(set_lastpath, "x"), "/opt/tessaly/");
    EXPECT_EQ(st.reg_getstring(set_model, "x"), "1");
    EXPECT_EQ(st.reg_getlong(set_portnumber, 0), 3);
    EXPECT_EQ(st.reg_getstring(set_baudrate, "x"), "56000");
    EXPECT_EQ(s.appinfo.lastpath, "/opt/tessaly/");
    EXPECT_EQ(w.curdevice().modelname, "ONE");
    EXPECT_EQ(s.text(w.label_status), "Serial port COM3 ready...");
    EXPECT_TRUE(w.portopen());
    EXPECT_FALSE(w.engine().busy());
    EXPECT_FALSE(locked(w));
    EXPECT_EQ(w.windowTitle().toStdString(), "Tessaly");
}

TEST(StartUp, NoFreePortLeavesThePortError) {
    Started s("noport");
    Form1& w = s.start();
    EXPECT_EQ(s.text(w.label_status), "Serial port COM2 error!");
    EXPECT_EQ(s.settings().reg_getlong(set_portnumber, 0), 2);
    EXPECT_FALSE(w.portopen());
}

TEST(StartUp, StoredModelNumber) {
    struct Case { const char* stored; int index; const char* after; };
    const Case cases[] = {
        {"2", 2, "2"}, {"2.5", 2, "2.5"}, {"3.5", 4, "3.5"}, {"0", 1, "1"},
        {"five", 1, "1"}, {"5", 1, "1"}, {"-1", 1, "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        Started s("model");
        s.settings().reg_setstring(set_model, c.stored);
        Form1& w = s.start();
        EXPECT_EQ(w.curdevice().devindex, c.index);
        EXPECT_EQ(s.settings().reg_getstring(set_model, "x"), c.after);
    }
}

TEST(ClearBuffer, ShowsTheSelectedDeviceBlank) {
    Started s("clear");
    Form1& w = s.start();
    BufferView& v = w.view();
    EXPECT_EQ(s.text(v.label_ime), "ONE");
    EXPECT_EQ(s.text(v.label_info), "FLASH: 1024,  EEPROM: 128");
    EXPECT_EQ(v.scrl1->maximum(), 120);
    EXPECT_EQ(v.scrl2->maximum(), 8);
    EXPECT_EQ(first_row(v.tabla_flash), "000000: 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF");
    EXPECT_EQ(first_row(v.tabla_eeprom), "0000: FF FF FF FF FF FF FF FF");
    EXPECT_EQ(s.text(v.label_conf[0]), "3FFF");
    EXPECT_TRUE(v.label_conf[1]->isHidden());
    EXPECT_TRUE(v.lfix[1]->isHidden());
    EXPECT_EQ(v.scrl1, QApplication::focusWidget());

    v.scrl1->setValue(120);
    v.scrl2->setValue(8);
    EXPECT_EQ(first_row(v.tabla_flash).substr(0, 7), "0003C0:");
    EXPECT_EQ(last_row(v.tabla_flash).substr(0, 7), "0003F8:");
    EXPECT_EQ(first_row(v.tabla_eeprom).substr(0, 5), "0040:");
    EXPECT_EQ(last_row(v.tabla_eeprom).substr(0, 5), "0078:");

    w.chipimage().flashbuf[0x3C1] = 0x1234;
    w.label_hex->setText(QStringLiteral("/somewhere/file.hex"));
    w.set_status("something");
    w.updatedisplay();
    EXPECT_EQ(first_row(v.tabla_flash), "0003C0: 3FFF 1234 3FFF 3FFF 3FFF 3FFF 3FFF 3FFF");
    w.menuclear_Click();
    EXPECT_EQ(v.scrl1->value(), 0);
    EXPECT_EQ(w.chipimage().flashbuf[0x3C1], 0x3FFF);
    EXPECT_EQ(s.text(w.label_hex), "");
    EXPECT_EQ(s.text(w.label_status), "");
    EXPECT_FALSE(locked(w));
}

TEST(ClearBuffer, SecondConfigurationWordAndNoEeprom) {
    Started s("config2");
    s.settings().reg_setstring(set_model, "2");
    Form1& w = s.start();
    BufferView& v = w.view();
    EXPECT_EQ(s.text(v.label_info), "FLASH: 2048,  EEPROM: 0");
    EXPECT_EQ(s.text(v.label_conf[0]), "3F7F");
    EXPECT_EQ(s.text(v.label_conf[1]), "0C00");
    EXPECT_FALSE(v.label_conf[1]->isHidden());
    EXPECT_FALSE(v.lfix[1]->isHidden());
    EXPECT_EQ(v.tabla_eeprom->text().toStdString(), "");
    EXPECT_EQ(v.scrl2->maximum(), 0);
}

TEST(ClearBuffer, ConfigurationWordOfMinusOneShowsFFFF) {
    Started s("minusone");
    s.settings().reg_setstring(set_model, "4");
    Form1& w = s.start();
    EXPECT_EQ(s.text(w.view().label_conf[0]), "3FFF");
    w.chipimage().conf[0] = -1;
    w.updatedisplay();
    EXPECT_EQ(s.text(w.view().label_conf[0]), "FFFF");
    EXPECT_EQ(w.view().scrl1->maximum(), 0);  // 64 words: one screen
}

TEST(InterfaceLock, SwitchesMenusAndButtonsTogether) {
    Started s("lock");
    Form1& w = s.start();
    w.disable();
    EXPECT_TRUE(locked(w));
    w.disable();
    w.enable();
    EXPECT_FALSE(locked(w));  // a switch, not a counter
    w.enable();
    EXPECT_FALSE(locked(w));
    w.disable();
    EXPECT_TRUE(w.label_hex->isEnabled());  // the live labels stay live
    EXPECT_TRUE(w.label_vpp->isEnabled());
    EXPECT_TRUE(w.view().scrl1->isEnabled());
    w.enable();
}

// Counts the paint events a widget receives.
class PaintCount : public QObject {
public:
    explicit PaintCount(QWidget* w) { w->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

// While an operation runs the status line takes every text at once but is
// repainted once a frame; unlocked, every change is painted again.
TEST(StatusLine, LockedTextIsCurrentAndRepaintedOnceAFrame) {
    Started s("status");
    Form1& w = s.start();
    QCoreApplication::processEvents();
    PaintCount count(w.label_status);
    w.disable();
    QElapsedTimer t;
    t.start();
    for (int a = 1; a <= 2000; ++a) {
        w.set_status("F:" + std::to_string(a) + "/2000");
        ASSERT_EQ(s.text(w.label_status), "F:" + std::to_string(a) + "/2000");
        QCoreApplication::processEvents();
    }
    // One repaint a 40 ms frame, with room for a late timer; one a text would be 2000.
    EXPECT_LE(count.paints, t.elapsed() / 20 + 10);
    const int before = count.paints;
    test::spin_for(150);
    EXPECT_GT(count.paints, before) << "the last text is shown within a frame or so";
    w.enable();
    EXPECT_TRUE(w.label_status->updatesEnabled());
    const int unlocked = count.paints;
    w.set_status("Chip read. 1.00 seconds elapsed...");
    QCoreApplication::processEvents();
    EXPECT_GT(count.paints, unlocked);
}

TEST(Operations, RefusedOnAClosedPort) {
    Started s("closed");
    Form1& w = s.start();
    w.Command[0]->click();
    EXPECT_EQ(s.text(w.label_status), "Serial port 2 error!");
    EXPECT_FALSE(locked(w));
}

TEST(MainWindow, ControlsStandWhereTheyBelong) {
    Started s("layout");
    Form1& w = s.start();
    std::vector<ControlRow> controls(form1_labels.begin(), form1_labels.end());
    for (const OperationControl& c : form1_operations) controls.push_back(c.button);
    controls.insert(controls.end(), bufferview_controls.begin(), bufferview_controls.end());
    ASSERT_EQ(controls.size(), 23u);
    std::set<std::string> names;
    for (const ControlRow& c : controls) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(names.insert(c.name).second) << "one row per control";
        const auto found = w.centralWidget()->findChildren<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_EQ(found.size(), 1);
        const QWidget* widget = found[0];
        const QRect g = widget->geometry();
        EXPECT_EQ(QRect(g.x() * 15, g.y() * 15, g.width() * 15, g.height() * 15),
                  QRect(c.left, c.top, c.width, c.height));
        EXPECT_EQ(widget->toolTip().toStdString(), c.tip ? c.tip : "");
        if (c.caption == nullptr) continue;
        const auto* label = qobject_cast<const QLabel*>(widget);
        const auto* button = qobject_cast<const QPushButton*>(widget);
        EXPECT_EQ((label ? label->text() : button->text()).toStdString(), c.caption);
    }
    // The members are the table's controls.
    EXPECT_EQ(w.Command[0]->objectName(), "Command1");
    EXPECT_EQ(w.Command[4]->objectName(), "Command5");
    EXPECT_EQ(w.view().label_conf[1]->objectName(), "label_conf(1)");
    EXPECT_EQ(w.label_status->objectName(), "label_status");
    // A few places and texts written out here, not read back from the table.
    EXPECT_EQ(w.Command[3]->text().toStdString(), "Blank Check");
    EXPECT_EQ(w.Command[3]->geometry(), QRect(3540 / 15, 720 / 15, 1155 / 15, 315 / 15));
    EXPECT_EQ(w.view().label_info->toolTip().toStdString(), "Click to change microcontroller model!");
    EXPECT_EQ(w.centralWidget()->size(), QSize(6195 / 15, 6435 / 15));
}

TEST(MainWindow, MenusAndTheirItems) {
    Started s("menus");
    Form1& w = s.start();
    struct Menu { QMenu* menu; const char* title; std::vector<const char*> items; };
    const Menu menus[] = {
        {w.menu1, "&File", {"&Clear Buffer", "&Open HEX File", "&Save Buffer As"}},
        {w.menu3, "&Tools", {"&Program All", "&Read All", "&Erase All", "&Blank Check", "&Verify"}},
        {w.menu4, "&Options", {"Change Microcontroller Model", "Change Serial Port Number",
                               "Change Baud Rate", "Change Default Programming Time",
                               "Change Color Theme"}},
        {w.menu5, "Help", {"Serial Port Pinout", "About Tessaly"}},
    };
    for (const Menu& m : menus) {
        SCOPED_TRACE(m.title);
        EXPECT_EQ(m.menu->title().toStdString(), m.title);
        const QList<QAction*> actions = m.menu->actions();
        ASSERT_EQ(actions.size(), static_cast<int>(m.items.size()));
        for (int i = 0; i < actions.size(); ++i) {
            EXPECT_EQ(actions[i]->text().toStdString(), m.items[static_cast<std::size_t>(i)]);
        }
    }
}

TEST(StartUp, FirstRunWritesTheSettingsInOrder) {
    Started s("order", {2});
    s.start();
    std::string text;
    ASSERT_TRUE(read_file(s.settings().file_path(), text));
    std::vector<std::size_t> at;
    for (const char* name : {set_theme, set_lastpath, set_model, set_portnumber, set_baudrate}) {
        at.push_back(text.find(std::string("\"") + name + "\""));
        EXPECT_NE(at.back(), std::string::npos) << name;
    }
    EXPECT_TRUE(std::is_sorted(at.begin(), at.end())) << text;
}

// A start-up that cannot go on ends before any event loop runs: main sees
// ended() and returns. No end may be left asked for, or every later loop (the
// box main shows, say) would end at once.
TEST(Form1, AnEndBeforeTheEventLoopLeavesLaterLoopsRunning) {
    const test::TempFolder dir("unusable");
    const std::string list = dir.file("quarndevices.txt");
    std::ofstream(list) << "model: NONE\r\nflash: 0\r\n";
    Started win("unusable_list", list);
    QTimer closer;  // the box that says no model can be used
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget()) box->close();
    });
    closer.start(5);
    Form1& w = win.start();
    closer.stop();
    ASSERT_TRUE(w.ended());
    QEventLoop later;
    QElapsedTimer ran;
    ran.start();
    QTimer::singleShot(100, &later, [&] { later.exit(0); });
    EXPECT_EQ(later.exec(), 0);
    EXPECT_GE(ran.elapsed(), 90) << "the loop ended at once";
}
