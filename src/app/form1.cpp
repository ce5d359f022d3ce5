#include "app/form1.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QThread>
#include <QTime>

#include "app/options.h"
#include "devices/crlf.h"
#include "devices/hextext.h"
#include "dialogs/form05.h"
#include "dialogs/form34.h"
#include "platform/comports.h"
#include "themes/paint.h"
#include "ui/activation.h"
#include "ui/kit.h"
#include "view/bufferview.h"
#include "view/celleditor.h"
#include "view/gridfocus.h"

namespace tessaly {
namespace {

constexpr int client_width = 6195;
constexpr int client_height = 6435;
const char* const open_tip = "Click to open HEX file!";
// An operation sets the status line for every address; more than one repaint
// a frame cannot be seen and would cost more than the messages themselves.
constexpr int status_frame_ms = 40;
// How long a close waits for the programmer to answer the voltages-off message
// (and the reply it owed before it): a slow programmer's two replies, and not
// so long that a silent one keeps the window.
constexpr int close_wait_ms = 2000;

}  // namespace

const std::array<ControlRow, 8> form1_labels = {{
    {"Label7", "Loaded HEX File", open_tip, 60, 60, 1755, 255},
    {"label_vpp", "Test Vpp",
     "Click to turn ON/OFF Vpp (and Vdd) voltages for the purpose of adjusting Vpp voltage!",
     5160, 60, 975, 255},
    {"label_hex", nullptr, open_tip, 60, 360, 6075, 255},
    {"Label1", "Microcontroller Model", model_change_tip, 60, 1140, 2055, 255},
    {"Label3", "FLASH Memory", nullptr, 60, 1800, 1575, 255},
    {"Label4", "EEPROM Memory", nullptr, 60, 3960, 1575, 255},
    {"Label5", "Status", nullptr, 4380, 5820, 1755, 255},
    {"label_status", nullptr, nullptr, 60, 6120, 6075, 255},
}};

const std::array<OperationControl, 5> form1_operations = {{
    {Operation::program, {"Command1", "Program All", nullptr, 60, 720, 1155, 315}},
    {Operation::read, {"Command2", "Read All", nullptr, 1260, 720, 1095, 315}},
    {Operation::erase, {"Command3", "Erase All", nullptr, 2400, 720, 1095, 315}},
    {Operation::blank, {"Command4", "Blank Check", nullptr, 3540, 720, 1155, 315}},
    {Operation::verify, {"Command5", "Verify", nullptr, 4740, 720, 1095, 315}},
}};

Form1::Form1(const DeviceList& devicelist, AppInfo& appinfo, const std::string& configfolder)
    : devicelist_(devicelist),
      appinfo_(appinfo),
      settings_(configfolder),
      serial_(ports_file_lookup(configfolder)),
      link_(serial_),
      engine_(link_, *this, curdevice_, chipimage_),
      ports_(serial_, settings_, [this](const std::string& t) { set_status(t); }),
      boxes_(appinfo_, theme_),
      reply_timer_([this] { engine_.reply_timeout(); }) {
    setWindowTitle(QString::fromStdString(appinfo_.title));
    auto* form = new QWidget(this);
    form->setFixedSize(to_px(client_width), to_px(client_height));
    setCentralWidget(form);
    build_labels(form);
    build_buttons(form);
    view_ = new BufferView(form, curdevice_, chipimage_);
    // Edits wait only for an operation, which reads or writes the buffers;
    // Test Vpp leaves them alone. A pending operation is always busy.
    editor_ = new CellEditor(form, *view_, curdevice_, chipimage_,
                             {[this] { return engine_.pending() && refuse_busy(); },
                              [this] { label_hex->clear(); },
                              [this](std::function<void()> action) { gate(std::move(action)); }});
    focus_ = new GridFocus(form, *view_, *editor_);
    // Label1_Click, label_ime_Click and label_info_Click: the model change.
    for (QLabel* l : {Label1, view_->label_ime, view_->label_info}) {
        clickable(l, [this] { menumodel_Click(); });
    }
    build_menus();
    setFont(box_font());
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    status_frame_.setInterval(status_frame_ms);
    connect(&status_frame_, &QTimer::timeout, this, [this] {
        label_status->setUpdatesEnabled(true);
        label_status->repaint();
    });
    connect(&serial_, &SerialControl::OnComm, this, &Form1::MSComm1_OnComm);
    connect(&serial_, &SerialControl::port_lost, this, &Form1::MSComm1_port_lost);
    connect(&end_signals_, &EndSignals::received, this, &Form1::end_on_signal);
    new ActivationWatcher(this, [this] { Form_Activate(); }, [this] { Form_Deactivate(); });
    settings_.on_set_aside([this](const std::string& bad) { settings_set_aside(bad); });
    settings_.on_not_stored([this](const std::string& why) { settings_not_stored(why); });
    file_chooser = [this](const FileRequest& r) {
        const QString filter = QString::fromStdString(r.filters.empty() ? "" : r.filters[0]) +
                               (r.filters.size() > 1 ? ";;" + QString::fromStdString(r.filters[1]) : "");
        const QString title = QString::fromStdString(r.title);
        const QString dir = QString::fromStdString(r.initdir);
        const QString name = r.kind == FileDialogKind::open
            ? QFileDialog::getOpenFileName(this, title, dir, filter)
            : QFileDialog::getSaveFileName(this, title, dir, filter, nullptr,
                                           QFileDialog::DontConfirmOverwrite);
        return name.toStdString();
    };
}

Form1::~Form1() = default;

// A label that runs a function when clicked; the lock leaves these live.
void Form1::clickable(QLabel* label, std::function<void()> onclick) {
    new ClickWatcher(label, [this, onclick = std::move(onclick)] { gate(onclick); });
}

void Form1::build_labels(QWidget* form) {
    QLabel** labels[] = {&Label7, &label_vpp, &label_hex, &Label1, &Label3, &Label4, &Label5,
                         &label_status};
    for (std::size_t i = 0; i < form1_labels.size(); ++i) {
        *labels[i] = make_label(form, form1_labels[i], box_font());
    }
    label_vpp->setAlignment(Qt::AlignCenter);
    // Its size never follows its text: otherwise every new status text asks
    // the form for a layout pass, once for every address of an operation.
    label_status->setFixedSize(label_status->size());
    clickable(Label7, [this] { open_from_label(); });
    clickable(label_hex, [this] { open_from_label(); });
    clickable(label_vpp, [this] { label_vpp_Click(); });
}

void Form1::build_buttons(QWidget* form) {
    for (std::size_t i = 0; i < Command.size(); ++i) {
        const OperationControl& c = form1_operations[i];
        Command[i] = make_button(form, c.button);
        connect(Command[i], &QPushButton::clicked, this, [this, op = c.op] { run_operation(op); });
    }
    for (std::size_t i = 1; i < Command.size(); ++i) setTabOrder(Command[i - 1], Command[i]);
}

void Form1::build_menus() {
    QMenuBar* bar = menuBar();
    auto item = [this](QMenu* menu, const QString& caption, std::function<void()> run) {
        QAction* a = menu->addAction(caption);
        connect(a, &QAction::triggered, this, [this, run = std::move(run)] { gate(run); });
    };
    menu1 = bar->addMenu(QStringLiteral("&File"));
    item(menu1, QStringLiteral("&Clear Buffer"), [this] { menuclear_Click(); });
    item(menu1, QStringLiteral("&Open HEX File"), [this] {
        FileFlowContext ctx = file_context();
        menuopen_Click(ctx);
    });
    item(menu1, QStringLiteral("&Save Buffer As"), [this] {
        FileFlowContext ctx = file_context();
        menusave_Click(ctx);
    });
    menu3 = bar->addMenu(QStringLiteral("&Tools"));
    for (const OperationControl& c : form1_operations) {
        item(menu3, QStringLiteral("&") + QString::fromUtf8(c.button.caption),
             [this, op = c.op] { engine_.start(op); });  // the item passes the gate
    }
    menu4 = bar->addMenu(QStringLiteral("&Options"));
    item(menu4, QStringLiteral("Change Microcontroller Model"), [this] { menumodel_Click(); });
    item(menu4, QStringLiteral("Change Serial Port Number"), [this] {
        ports_.menuport_Click([this](auto& p, auto& d) { return inputbox(p, d); },
                              [this](auto& t, int k) { return show_msgbox(t, k); });
    });
    item(menu4, QStringLiteral("Change Baud Rate"), [this] {
        ports_.menubaud_Click([this](auto& p, auto& d) { return inputbox(p, d); },
                              [this](auto& t, int k) { return show_msgbox(t, k); });
    });
    item(menu4, QStringLiteral("Change Default Programming Time"), [this] { menuprogtime_Click(); });
    item(menu4, QStringLiteral("Change Color Theme"), [this] { menucolors_Click(); });
    menu5 = bar->addMenu(QStringLiteral("Help"));
    item(menu5, QStringLiteral("Serial Port Pinout"), [this] { menuportinfo_Click(); });
    item(menu5, QStringLiteral("About Tessaly"), [this] { menuabout_Click(); });
}

void Form1::Form_Load() {
    load_theme(settings_, theme_);
    settheme();
    show();
    appinfo_.lastpath = settings_.reg_getstring(set_lastpath, appinfo_.apppath);
    select_stored_model();
    if (ended_) return;
    menuclear_Click();
    engine_.reset();
    ports_.scanports();
    ports_.openport();
    started_ = true;
    tell_settings_notices();
}

void Form1::settings_set_aside(const std::string& badpath) {
    settings_notice(std::string("The settings file could not be read:") + crlf + settings_.file_path() +
                    crlf + "It was kept as " + badpath + " and the default settings are used.");
}

// Only the first failed write of a run is told: one box says it for all.
void Form1::settings_not_stored(const std::string& why) {
    if (notstored_told_) return;
    notstored_told_ = true;
    settings_notice(std::string("The settings could not be stored:") + crlf + why + crlf +
                    "Changes to the settings hold until Tessaly ends, but are not kept after it.");
}

// Told once the window stands, from the event loop, never in the middle of a
// settings write.
void Form1::settings_notice(std::string text) {
    settings_notices_.push_back(std::move(text));
    if (started_) QTimer::singleShot(0, this, [this] { tell_settings_notices(); });
}

void Form1::tell_settings_notices() {
    std::vector<std::string> texts;
    texts.swap(settings_notices_);
    for (const std::string& text : texts) show_msgbox(text, box_error);
}

// The stored model, or model 1 (written back) when the number names none.
// A model the program cannot use is passed over for the first one it can.
void Form1::select_stored_model() {
    const std::int32_t index = stored_model(settings_, devicelist_.devcount);
    std::string fault = select_device(devicelist_, index, curdevice_);
    for (std::int32_t i = 1; !fault.empty() && i <= devicelist_.devcount; ++i) {
        if (select_device(devicelist_, i, curdevice_).empty()) {
            show_msgbox(fault, box_error);
            fault.clear();
        }
    }
    if (!fault.empty()) {
        show_msgbox(fault + crlf + "No model of the device list can be used.", box_error);
        end_program();
    }
}

void Form1::settheme() {
    paint_theme(theme_, {
        {centralWidget(), &Theme::th_form_back},
        {Label3, &Theme::th_memory_back, &Theme::th_memory_fore},
        {Label4, &Theme::th_memory_back, &Theme::th_memory_fore},
        {Label1, &Theme::th_model_back, &Theme::th_model_fore},
        {Label5, &Theme::th_name_back, &Theme::th_name_fore},
        {Label7, &Theme::th_action_back, &Theme::th_action_fore},
        {label_vpp, &Theme::th_action_back, &Theme::th_action_fore},
        {label_hex, &Theme::th_value_back, &Theme::th_value_fore},
        {label_status, &Theme::th_value_back, &Theme::th_value_fore},
    });
    view_->settheme(theme_);
}

void Form1::enable() {
    status_frame_.stop();
    label_status->setUpdatesEnabled(true);
    for (QMenu* m : {menu1, menu3, menu4, menu5}) m->menuAction()->setEnabled(true);
    for (QPushButton* b : Command) b->setEnabled(true);
    yield();
}

void Form1::disable() {
    status_frame_.start();
    for (QMenu* m : {menu1, menu3, menu4, menu5}) m->menuAction()->setEnabled(false);
    for (QPushButton* b : Command) b->setEnabled(false);
    yield();
}

void Form1::updatedisplay() { view_->updatedisplay(); }

void Form1::menuclear_Click() {
    disable();
    blank_buffers(curdevice_, chipimage_);
    view_->scroll_to_start();
    updatedisplay();
    label_hex->clear();
    label_status->clear();
    enable();
    view_->set_scroll_ranges();
    view_->focus_scrollbars();
}

void Form1::menumodel_Click() {
    if (refuse_busy()) return;
    Form5 list(devicelist_, curdevice_, settings_, theme_, boxes_.msgbox());
    // Only Select goes on to blank buffers: Cancel must not lose what a Read
    // All or a loaded file left in them.
    if (list.exec() == QDialog::Accepted) menuclear_Click();
}

void Form1::menuprogtime_Click() {
    change_progtime(curdevice_, [this](auto& p, auto& d) { return inputbox(p, d); },
                    [this](auto& t, int k) { return show_msgbox(t, k); });
}

void Form1::menucolors_Click() {
    Form34 list(settings_, theme_, [this] { settheme(); });
    list.exec();
}

void Form1::menuportinfo_Click() { show_msgbox(pinout_text(), box_plain); }

void Form1::menuabout_Click() { show_msgbox(about_text(appinfo_.title), box_plain); }

// The buttons. The Tools items pass the gate as every menu item does, and
// start the operation themselves: a held action that queued again would
// fall behind those that came after it.
void Form1::run_operation(Operation op) {
    gate([this, op] { engine_.start(op); });
}

void Form1::gate(std::function<void()> action) {
    if (may_act_now() && held_.empty()) {
        action();
        return;
    }
    held_.push_back(std::move(action));
    if (!engine_.inside()) post_held();
}

// No engine call is under way and no voltage message awaits its answer.
bool Form1::may_act_now() const { return !engine_.inside() && !engine_.answer_awaited(); }

void Form1::engine_free() {
    if (!held_.empty() || signal_ != 0 || engine_.bytes_waiting()) post_held();
}

// While a held action runs (and may stand) the bytes go on; while the held
// actions wait for a voltage message's answer, that answer must come in.
bool Form1::actions_held() {
    return signal_ != 0 || (!held_.empty() && !running_held_ && !engine_.answer_awaited());
}

// From the event loop, never inside the receive handler the engine call
// returned to: a question asked there would hold up the port's events.
void Form1::post_held() {
    if (held_posted_) return;
    held_posted_ = true;
    QMetaObject::invokeMethod(this, [this] { run_held(); }, Qt::QueuedConnection);
}

// One held action after the other: one that stands (a question, a dialog)
// keeps the next until it is answered, as a modal window keeps a click, while
// a run goes on behind it. A signal waits for nothing of that.
void Form1::run_held() {
    held_posted_ = false;
    if (engine_.inside()) return;
    if (signal_ != 0) {
        end_by_signal(std::exchange(signal_, 0));
        return;
    }
    if (!running_held_) {
        running_held_ = true;
        while (!held_.empty() && may_act_now()) {
            const std::function<void()> action = std::move(held_.front());
            held_.pop_front();
            action();
        }
        running_held_ = false;
    }
    if (!actions_held()) engine_.MSComm1_OnComm({});
}

void Form1::closeEvent(QCloseEvent* event) {
    if (closing_) {
        event->ignore();
        return;
    }
    // Inside an engine call the run would go on past the voltages-off, and a
    // held click would run behind the closed window: the close waits its turn.
    if (engine_.inside() || (!held_.empty() && !running_held_)) {
        event->ignore();
        gate([this] { close(); });
        return;
    }
    closing_ = true;
    const bool go = !engine_.pending() || ask_to_stop();
    // The run may have ended while the question stood; Test Vpp may be on.
    if (go && engine_.shut_down()) wait_for_voltages_off();
    closing_ = false;
    if (go) {
        event->accept();
    } else {
        event->ignore();
    }
}

// The question is withdrawn when the run ends while it stands: there is
// nothing left to stop, and the window stays.
bool Form1::ask_to_stop() {
    return boxes_.show_msgbox(std::string("An operation is running.") + crlf +
                                  "Stop it, switch the chip's voltages off and close Tessaly?",
                              box_yesno, [this] { return !engine_.pending(); }) == answer_yes;
}

void Form1::wait_for_voltages_off() {
    QElapsedTimer waited;
    waited.start();
    QTimer tick;
    tick.start(5);  // wakes the loop while nothing arrives
    while (!engine_.shut_down_answered() && waited.elapsed() < close_wait_ms) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    }
}

