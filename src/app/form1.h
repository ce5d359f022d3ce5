// The main window: menus, the five operation buttons, the file and status
// labels, the buffer view and the serial port. It owns the program-wide
// records of the run and forwards every event to the module that serves it;
// it is the engine's host and the file flows' host.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMainWindow>
#include <QTimer>

#include "app/portsettings.h"
#include "devices/device.h"
#include "devices/devicelist.h"
#include "devices/settings.h"
#include "dialogs/appinfo.h"
#include "dialogs/boxes.h"
#include "engine/engine.h"
#include "hexfile/hexflows.h"
#include "platform/deadlinetimer.h"
#include "platform/endsignals.h"
#include "platform/serialcontrol.h"
#include "platform/seriallink.h"
#include "themes/theme.h"
#include "ui/kit.h"
#include "view/wheel.h"

class QLabel;
class QMenu;
class QPushButton;

namespace tessaly {

class BufferView;
class CellEditor;
class GridFocus;

// The main window's own labels, where they stand, in the order they are made; the
// buffer view's controls are its own table.
extern const std::array<ControlRow, 8> form1_labels;

// The five operation buttons Command1 to Command5 in tab order; each also
// gives its Tools menu item, "&" and the caption.
struct OperationControl {
    Operation op;
    ControlRow button;
};
extern const std::array<OperationControl, 5> form1_operations;

class Form1 : public QMainWindow, public Host, public FileFlowHost, public WheelTarget {
    Q_OBJECT

public:
    // The device list is loaded; settings and the COM map live in configfolder.
    Form1(const DeviceList& devicelist, AppInfo& appinfo, const std::string& configfolder);
    ~Form1() override;

    // The start-up sequence: theme, window shown, last folder, model,
    // blank buffers, engine at rest, port scan and open.
    void Form_Load();

    void MouseWheel(std::int32_t mousekeys, std::int32_t rotation, std::int32_t xpos,
                    std::int32_t ypos) override;
    void settheme();
    void enable() override;
    void disable() override;
    void updatedisplay() override;
    void menuclear_Click();

    // The Options and Help commands. The model change is refused while an
    // operation runs or Test Vpp is on (the model labels stay live then).
    void menumodel_Click();
    void menuprogtime_Click();
    void menucolors_Click();
    void menuportinfo_Click();
    void menuabout_Click();

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
    void engine_free() override;
    bool actions_held() override;

    // Every action a user starts in the window comes through here: it runs
    // now when no engine call is under way, no voltage message awaits its
    // answer and none waits before it; else it waits its turn, and the actions
    // held run one after the other, in the order they came, as soon as the
    // call has returned (or the answer has come), before the engine takes its
    // next byte.
    void gate(std::function<void()> action);

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
    Theme& theme() { return theme_; }
    CellEditor& editor() { return *editor_; }
    GridFocus& gridfocus() { return *focus_; }
    // The file chooser; tests replace it.
    std::function<std::string(const FileRequest&)> file_chooser;
    // Ends the program for a signal once the chip is unpowered; tests replace it.
    std::function<void(int)> exit_by_signal = EndSignals::end_by;

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

protected:
    // Closing while an operation runs asks first; a close that goes ahead
    // switches the chip's voltages off and waits a moment for the answer.
    void closeEvent(QCloseEvent* event) override;

private:
    void build_labels(QWidget* form);
    void clickable(QLabel* label, std::function<void()> onclick);
    bool may_act_now() const;
    void post_held();
    void run_held();
    void end_by_signal(int signo);
    bool ask_to_stop();
    void wait_for_voltages_off();
    void end_on_signal(int signo);
    void quit();
    void build_buttons(QWidget* form);
    void build_menus();
    void select_stored_model();
    void run_operation(Operation op);
    void open_from_label();
    // True, with the busy answer shown, while an operation or Test Vpp runs.
    bool refuse_busy();
    void Form_Activate();
    void Form_Deactivate();
    void label_vpp_Click();
    void MSComm1_OnComm();
    void MSComm1_port_lost(const QString& why);
    FileFlowContext file_context();
    std::string inputbox(const std::string& prompt, const std::string& def);
    void settings_set_aside(const std::string& badpath);
    void settings_not_stored(const std::string& why);
    void settings_notice(std::string text);
    void tell_settings_notices();

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
    CellEditor* editor_ = nullptr;
    GridFocus* focus_ = nullptr;
    DeadlineTimer reply_timer_;
    QTimer status_frame_;  // while locked: the status line is repainted once a frame
    EndSignals end_signals_;
    std::deque<std::function<void()>> held_;  // user actions that came inside an engine call
    bool held_posted_ = false;                // run_held is on its way
    bool running_held_ = false;               // run_held is running one of them
    int signal_ = 0;                          // a signal that came inside an engine call
    bool signalled_ = false;  // ending for a signal
    bool ended_ = false;
    bool started_ = false;
    bool closing_ = false;  // asking whether to close, or waiting for the voltages-off answer
    std::vector<std::string> settings_notices_;  // boxes about the settings file, until shown
    bool notstored_told_ = false;                // a failed settings write was told
};

}  // namespace tessaly
