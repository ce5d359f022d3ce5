#include "app/form1.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>
#include <QThread>
#include <QTime>

#include "devices/hextext.h"
#include "ui/kit.h"
#include "platform/comports.h"
#include "themes/paint.h"
#include "view/bufferview.h"

namespace tessaly {
namespace {

constexpr int client_width = 6195;
constexpr int client_height = 6435;
const char* const open_tip = "Click to open HEX file!";
const char* const model_tip = "Click to change microcontroller model!";
// An operation sets the status line for every address; more than one repaint
// a frame cannot be seen and would cost more than the messages themselves.
constexpr int status_frame_ms = 40;

// A label that runs a function when clicked; the lock leaves these live.
QLabel* clickable(QLabel* label, std::function<void()> onclick) {
    new ClickWatcher(label, std::move(onclick));
    return label;
}

// A label of the window font with its tooltip.
QLabel* form_label(QWidget* form, const char* caption, const char* tip, int left, int top,
                   int width) {
    QLabel* label = make_label(form, QString::fromUtf8(caption), left, top, width, box_font());
    if (tip) label->setToolTip(QString::fromUtf8(tip));
    return label;
}

}  // namespace

Form1::Form1(const DeviceList& devicelist, AppInfo& appinfo, const std::string& configfolder)
    : devicelist_(devicelist),
      appinfo_(appinfo),
      settings_(configfolder),
      serial_(ComPortMap::from_folder(configfolder)),
      link_(serial_),
      engine_(link_, *this, curdevice_, chipimage_),
      ports_(serial_, settings_, [this](const std::string& t) { set_status(t); }),
      boxes_(appinfo_, theme_) {
    setWindowTitle(QString::fromStdString(appinfo_.title));
    auto* form = new QWidget(this);
    form->setFixedSize(to_px(client_width), to_px(client_height));
    setCentralWidget(form);
    build_labels(form);
    build_buttons(form);
    view_ = new BufferView(form, curdevice_, chipimage_);
    build_menus();
    setFont(box_font());
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    status_frame_.setInterval(status_frame_ms);
    connect(&status_frame_, &QTimer::timeout, this, [this] {
        label_status->setUpdatesEnabled(true);
        label_status->repaint();
    });
    reply_timer_.setSingleShot(true);
    connect(&reply_timer_, &QTimer::timeout, this, [this] { engine_.reply_timeout(); });
    connect(&serial_, &SerialControl::OnComm, this, &Form1::MSComm1_OnComm);
    connect(&serial_, &SerialControl::port_lost, this, &Form1::MSComm1_port_lost);
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

void Form1::build_labels(QWidget* form) {
    Label7 = clickable(form_label(form, "Loaded HEX File", open_tip, 60, 60, 1755),
                       [this] { open_from_label(); });
    label_vpp = clickable(
        form_label(form, "Test Vpp",
                   "Click to turn ON/OFF Vpp (and Vdd) voltages for the purpose of adjusting Vpp voltage!",
                   5160, 60, 975),
        [this] { label_vpp_Click(); });
    label_vpp->setAlignment(Qt::AlignCenter);
    label_hex = clickable(form_label(form, "", open_tip, 60, 360, 6075), [this] { open_from_label(); });
    Label1 = form_label(form, "Microcontroller Model", model_tip, 60, 1140, 2055);
    Label3 = form_label(form, "FLASH Memory", nullptr, 60, 1800, 1575);
    Label4 = form_label(form, "EEPROM Memory", nullptr, 60, 3960, 1575);
    Label5 = form_label(form, "Status", nullptr, 4380, 5820, 1755);
    label_status = form_label(form, "", nullptr, 60, 6120, 6075);
}

void Form1::build_buttons(QWidget* form) {
    struct Button { const char* caption; int left; int width; Operation op; };
    const Button buttons[] = {
        {"Program All", 60, 1155, Operation::program}, {"Read All", 1260, 1095, Operation::read},
        {"Erase All", 2400, 1095, Operation::erase},   {"Blank Check", 3540, 1155, Operation::blank},
        {"Verify", 4740, 1095, Operation::verify},
    };
    for (std::size_t i = 0; i < Command.size(); ++i) {
        const Button& b = buttons[i];
        Command[i] = new QPushButton(QString::fromUtf8(b.caption), form);
        Command[i]->setFont(box_font());
        place(Command[i], b.left, 720, b.width, 315);
        const Operation op = b.op;
        connect(Command[i], &QPushButton::clicked, this, [this, op] { run_operation(op); });
    }
    for (std::size_t i = 1; i < Command.size(); ++i) setTabOrder(Command[i - 1], Command[i]);
}

void Form1::build_menus() {
    QMenuBar* bar = menuBar();
    auto item = [this](QMenu* menu, const char* caption, std::function<void()> run) {
        QAction* a = menu->addAction(QString::fromUtf8(caption));
        if (run) connect(a, &QAction::triggered, this, std::move(run));
        return a;
    };
    menu1 = bar->addMenu(QStringLiteral("&File"));
    item(menu1, "&Clear Buffer", [this] { menuclear_Click(); });
    item(menu1, "&Open HEX File", [this] {
        FileFlowContext ctx = file_context();
        menuopen_Click(ctx);
    });
    item(menu1, "&Save Buffer As", [this] {
        FileFlowContext ctx = file_context();
        menusave_Click(ctx);
    });
    menu3 = bar->addMenu(QStringLiteral("&Tools"));
    item(menu3, "&Program All", [this] { run_operation(Operation::program); });
    item(menu3, "&Read All", [this] { run_operation(Operation::read); });
    item(menu3, "&Erase All", [this] { run_operation(Operation::erase); });
    item(menu3, "&Blank Check", [this] { run_operation(Operation::blank); });
    item(menu3, "&Verify", [this] { run_operation(Operation::verify); });
    menu4 = bar->addMenu(QStringLiteral("&Options"));
    item(menu4, "Change Microcontroller Model", nullptr);
    item(menu4, "Change Serial Port Number", [this] {
        ports_.menuport_Click([this](auto& p, auto& d) { return inputbox(p, d); },
                              [this](auto& t, int k) { return show_msgbox(t, k); });
    });
    item(menu4, "Change Baud Rate", [this] {
        ports_.menubaud_Click([this](auto& p, auto& d) { return inputbox(p, d); },
                              [this](auto& t, int k) { return show_msgbox(t, k); });
    });
    item(menu4, "Change Default Programming Time", nullptr);
    item(menu4, "Change Color Theme", nullptr);
    menu5 = bar->addMenu(QStringLiteral("Help"));
    item(menu5, "Serial Port Pinout", nullptr);
    item(menu5, "About Tessaly", nullptr);
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
}

// The stored model, or model 1 (written back) when the number names none.
// A model the program cannot use is passed over for the first one it can.
void Form1::select_stored_model() {
    std::int32_t index = leading_number(settings_.reg_getstring(set_model, "1"));
    if (index < 1 || index > devicelist_.devcount) {
        index = 1;
        settings_.reg_setstring(set_model, "1");
    }
    std::string fault = select_device(devicelist_, index, curdevice_);
    for (std::int32_t i = 1; !fault.empty() && i <= devicelist_.devcount; ++i) {
        if (select_device(devicelist_, i, curdevice_).empty()) {
            show_msgbox(fault, box_error);
            fault.clear();
        }
    }
    if (!fault.empty()) {
        show_msgbox(fault + "\r\nNo model of the device list can be used.", box_error);
        end_program();
    }
}

void Form1::settheme() {
    const BufferView& v = *view_;
    paint_theme(theme_, {
        {centralWidget(), &Theme::th_form_back},
        {v.label_ime, &Theme::th_name_back, &Theme::th_name_fore},
        {v.label_info, &Theme::th_info_back, &Theme::th_info_fore},
        {Label3, &Theme::th_memory_back, &Theme::th_memory_fore},
        {Label4, &Theme::th_memory_back, &Theme::th_memory_fore},
        {Label1, &Theme::th_model_back, &Theme::th_model_fore},
        {Label5, &Theme::th_name_back, &Theme::th_name_fore},
        {Label7, &Theme::th_action_back, &Theme::th_action_fore},
        {label_vpp, &Theme::th_action_back, &Theme::th_action_fore},
        {v.lfix[0], &Theme::th_caption_back, &Theme::th_caption_fore},
        {v.lfix[1], &Theme::th_caption_back, &Theme::th_caption_fore},
        {label_hex, &Theme::th_value_back, &Theme::th_value_fore},
        {label_status, &Theme::th_value_back, &Theme::th_value_fore},
        {v.label_conf[0], &Theme::th_value_back, &Theme::th_value_fore},
        {v.label_conf[1], &Theme::th_value_back, &Theme::th_value_fore},
    });
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

void Form1::run_operation(Operation op) { engine_.start(op); }

void Form1::open_from_label() {
    if (engine_.busy()) {
        set_status(busy_text);
        return;
    }
    FileFlowContext ctx = file_context();
    menuopen_Click(ctx);
}

void Form1::label_vpp_Click() { engine_.label_vpp_Click(); }

void Form1::MSComm1_OnComm() {
    const std::vector<std::uint8_t> bytes = serial_.Input();
    engine_.MSComm1_OnComm(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void Form1::MSComm1_port_lost() { ports_.port_lost(); }

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

void Form1::yield() { QCoreApplication::processEvents(); }

void Form1::sleep_ms(std::int32_t ms) {
    if (ms > 0) QThread::msleep(static_cast<unsigned long>(ms));
}

int Form1::show_msgbox(const std::string& text, int kind) {
    return boxes_.show_msgbox(text, kind);
}

double Form1::clock() { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; }

void Form1::end_program() {
    ended_ = true;
    hide();
    QCoreApplication::exit(1);
}

bool Form1::portopen() { return ports_.portstate.portopen; }

std::int32_t Form1::portnumber() { return ports_.portstate.portnumber; }

void Form1::start_reply_timer(std::int32_t ms) { reply_timer_.start(ms); }

void Form1::stop_reply_timer() { reply_timer_.stop(); }

std::string Form1::choose_file(const FileRequest& request) { return file_chooser(request); }

void Form1::set_label_hex(const std::string& text) { label_hex->setText(QString::fromStdString(text)); }

void Form1::set_label_status(const std::string& text) { set_status(text); }

}  // namespace tessaly