// A signal ends the program as a close answered Yes would: a run stops without
// a box and the voltages go off first. With nothing running it ends at once.
// Inside an engine call it is held in a place of its own, ahead of every
// other held action and of any question they stand.
void Form1::end_on_signal(int signo) {
    if (signalled_) return;
    signalled_ = true;
    if (engine_.inside()) {
        signal_ = signo;
        return;
    }
    end_by_signal(signo);
}

void Form1::end_by_signal(int signo) {
    if (engine_.shut_down()) wait_for_voltages_off();
    exit_by_signal(signo);
}

bool Form1::refuse_busy() {
    if (engine_.busy()) set_status(busy_text);
    return engine_.busy();
}

void Form1::open_from_label() {
    if (refuse_busy()) return;
    FileFlowContext ctx = file_context();
    menuopen_Click(ctx);
}

void Form1::Form_Activate() { wheel_hook(*this, *this, settings_); }

void Form1::Form_Deactivate() {
    if (wheelstate().wheel_window == this) wheel_unhook();
}

void Form1::MouseWheel(std::int32_t, std::int32_t rotation, std::int32_t, std::int32_t) {
    focus_->MouseWheel(rotation);
}

void Form1::label_vpp_Click() { engine_.label_vpp_Click(); }

void Form1::MSComm1_OnComm() {
    link_.events_ran();
    const std::vector<std::uint8_t> bytes = serial_.Input();
    engine_.MSComm1_OnComm(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void Form1::MSComm1_port_lost(const QString& why) {
    ports_.port_lost();
    engine_.port_lost(why.toStdString());
}

FileFlowContext Form1::file_context() {
    return FileFlowContext{curdevice_, chipimage_, appinfo_.lastpath, appinfo_.wordsloaded, settings_, *this};
}

std::string Form1::inputbox(const std::string& prompt, const std::string& def) {
    return boxes_.show_inputbox(prompt, def);
}

// The text is always the latest; while the interface is locked its repaint
// waits for the next frame.
void Form1::set_status(const std::string& text) {
    label_status->setText(QString::fromStdString(text));
    if (status_frame_.isActive()) label_status->setUpdatesEnabled(false);
}

// Paced as the link's yields are: during an operation every reply comes
// through the event loop, so a yield right after one has nothing to let run.
void Form1::yield() { link_.yield(); }

void Form1::sleep_ms(std::int32_t ms) {
    if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
}

int Form1::show_msgbox(const std::string& text, int kind) {
    // Once a signal has come no box may keep the program: the engine call it
    // stands in must return so that the voltages can go off.
    return boxes_.show_msgbox(text, kind, [this] { return signalled_; });
}

double Form1::clock() { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; }

// A program that ends for its device data first switches the chip's
// voltages off and hears the answer, once the engine call has returned.
void Form1::end_program() {
    ended_ = true;
    hide();
    if (!engine_.ending()) {
        quit();
        return;
    }
    gate([this] {
        wait_for_voltages_off();
        // A signal that came meanwhile ends the program itself, by the signal.
        if (!signalled_) quit();
    });
}

// Before the event loop runs (a start-up that cannot go on) main sees ended()
// instead; an exit asked for then would end every later loop at once.
void Form1::quit() {
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(1);
}

bool Form1::portopen() { return ports_.portstate.portopen; }

std::int32_t Form1::portnumber() { return ports_.portstate.portnumber; }

void Form1::start_reply_timer(std::int32_t ms) { reply_timer_.start(ms); }

void Form1::stop_reply_timer() { reply_timer_.stop(); }

std::string Form1::choose_file(const FileRequest& request) { return file_chooser(request); }

void Form1::set_label_hex(const std::string& text) { label_hex->setText(QString::fromStdString(text)); }

void Form1::set_label_status(const std::string& text) { set_status(text); }

}  // namespace tessaly
