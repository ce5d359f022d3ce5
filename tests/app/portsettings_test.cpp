#include "app/portsettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "appfixture.h"
#include "qt_app.h"
#include "platform/comports.h"
#include "platform/serialcontrol.h"

using namespace tessaly;
using test::ConfigFolder;

namespace {

struct Ports {
    explicit Ports(const std::string& name, std::initializer_list<int> free) : folder(name) {
        folder.map_ports(free);
        serial = std::make_unique<SerialControl>(ports_file_lookup(folder.path()));
        settings = std::make_unique<SettingsStore>(folder.path());
        ports = std::make_unique<PortSettings>(*serial, *settings,
                                               [this](const std::string& t) { status = t; });
    }
    // Runs a command answering its input box with answer; records the boxes.
    using Command = void (PortSettings::*)(const InputBox&, const MsgBox&);
    void answer(Command command, const std::string& text) {
        ((*ports).*command)(
            [&](const std::string& p, const std::string& d) {
                prompt = p;
                shown_default = d;
                return text;
            },
            [&](const std::string& t, int k) {
                boxes.push_back(t + "/" + std::to_string(k));
                return 1;
            });
    }
    void answer_port(const std::string& text) { answer(&PortSettings::menuport_Click, text); }
    void answer_baud(const std::string& text) { answer(&PortSettings::menubaud_Click, text); }

    ConfigFolder folder;
    std::unique_ptr<SerialControl> serial;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<PortSettings> ports;
    std::string status, prompt, shown_default;
    std::vector<std::string> boxes;
};

}  // namespace

TEST(PortSettings, ScanListsThePortsThatOpen) {
    Ports p("scan13", {1, 3});
    p.ports->scanports();
    EXPECT_EQ(p.ports->portstate.portlist,
              "- Serial port COM1 available\r\n- Serial port COM3 available");
    EXPECT_EQ(p.ports->portstate.defport, 3);
    EXPECT_FALSE(p.serial->PortOpen());  // every probe closes again
    p.ports->openport();
    EXPECT_EQ(p.status, "Serial port COM3 ready...");
    EXPECT_TRUE(p.ports->portstate.portopen);
    EXPECT_EQ(p.settings->reg_getlong(set_portnumber, 0), 3);
    EXPECT_EQ(p.settings->reg_getstring(set_baudrate, ""), "56000");
}

TEST(PortSettings, NoPortFree) {
    Ports p("none", {});
    p.ports->scanports();
    EXPECT_EQ(p.ports->portstate.portlist, "");
    EXPECT_EQ(p.ports->portstate.defport, 2);
    p.ports->openport();
    EXPECT_EQ(p.status, "Serial port COM2 error!");
    EXPECT_FALSE(p.ports->portstate.portopen);
    p.answer_port("");
    EXPECT_EQ(p.prompt,
              "Please select programmer serial port number [1-16]:\r\n\r\n"
              "The list of COM ports that can be opened:\r\n");
    EXPECT_EQ(p.shown_default, "2");
}

TEST(PortSettings, PortAnswers) {
    struct Case { const char* answer; int port; };  // port 0: "Wrong entry!"
    const Case cases[] = {
        {"COM5", 5}, {"com 5", 5}, {"Com5", 5}, {"5.5", 6}, {"2.5", 2}, {"1.4", 1}, {"16", 16},
        {"16.5", 0}, {"0.9", 0}, {"com", 0}, {"abc", 0}, {"-3", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        Ports p("answers", {});
        p.ports->scanports();
        p.ports->openport();
        p.answer_port(c.answer);
        if (c.port == 0) {
            EXPECT_EQ(p.boxes, std::vector<std::string>{"Wrong entry!/16"});
            EXPECT_EQ(p.settings->reg_getlong(set_portnumber, 0), 2);
        } else {
            EXPECT_TRUE(p.boxes.empty());
            EXPECT_EQ(p.ports->portstate.portnumber, c.port);
            EXPECT_EQ(p.settings->reg_getlong(set_portnumber, 0), c.port);
            EXPECT_EQ(p.status, "Serial port COM" + std::to_string(c.port) + " error!");
        }
    }
}

TEST(PortSettings, ChangingThePortReopens) {
    Ports p("reopen", {4, 7});
    p.ports->scanports();
    p.ports->openport();
    EXPECT_EQ(p.status, "Serial port COM7 ready...");
    p.answer_port("COM4");
    EXPECT_EQ(p.status, "Serial port COM4 ready...");
    EXPECT_TRUE(p.ports->portstate.portopen);
    p.status.clear();
    p.answer_port("");  // cancel: nothing changes, the port stays open
    EXPECT_EQ(p.status, "");
    EXPECT_TRUE(p.serial->PortOpen());
}

// The scan and every open take the ports file as it stands then.
TEST(PortSettings, ScanReadsThePortsFileAsItStandsThen) {
    Ports p("scanlater", {});
    p.folder.map_ports({2, 5});
    p.ports->scanports();
    EXPECT_EQ(p.ports->portstate.portlist,
              "- Serial port COM2 available\r\n- Serial port COM5 available");
}

// The programmer's adapter came back under another device, which the ports
// file now names; its old device is gone. Both Options commands reopen on the
// new one.
TEST(PortSettings, ReopeningReachesTheDeviceTheFileNowNames) {
    Ports p("renamed", {4});
    p.ports->scanports();
    p.ports->openport();
    ASSERT_EQ(p.status, "Serial port COM4 ready...");
    using Reopen = void (Ports::*)(const std::string&);
    const struct {
        const char* name;
        Reopen command;
        const char* answer;
    } cases[] = {{"port number", &Ports::answer_port, "4"}, {"baud rate", &Ports::answer_baud, "19200"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        p.folder.map_ports({4});  // a fresh device for COM4; the old one goes
        (p.*c.command)(c.answer);
        EXPECT_EQ(p.status, "Serial port COM4 ready...");
        ASSERT_TRUE(p.serial->Output(0x5A));
        EXPECT_EQ(p.folder.pty(4).receive(1, 2000), std::vector<std::uint8_t>{0x5A});
    }
}

TEST(PortSettings, BaudAnswers) {
    struct Case { const char* answer; const char* stored; bool opens; };  // stored "": wrong entry
    const Case cases[] = {
        {"1200", "1200", true},     {"56000", "56000", true},  {"19200abc", "19200", true},
        {"9600.5", "9600.5", false}, {"1199.99", "", false},   {"56000.01", "", false},
        {"fast", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        Ports p("baud", {1});
        p.ports->scanports();
        p.ports->openport();
        p.answer_baud(c.answer);
        EXPECT_EQ(p.prompt, "Please select programmer baud rate [1200-56000].");
        if (*c.stored == '\0') {
            EXPECT_EQ(p.boxes, std::vector<std::string>{"Wrong entry!/16"});
            EXPECT_EQ(p.settings->reg_getstring(set_baudrate, ""), "56000");
            EXPECT_TRUE(p.ports->portstate.portopen);
        } else {
            EXPECT_EQ(p.settings->reg_getstring(set_baudrate, ""), c.stored);
            EXPECT_EQ(p.ports->portstate.portopen, c.opens);
            EXPECT_EQ(p.status, c.opens ? "Serial port COM1 ready..." : "Serial port COM1 error!");
        }
    }
}

TEST(PortSettings, BaudText) {
    EXPECT_EQ(baud_text(9600), "9600");
    EXPECT_EQ(baud_text(9600.5), "9600.5");
    EXPECT_EQ(baud_text(1234.123456789012345), "1234.12345678901");
}
