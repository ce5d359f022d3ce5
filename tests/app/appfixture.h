// A private world for main window tests: a temporary config folder of its own
// (tests run side by side, so do whole runs of the suite) whose COM
// map sends every port to a missing device except those given pseudo-terminals,
// and the main window started in it with the four test models.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include <QLabel>
#include <QMenu>
#include <QPushButton>

#include <gtest/gtest.h>

#include "app/form1.h"
#include "devices/devicelist.h"
#include "platform/linefacts.h"
#include "ptypair.h"
#include "tempfolder.h"

namespace tessaly::test {

class ConfigFolder {
public:
    explicit ConfigFolder(const std::string& name) : folder_(name), dir_(folder_.path()) {
        map_ports({});
    }

    std::string path() const { return dir_.string(); }

    // COMn for each n given goes to a fresh pseudo-terminal, every other port
    // to a device that does not exist.
    void map_ports(std::initializer_list<int> free_ports) {
        ptys_.clear();
        for (int n : free_ports) ptys_[n] = std::make_unique<PtyPair>();
        std::ofstream out(dir_ / "ports");
        for (int n = first_comport; n <= last_comport; ++n) {
            const auto it = ptys_.find(n);
            out << "COM" << n << "="
                << (it != ptys_.end() ? it->second->terminal_path()
                                      : (dir_ / ("absent" + std::to_string(n))).string())
                << "\n";
        }
    }

    // Adds a line for COMn after the map written above; the last line wins.
    void map_port(int n, const std::string& device) {
        std::ofstream out(dir_ / "ports", std::ios::app);
        out << "COM" << n << "=" << device << "\n";
    }

    PtyPair& pty(int n) { return *ptys_.at(n); }

private:
    TempFolder folder_;
    std::filesystem::path dir_;
    std::map<int, std::unique_ptr<PtyPair>> ptys_;
};


inline DeviceList app_devices(const std::string& file = std::string(TESSALY_TEST_DATA) + "/app_devices.txt") {
    DeviceList list;
    EXPECT_EQ(load_devices(file, list), LoadResult::loaded);
    return list;
}

// The main window in a private config folder, on the device list given (the
// test list by default: model ONE has 1024 FLASH words, 128 EEPROM bytes),
// with the COM numbers given mapped to pseudo-terminals. Settings may be
// written before start().
struct Started {
    explicit Started(const std::string& name, std::initializer_list<int> free = {})
        : Started(name, app_devices(), free) {}
    Started(const std::string& name, const std::string& devices)
        : Started(name, app_devices(devices), {}) {}
    Form1& start() {
        window = std::make_unique<Form1>(list, appinfo, folder.path());
        window->Form_Load();
        return *window;
    }
    SettingsStore settings() const { return SettingsStore(folder.path()); }
    std::string text(const QLabel* l) const { return l->text().toStdString(); }
    // Every menu and operation button is live.
    bool unlocked() const {
        for (QMenu* m : {window->menu1, window->menu3, window->menu4, window->menu5})
            if (!m->menuAction()->isEnabled()) return false;
        for (QPushButton* b : window->Command)
            if (!b->isEnabled()) return false;
        return true;
    }

    ConfigFolder folder;
    DeviceList list;
    AppInfo appinfo;
    std::unique_ptr<Form1> window;

private:
    Started(const std::string& name, DeviceList devices, std::initializer_list<int> free)
        : folder(name), list(std::move(devices)) {
        folder.map_ports(free);
        appinfo.apppath = "/opt/tessaly/";
    }
};

}  // namespace tessaly::test
