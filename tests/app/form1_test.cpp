#include "app/form1.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

#include "appfixture.h"
#include "qt_app.h"
#include "view/bufferview.h"
#include "view/gridview.h"

using namespace tessaly;
using test::ConfigFolder;

namespace {

DeviceList app_devices() {
    DeviceList list;
    EXPECT_EQ(load_devices(std::string(TESSALY_TEST_DATA) + "/app_devices.txt", list), LoadResult::loaded);
    return list;
}

struct Started {
    explicit Started(const std::string& name, std::initializer_list<int> free = {})
        : folder(name), list(app_devices()) {
        folder.map_ports(free);
        appinfo.apppath = "/opt/tessaly/";
    }
    Form1& start() {
        window = std::make_unique<Form1>(list, appinfo, folder.path());
        window->Form_Load();
        return *window;
    }
    SettingsStore settings() const { return SettingsStore(folder.path()); }
    std::string text(const QLabel* l) const { return l->text().toStdString(); }

    ConfigFolder folder;
    DeviceList list;
    AppInfo appinfo;
    std::unique_ptr<Form1> window;
};

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

TEST(Operations, RefusedOnAClosedPort) {
    Started s("closed");
    Form1& w = s.start();
    w.Command[0]->click();
    EXPECT_EQ(s.text(w.label_status), "Serial port 2 error!");
    EXPECT_FALSE(locked(w));
}
