#include "runners.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <stdexcept>

#include <unistd.h>

#include "app/form1.h"
#include "app/programicon.h"
#include "platform/seriallink.h"
#include "devices/settings.h"
#include "engine/engine.h"
#include "hexfile/hexreader.h"
#include "hexfile/hexwriter.h"
#include "platform/deadlinetimer.h"
#include "platform/serialcontrol.h"
#include "simprocess.h"

namespace tessaly::bench {

namespace {

const auto main_entered = std::chrono::steady_clock::now();

// Waits as the program's own event loop does: asleep until something happens.
template <typename Busy>
double run_until_idle(Busy busy) {
    QTimer tick;
    tick.start(50);
    QElapsedTimer t;
    t.start();
    while (busy() && t.elapsed() < 600000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

// The host a window gives the engine, without the window: its yields and its
// reply timer work as the window's do.
class PlainHost : public Host {
public:
    PlainHost(SerialLink& link, std::function<void()> on_timeout)
        : link_(link), timer(std::move(on_timeout)) {}
    void set_status(const std::string& text) override { status = text; }
    void yield() override { link_.yield(); }
    void sleep_ms(std::int32_t ms) override {
        if (ms <= 0) return;
        waited_ms += ms;
        QThread::msleep(static_cast<unsigned long>(ms));
    }
    int show_msgbox(const std::string& text, int) override {
        box = text;
        return 1;
    }
    void enable() override {}
    void disable() override {}
    void updatedisplay() override {}
    double clock() override { return QTime::currentTime().msecsSinceStartOfDay() / 1000.0; }
    void end_program() override {}
    bool portopen() override { return true; }
    std::int32_t portnumber() override { return 1; }
    void start_reply_timer(std::int32_t ms) override { timer.start(ms); }
    void stop_reply_timer() override { timer.stop(); }

    SerialLink& link_;
    DeadlineTimer timer;
    std::string status;
    std::string box;
    std::int64_t waited_ms = 0;
};

std::filesystem::path scratch(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("tessaly_bench_" + std::to_string(::getpid())) / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace

double since_main() {
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - main_entered;
    return d.count();
}

Model load_model(const DeviceList& list, const std::string& name) {
    Model m;
    for (std::int32_t i = 1; i <= list.devcount; ++i) {
        if (list.entries[i].devmodel == name) m.index = i;
    }
    if (m.index == 0 || !select_device(list, m.index, m.cur).empty()) {
        throw std::runtime_error("no usable model " + name);
    }
    blank_buffers(m.cur, m.full);
    for (std::size_t a = 0; a < m.full.flashbuf.size(); ++a) {
        m.full.flashbuf[a] = static_cast<std::int32_t>((a * 0x2F1B + 0x155) & 0x3FFF);
    }
    for (std::size_t a = 0; a < m.full.eeprombuf.size(); ++a) {
        m.full.eeprombuf[a] = static_cast<std::int32_t>((a * 37 + 11) & 0xFF);
    }
    m.full.conf[0] = 0x3F72;
    if (m.cur.config2used) m.full.conf[1] = 0x3FFC;
    return m;
}

struct EngineDriver::Parts {
    SelectedDevice cur;
    ChipImage image;
    ComPortMap ports;
    SerialControl control;
    SerialLink link{control};
    PlainHost host{link, [this] { engine.reply_timeout(); }};
    Engine engine{link, host, cur, image};

    explicit Parts(const Model& model, const std::string& path)
        : cur(model.cur), ports(make_ports(path)), control(ports) {}
    static ComPortMap make_ports(const std::string& path) {
        ComPortMap p;
        p.override_lines("COM1=" + path);
        return p;
    }
};

EngineDriver::EngineDriver(const Model& model, const std::string& path)
    : parts_(std::make_unique<Parts>(model, path)) {
    Parts& p = *parts_;
    QObject::connect(&p.control, &SerialControl::OnComm, [&p] {
        p.link.events_ran();
        const std::vector<std::uint8_t> in = p.control.Input();
        p.engine.MSComm1_OnComm(std::string_view(reinterpret_cast<const char*>(in.data()), in.size()));
    });
    if (!p.control.CommPort(1) || !p.control.Settings("56000,n,8,1")) {
        throw std::runtime_error(p.control.error_text());
    }
    open_port();
    p.engine.reset();
}

EngineDriver::~EngineDriver() { close_port(); }

void EngineDriver::close_port() { (void)parts_->control.PortOpen(false); }

void EngineDriver::open_port() {
    if (!parts_->control.PortOpen(true)) throw std::runtime_error(parts_->control.error_text());
}

RunResult EngineDriver::run(Operation op, const ChipImage& image) {
    Parts& p = *parts_;
    p.image = image;
    p.host.waited_ms = 0;
    p.host.box.clear();
    RunResult r;
    QElapsedTimer t;
    t.start();
    if (p.engine.start(op) == StartResult::started) {
        run_until_idle([&p] { return p.engine.busy(); });
    }
    r.seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
    r.waits = static_cast<double>(p.host.waited_ms) / 1000.0;
    r.status = p.host.status;
    return r;
}

RunResult window_read_all(const DeviceList& list, const Model& model, const std::string& path) {
    const auto folder = scratch("window");
    std::ofstream(folder / "ports") << "COM16=" << path << "\n";
    {
        SettingsStore settings(folder.string());
        settings.reg_setstring(set_model, std::to_string(model.index));
        settings.reg_setlong(set_portnumber, 16);
        settings.reg_setstring(set_baudrate, "56000");
    }
    AppInfo appinfo;
    appinfo.apppath = bin_dir() + "/";
    Form1 window(list, appinfo, folder.string());
    window.Form_Load();
    run_until_idle([] { return false; });
    RunResult r;
    QElapsedTimer t;
    t.start();
    window.Command[1]->click();
    run_until_idle([&window] { return window.engine().busy(); });
    r.seconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
    r.status = window.label_status->text().toStdString();
    return r;
}

HexTimes hex_times(const Model& model, const std::string& file) {
    HexTimes times{1e9, 1e9};
    std::string error;
    const auto silent = [](const std::string&, int) { return answer_ok; };
    for (int i = 0; i < 30; ++i) {
        QElapsedTimer t;
        t.start();
        if (!write_hexfile(file, model.cur, model.full, error)) throw std::runtime_error(error);
        times.save = std::min(times.save, static_cast<double>(t.nsecsElapsed()) / 1e9);
        ChipImage image;
        blank_buffers(model.cur, image);
        std::int32_t words = 0;
        t.restart();
        if (!read_hexfile(file, model.cur, image, words, silent)) throw std::runtime_error("load");
        times.load = std::min(times.load, static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
    return times;
}

namespace {

long resident_kib() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

// Notes the window's first paint.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) painted = true;
        return false;
    }
};

}  // namespace

// The steps of the program's main, up to its event loop.
int startup_child() {
    const auto folder = scratch("startup");
    QApplication::setWindowIcon(program_icon());
    AppInfo appinfo;
    appinfo.apppath = bin_dir() + "/";
    DeviceList list;
    if (load_devices(appinfo.apppath + devicelist_filename, list) != LoadResult::loaded) return 1;
    Form1 window(list, appinfo, folder.string());
    PaintWatch watch;
    window.installEventFilter(&watch);
    window.Form_Load();
    while (!watch.painted) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("%.6f %ld\n", since_main(), resident_kib());
    std::fflush(stdout);
    std::error_code ec;
    std::filesystem::remove_all(folder.parent_path(), ec);
    return 0;
}

}  // namespace tessaly::bench
