// The main window: menus, the five operation buttons, the file and status
// labels, the buffer view and the serial port. It owns the program-wide
// records of the run and forwards every event to the module that serves it;
// it is the engine's host and the file flows' host.
#pragma once

#include <array>
#include <memory>
#include <string>

#include <QMainWindow>
#include <QTimer>

#include "app/portsettings.h"
#include "app/seriallink.h"
#include "devices/device.h"
#include "devices/devicelist.h"
#include "devices/settings.h"
#include "dialogs/appinfo.h"
#include "dialogs/boxes.h"
#include "engine/engine.h"
#include "hexfile/hexflows.h"
#include "platform/serialcontrol.h"
#include "themes/theme.h"

class QLabel;
class QMenu;
class QPushButton;

namespace tessaly {

class BufferView;

class Form1 : public QMainWindow, public Host, public FileFlowHost {
    Q_OBJECT

public:
    // The device list is loaded; settings and the COM map live in configfolder.
    Form1(const DeviceList& devicelist, AppInfo& appinfo, const std::string& configfolder);
    ~Form1() override;

    // The start-up sequence: theme, window shown, last folder, model,
    // blank buffers, engine at rest, port scan and open.
    void Form_Load();

    void settheme();
    void enable() override;
    void disable() override;
    void updatedisplay() override;
    void menuclear_Click();

    // Engine host.
    void set_status(const std::string& text) override;
    void yield() override;
    void sleep_ms(std::int32_t ms) override;
    int show_msgbox(const std::string& text, int kind) override;
    double clock() override;
    void end_program() override;
    // The program was ended (before or after the event loop started).
    bool ended() const { return ended_; }
    bool portopen() override;
    std::int32_t portnumber() override;
    void start_reply_timer(std::int32_t ms) override;
    void stop_reply_timer() override;

    // File flows host.
    std::string choose_file(const FileRequest& request) override;
    void set_label_hex(const std::string& text) override;
    void set_label_status(const std::string& text) override;

    // What tests and the run need to see and drive.
    Engine& engine() { return engine_; }
    PortSettings& ports() { return ports_; }
    SelectedDevice& curdevice() { return curdevice_; }
    ChipImage& chipimage() { return chipimage_; }
    SerialControl& MSComm1() { return serial_; }
    BufferView& view() { return *view_; }
    // The file chooser; tests replace it.
    std::function<std::string(const FileRequest&)> file_chooser;

    QLabel* Label7 = nullptr;
    QLabel* label_vpp = nullptr;
    QLabel* label_hex = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* label_status = nullptr;
    std::array<QPushButton*, 5> Command{};  // Command1 to Command5
    QMenu* menu1 = nullptr;
    QMenu* menu3 = nullptr;
    QMenu* menu4 = nullptr;
    QMenu* menu5 = nullptr;

private:
    void build_labels(QWidget* form);
    void build_buttons(QWidget* form);
    void build_menus();
    void select_stored_model();
    void run_operation(Operation op);
    void open_from_label();
    void label_vpp_Click();
    void MSComm1_OnComm();
    void MSComm1_port_lost();
    FileFlowContext file_context();
    std::string inputbox(const std::string& prompt, const std::string& def);

    const DeviceList& devicelist_;
    AppInfo& appinfo_;
    SettingsStore settings_;
    Theme theme_;
    SelectedDevice curdevice_;
    ChipImage chipimage_;
    SerialControl serial_;
    SerialLink link_;
    Engine engine_;
    PortSettings ports_;
    Boxes boxes_;
    BufferView* view_ = nullptr;
    QTimer reply_timer_;
    QTimer status_frame_;  // while locked: the status line is repainted once a frame
    bool ended_ = false;
};

}  // namespace tessaly
