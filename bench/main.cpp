// tessaly-bench [paced] [window] [unpaced] [hex] [startup]: runs the sections
// named (all without arguments) and prints one table; "raw" alone gives the
// raw client's paced Read All, the simulator's own share, and "window-once" one
// unpaced Read All of the window alone, for a profiler. Every ratio compares two
// figures taken in the same run against the same simulator.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "hexfile/hexwriter.h"
#include "rawclient.h"
#include "runners.h"
#include "simprocess.h"

namespace tessaly::bench {
namespace {

constexpr std::int64_t baud = 56000;
constexpr double bits_per_byte = 10;

std::filesystem::path work_dir() {
    return std::filesystem::temp_directory_path() / ("tessaly_bench_" + std::to_string(::getpid()));
}

std::string file_in_work(const std::string& name) {
    std::filesystem::create_directories(work_dir());
    return (work_dir() / name).string();
}

std::string image_file(const Model& m) {
    const std::string path = file_in_work(m.cur.modelname + ".hex");
    std::string error;
    if (!write_hexfile(path, m.cur, m.full, error)) throw std::runtime_error(error);
    return path;
}

double wire_limit(const Traffic& t, double waits) {
    return static_cast<double>(t.bytes_out + t.bytes_in) * bits_per_byte / baud + waits;
}

void paced_header() {
    std::printf("\n1. Paced at %lld baud (bytes and messages from the simulator's trace)\n",
                static_cast<long long>(baud));
    std::printf("%-12s %-20s %8s %8s %8s %8s %9s %10s %7s\n", "model", "run", "messages",
                "out B", "in B", "waits s", "limit s", "measured s", "ratio");
}

void paced_row(const std::string& model, const std::string& what, const Traffic& t, double waits,
               double seconds, const std::string& status = "") {
    const double limit = wire_limit(t, waits);
    std::printf("%-12s %-20s %8zu %8lld %8lld %8.2f %9.2f %10.2f %7.3f%s%s\n", model.c_str(),
                what.c_str(), t.exchanges.size(), static_cast<long long>(t.bytes_out),
                static_cast<long long>(t.bytes_in), waits, limit, seconds, seconds / limit,
                status.empty() ? "" : "  ", status.c_str());
}

std::string short_status(const std::string& s) { return s.substr(0, s.find('.') + 1); }

struct Op {
    const char* name;
    Operation op;
};

// Each operation of the engine on one paced simulator, then the raw client's
// Read All on the same simulator. Returns the Read All's messages.
std::vector<Exchange> paced_model(const Model& m) {
    const std::string trace = file_in_work(m.cur.modelname + ".trace");
    SimProcess sim(m.cur.modelname, baud, trace, "");
    EngineDriver engine(m, sim.path());
    const Op ops[] = {{"Program All", Operation::program},
                      {"Verify", Operation::verify},
                      {"Read All", Operation::read},
                      {"", Operation::erase},
                      {"Blank Check", Operation::blank}};
    std::vector<Exchange> read;
    for (const Op& op : ops) {
        const RunResult r = engine.run(op.op, m.full);
        const Traffic t = sim.take_traffic();
        if (op.op == Operation::read) read = t.exchanges;
        if (*op.name) paced_row(m.cur.modelname, std::string("engine ") + op.name, t, r.waits,
                                r.seconds, short_status(r.status));
    }
    engine.close_port();
    const double raw = run_raw_client(sim.path(), read);
    const Traffic t = sim.take_traffic();
    paced_row(m.cur.modelname, "raw client Read All", t, 0, raw);
    return read;
}

void paced_window(const DeviceList& list, const Model& m) {
    const std::string trace = file_in_work(m.cur.modelname + ".window.trace");
    SimProcess sim(m.cur.modelname, baud, trace, image_file(m));
    const RunResult w = window_read_all(list, m, sim.path());
    const Traffic tw = sim.take_traffic();
    paced_row(m.cur.modelname, "window Read All", tw, 0, w.seconds, short_status(w.status));
    const double raw = run_raw_client(sim.path(), tw.exchanges);
    const Traffic tr = sim.take_traffic();
    paced_row(m.cur.modelname, "raw client Read All", tr, 0, raw);
    std::printf("%-12s window / raw client: %.3f\n", m.cur.modelname.c_str(), w.seconds / raw);
}

// Seconds of CPU this process has used, user and system.
double cpu_seconds() {
    rusage use{};
    ::getrusage(RUSAGE_SELF, &use);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(use.ru_utime) + seconds(use.ru_stime);
}

// Read and write system calls this process has made (poll and the other
// calls are not counted by the kernel); every thread counts.
double io_calls() {
    std::ifstream io("/proc/self/io");
    std::string name;
    double value = 0;
    double calls = 0;
    while (io >> name >> value) {
        if (name == "syscr:" || name == "syscw:") calls += value;
    }
    return calls;
}

// The best wall and CPU time and the fewest read and write calls of a client
// over several runs.
struct Best {
    double wall = 1e9;
    double cpu = 1e9;
    double calls = 1e12;
    template <typename Run>
    void take(Run run) {
        const double before = cpu_seconds();
        const double calls_before = io_calls();
        wall = std::min(wall, run());
        cpu = std::min(cpu, cpu_seconds() - before);
        calls = std::min(calls, io_calls() - calls_before);
    }
};

// Unpaced over a pseudo-terminal: best of three runs each, interleaved. The
// CPU time per exchange is what this side spends; it holds on a busy machine
// where the wall time does not.
void unpaced(const DeviceList& list, const Model& m, const std::vector<Exchange>& read) {
    SimProcess sim(m.cur.modelname, 0, "", image_file(m));
    Best engine, raw, window;
    for (int i = 0; i < 3; ++i) {
        engine.take([&] { return EngineDriver(m, sim.path()).run(Operation::read, m.full).seconds; });
        raw.take([&] { return run_raw_client(sim.path(), read); });
        window.take([&] { return window_read_all(list, m, sim.path()).seconds; });
    }
    const double n = static_cast<double>(read.size());
    std::printf("\n2. Unpaced over a pseudo-terminal, %s Read All, %zu exchanges (best of 3)\n",
                m.cur.modelname.c_str(), read.size());
    std::printf("%-30s %10s %12s %14s %16s\n", "client", "seconds", "exchanges/s", "CPU us/exch.",
                "read+write/exch.");
    const auto row = [n](const char* name, const Best& b) {
        std::printf("%-30s %10.3f %12.0f %14.1f %16.2f\n", name, b.wall, n / b.wall,
                    b.cpu / n * 1e6, b.calls / n);
    };
    row("engine (serial control)", engine);
    row("raw client", raw);
    row("window (Read All button)", window);
    std::printf("engine / raw client: %.3f (CPU %.2f); window / raw client: %.3f (CPU %.2f)\n",
                engine.wall / raw.wall, engine.cpu / raw.cpu, window.wall / raw.wall,
                window.cpu / raw.cpu);
}

// Seconds srec_cat takes to read file (best of several), as a child process.
double srec_cat_seconds(const std::string& file) {
    double best = 1e9;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer t;
        t.start();
        QProcess p;
        p.start("srec_cat", {QString::fromStdString(file), "-intel", "-o", "/dev/null", "-intel"});
        if (!p.waitForFinished(30000) || p.exitCode() != 0) return -1;
        best = std::min(best, static_cast<double>(t.nsecsElapsed()) / 1e9);
    }
    return best;
}

void hex(const Model& m) {
    const std::string file = file_in_work("full877a.hex");
    const HexTimes times = hex_times(m, file);
    const std::string empty = file_in_work("empty.hex");
    std::FILE* f = std::fopen(empty.c_str(), "w");
    std::fputs(":0100000000FF\r\n:00000001FF\r\n", f);  // one byte: srec_cat refuses no data
    std::fclose(f);
    const double srec = srec_cat_seconds(file);
    const double srec_start = srec_cat_seconds(empty);
    const double srec_net = srec - srec_start;
    std::printf("\n3. Intel HEX, full %s image (%lld bytes; best of several)\n",
                m.cur.modelname.c_str(),
                static_cast<long long>(std::filesystem::file_size(file)));
    std::printf("%-44s %10s\n", "", "ms");
    std::printf("%-44s %10.3f\n", "Tessaly load", times.load * 1e3);
    std::printf("%-44s %10.3f\n", "Tessaly save", times.save * 1e3);
    std::printf("%-44s %10.3f\n", "srec_cat reading it (whole process)", srec * 1e3);
    std::printf("%-44s %10.3f\n", "srec_cat net of its start (a one-byte file)", srec_net * 1e3);
    std::printf("load / srec_cat: %.3f (net: %.3f); save / srec_cat: %.3f (net: %.3f)\n",
                times.load / srec, times.load / srec_net, times.save / srec, times.save / srec_net);
}

void startup(const char* self) {
    std::vector<double> outside, inside;
    long rss = 0;
    for (int i = 0; i < 5; ++i) {
        QProcess p;
        QElapsedTimer t;
        t.start();
        p.start(self, {"--startup-child"});
        if (!p.waitForReadyRead(20000)) continue;
        outside.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        double ms = 0;
        std::sscanf(p.readAll().constData(), "%lf %ld", &ms, &rss);
        inside.push_back(ms * 1e3);
        p.waitForFinished(5000);
    }
    std::sort(outside.begin(), outside.end());
    std::sort(inside.begin(), inside.end());
    std::printf("\n4. Start-up to the first shown window (%s), median of %zu\n",
                QGuiApplication::platformName().toStdString().c_str(), outside.size());
    if (outside.empty()) return;
    std::printf("%-44s %10.1f ms\n", "from process start", outside[outside.size() / 2]);
    std::printf("%-44s %10.1f ms\n", "from main", inside[inside.size() / 2]);
    std::printf("%-44s %10.1f MiB\n", "resident memory then", static_cast<double>(rss) / 1024);
}

// The Read All messages of the engine, taken from an unpaced run.
std::vector<Exchange> capture_read(const Model& m) {
    SimProcess sim(m.cur.modelname, 0, file_in_work("capture.trace"), image_file(m));
    EngineDriver engine(m, sim.path());
    engine.run(Operation::read, m.full);
    return sim.take_traffic().exchanges;
}

// One unpaced Read All from the window and nothing else, for a profiler
// (perf, strace -c, callgrind) to see only the window's path.
void window_once(const DeviceList& list, const Model& m) {
    SimProcess sim(m.cur.modelname, 0, "", image_file(m));
    const RunResult w = window_read_all(list, m, sim.path());
    std::printf("window Read All unpaced: %.3f s  %s\n", w.seconds, short_status(w.status).c_str());
}

// Only the raw client's paced Read All: the simulator's own share, quickly.
void paced_raw(const Model& m) {
    const std::vector<Exchange> read = capture_read(m);
    SimProcess sim(m.cur.modelname, baud, file_in_work("raw.trace"), image_file(m));
    const double raw = run_raw_client(sim.path(), read);
    paced_row(m.cur.modelname, "raw client Read All", sim.take_traffic(), 0, raw);
}

// Qt's offscreen platform warns that it cannot pass on a window's size hints
// each time a main window is shown; it says nothing about the figures and
// would break into the table. Every other message goes through as ever.
QtMessageHandler qt_handler = nullptr;

void drop_size_hint_warning(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtWarningMsg && text == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    qt_handler(type, context, text);
}

// Where the window runs: painted on an X server, as a user's is, or on Qt's
// offscreen platform, which paints nothing.
std::string platform_text() {
    const QString name = QGuiApplication::platformName();
    if (name == QLatin1String("xcb")) {
        return "an X server (xcb, DISPLAY " + qEnvironmentVariable("DISPLAY").toStdString() +
               "), painted as a user's window";
    }
    if (name == QLatin1String("offscreen")) return "Qt's offscreen platform: nothing is painted";
    return name.toStdString();
}

int run(int argc, char** argv) {
    std::set<std::string> sections(argv + 1, argv + argc);
    const auto wanted = [&sections](const char* s) { return sections.empty() || sections.count(s); };
    DeviceList list;
    if (load_devices(device_list_path(), list) != LoadResult::loaded) {
        std::fprintf(stderr, "tessaly-bench: cannot read %s\n", device_list_path().c_str());
        return 1;
    }
    std::printf("Windows shown on: %s\n", platform_text().c_str());
    const Model f84 = load_model(list, "PIC16F84A");
    const Model f877 = load_model(list, "PIC16F877A");
    std::vector<Exchange> read877;
    if (wanted("paced") || wanted("window") || sections.count("raw")) paced_header();
    if (sections.count("raw")) paced_raw(f877);
    if (sections.count("window-once")) window_once(list, f877);
    if (wanted("paced")) {
        paced_model(f84);
        read877 = paced_model(f877);
    }
    if (wanted("window")) paced_window(list, f877);
    if (wanted("unpaced")) {
        if (read877.empty()) read877 = capture_read(f877);
        unpaced(list, f877, read877);
    }
    if (wanted("hex")) hex(f877);
    if (wanted("startup")) startup(argv[0]);
    std::fflush(stdout);
    return 0;
}

}  // namespace
}  // namespace tessaly::bench

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    tessaly::bench::qt_handler = qInstallMessageHandler(tessaly::bench::drop_size_hint_warning);
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // rows show as they are measured
    if (argc == 2 && std::string(argv[1]) == "--startup-child") return tessaly::bench::startup_child();
    int rc = 1;
    try {
        rc = tessaly::bench::run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessaly-bench: %s\n", e.what());
    }
    std::error_code ec;
    std::filesystem::remove_all(tessaly::bench::work_dir(), ec);
    return rc;
}
