// Starts the real tessaly-sim and talks to it as the program does: over the
// terminal side of its pseudo-terminal, opened and closed more than once.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "devices/device.h"
#include "devices/devicelist.h"
#include "devices/settings.h"
#include "hexfile/hexreader.h"
#include "protocol.h"
#include "tempfolder.h"

extern char** environ;

namespace tessaly::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string sim_path = std::string(TESSALY_BIN_DIR) + "/tessaly-sim";
const std::string fixtures = std::string(TESSALY_TEST_DATA) + "/sim";
constexpr int timeout_ms = 5000;

// The simulator as a child process; killed on the way out if a test failed
// before it ended.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int out[2], err[2];
        if (::pipe(out) != 0 || ::pipe(err) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        std::vector<std::string> all{sim_path};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, sim_path.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(err[1]);
        out_ = out[0];
        err_ = err[0];
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
        if (err_ >= 0) ::close(err_);
    }

    // The first line of its standard output, "" if none comes in time.
    std::string first_line() {
        std::string line;
        char c = 0;
        while (readable(out_) && ::read(out_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }

    // Its exit status once it has ended, -1 if it does not end in time.
    int exit_status() {
        for (int waited = 0; waited < timeout_ms; waited += 10) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    std::string error_text() {
        std::string text;
        char buffer[256];
        ssize_t n = 0;
        while (readable(err_) && (n = ::read(err_, buffer, sizeof buffer)) > 0) text.append(buffer, n);
        return text;
    }

    void terminate() { ::kill(pid_, SIGTERM); }
    bool started() const { return pid_ > 0; }

private:
    static bool readable(int fd) {
        pollfd pfd{fd, POLLIN, 0};
        return ::poll(&pfd, 1, timeout_ms) == 1;
    }
    pid_t pid_ = -1;
    int out_ = -1;
    int err_ = -1;
};

// The pseudo-terminal a started simulator serves; "" when it did not start.
std::string pty_path(SimProcess& sim) {
    if (!sim.started()) return "";
    const std::string path = sim.first_line();
    if (path.rfind("/dev/", 0) == 0) return path;
    ADD_FAILURE() << "no pseudo-terminal: " << sim.error_text();
    return "";
}

// The terminal side as a serial port: raw, opened for one session.
class Terminal {
public:
    explicit Terminal(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY)) {
        termios tio{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~Terminal() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool is_open() const { return fd_ >= 0; }

    // Sends one message and collects its reply, as many bytes as expected.
    Bytes exchange(const Bytes& message, std::size_t expected) {
        if (::write(fd_, message.data(), message.size()) != static_cast<ssize_t>(message.size())) {
            return {};
        }
        Bytes reply;
        pollfd pfd{fd_, POLLIN, 0};
        while (reply.size() < expected && ::poll(&pfd, 1, timeout_ms) == 1) {
            std::uint8_t buffer[16];
            const auto n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) break;
            reply.insert(reply.end(), buffer, buffer + n);
        }
        return reply;
    }

private:
    int fd_;
};

// Waits until the trace file holds text.
bool trace_shows(const std::string& path, const std::string& text) {
    for (int waited = 0; waited < timeout_ms; waited += 10) {
        std::ifstream file(path);
        std::stringstream content;
        content << file.rdbuf();
        if (content.str().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(TessalySim, ServesItsPseudoTerminalAcrossReopensAndDumpsOnSigterm) {
    const test::TempFolder folder;
    const std::string& dir = folder.path();
    const std::string devices = fixtures + "/devices.txt";
    SimProcess sim({"--model", "PIC16F84A", "--device-list", devices, "--load",
                    fixtures + "/load.hex", "--dump", dir + "/out.hex", "--trace",
                    dir + "/trace.txt"});
    const std::string path = pty_path(sim);
    ASSERT_FALSE(path.empty());

    {
        Terminal line(path);
        ASSERT_TRUE(line.is_open());
        EXPECT_EQ(line.exchange({101}, 1), Bytes{101});
        EXPECT_EQ(line.exchange({104, 0x04}, 1), Bytes{104});
        EXPECT_EQ(line.exchange({106}, 3), (Bytes{0x05, 0x28, 106})) << "the loaded word";
        EXPECT_EQ(line.exchange({104, 0x06}, 1), Bytes{104});
        EXPECT_EQ(line.exchange({104, 0x02}, 1), Bytes{104});
        EXPECT_EQ(line.exchange({105, 0xBC, 0x1A}, 1), Bytes{105});
        EXPECT_EQ(line.exchange({104, 0x08}, 1), Bytes{104});
        EXPECT_EQ(line.exchange({103}, 1), Bytes{103});
    }
    {
        // Closed before its reply is read: the reply is lost, as on a real port,
        // and never reaches the next opener.
        Terminal line(path);
        ASSERT_TRUE(line.is_open());
        EXPECT_EQ(line.exchange({100, 100}, 0), Bytes{});
    }
    // Only once those replies are gone may the next session begin; a program
    // that reopened sooner would meet them, as on a real line.
    ASSERT_TRUE(trace_shows(dir + "/trace.txt", "tx #10:"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    {
        Terminal line(path);
        ASSERT_TRUE(line.is_open());
        EXPECT_EQ(line.exchange({101, 104, 0x03}, 2), (Bytes{101, 104}));
        EXPECT_EQ(line.exchange({105, 0x77, 0x00, 104, 0x08}, 2), (Bytes{105, 104}));
        EXPECT_EQ(line.exchange({104, 0x05, 106}, 4), (Bytes{104, 0x77, 0x00, 106}));
        EXPECT_EQ(line.exchange({103}, 1), Bytes{103});
    }

    sim.terminate();
    EXPECT_EQ(sim.exit_status(), 0) << sim.error_text();

    DeviceList list;
    ASSERT_EQ(load_devices(devices, list), LoadResult::loaded);
    SelectedDevice dev;
    ASSERT_EQ(select_device(list, 1, dev), "");
    ChipImage image;
    blank_buffers(dev, image);
    std::int32_t words = 0;
    ASSERT_TRUE(read_hexfile(dir + "/out.hex", dev, image, words,
                             [](const std::string&, int) { return 1; }));
    EXPECT_EQ(image.flashbuf[0], 0x2805);
    EXPECT_EQ(image.flashbuf[1], 0x1ABC);
    EXPECT_EQ(image.conf[0], 0x3F72);
    EXPECT_EQ(image.eeprombuf[0], 0x77);
    EXPECT_EQ(words, 2);

    std::ifstream trace(dir + "/trace.txt");
    std::string first;
    std::getline(trace, first);
    EXPECT_EQ(first.rfind("rx #1: 65", 0), 0u) << first;
}

std::string file_text(const std::string& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

// Serves until told to stop and returns what it said on stderr; "" when all went well.
std::string serve_and_stop(const std::vector<std::string>& args) {
    SimProcess sim(args);
    if (pty_path(sim).empty()) return "did not start";
    sim.terminate();
    const int status = sim.exit_status();
    const std::string errors = sim.error_text();
    return status == 0 && errors.empty() ? "" : "status " + std::to_string(status) + ": " + errors;
}

// What one start leaves in its dump the next start loads into the same
// memory and dumps again to the same file, as the run command does, for a
// blank chip and a written one, one and two config words.
TEST(TessalySim, ADumpLoadsBackIntoTheSameMemory) {
    const std::string devices = fixtures + "/devices.txt";
    for (const char* model : {"PIC16F84A", "PIC16F88", "PIC16F877A"}) {
        for (const bool written : {false, true}) {
            SCOPED_TRACE(std::string(model) + (written ? " written" : " blank"));
            const test::TempFolder folder;
            const std::string& dir = folder.path();
            std::vector<std::string> first = {"--device-list", devices, "--model", model, "--dump",
                                              dir + "/first.hex"};
            if (written) first.insert(first.end(), {"--load", fixtures + "/load.hex"});
            ASSERT_EQ(serve_and_stop(first), "");
            const std::string dumped = file_text(dir + "/first.hex");
            EXPECT_NE(dumped, "");
            ASSERT_EQ(serve_and_stop({"--device-list", devices, "--model", model, "--load",
                                      dir + "/first.hex", "--dump", dir + "/first.hex"}),
                      "");
            EXPECT_EQ(file_text(dir + "/first.hex"), dumped);
            EXPECT_EQ(dumped.find(":020000000528D1") != std::string::npos, written) << dumped;
        }
    }
}

using Clock = std::chrono::steady_clock;

// The delayed byte comes on its own, whether the line stays quiet or the
// program goes on sending: then each step message gets its own reply as ever,
// and the stray turns up among them. Never sooner than the delay after its reply.
TEST(TessalySim, DelayedExtraByteComesOnItsOwnAfterTheDelay) {
    constexpr int delay_ms = 200;
    struct Case {
        std::vector<std::string> pacing;
        bool busy;  // steps go on being sent while the byte is due
    };
    const Case cases[] = {{{}, false}, {{}, true}, {{"--pace", "56000"}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.busy ? "busy" : "quiet");
        SCOPED_TRACE(c.pacing.empty() ? "unpaced" : "paced");
        const test::TempFolder folder;
        const std::string& dir = folder.path();
        std::vector<std::string> args = {"--device-list", fixtures + "/devices.txt",
                                         "--extra-byte-after", "2", "--extra-byte-delay-ms",
                                         std::to_string(delay_ms), "--trace", dir + "/trace.txt"};
        args.insert(args.end(), c.pacing.begin(), c.pacing.end());
        SimProcess sim(args);
        const std::string path = pty_path(sim);
        ASSERT_FALSE(path.empty());
        Terminal line(path);
        ASSERT_TRUE(line.is_open());
        EXPECT_EQ(line.exchange({101}, 1), Bytes{101});
        const auto before_reply = Clock::now();
        EXPECT_EQ(line.exchange({100}, 1), Bytes{100}) << "the reply comes alone";

        Bytes got;
        int sent = 0;
        auto stray_time = Clock::time_point::max();
        while (stray_time == Clock::time_point::max() &&
               Clock::now() - before_reply < std::chrono::milliseconds(delay_ms + timeout_ms)) {
            const Bytes more = c.busy ? line.exchange({100}, 1) : line.exchange({}, 1);
            sent += c.busy ? 1 : 0;
            if (std::find(more.begin(), more.end(), unrequested_byte) != more.end()) stray_time = Clock::now();
            got.insert(got.end(), more.begin(), more.end());
            if (c.busy) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ASSERT_NE(stray_time, Clock::time_point::max()) << "the stray never came";
        EXPECT_GE(stray_time - before_reply, std::chrono::milliseconds(delay_ms));
        // Whatever reply a read took beside the stray, every step is answered once.
        while (std::count(got.begin(), got.end(), 100) < sent) {
            const Bytes rest = line.exchange({}, 1);
            if (rest.empty()) break;
            got.insert(got.end(), rest.begin(), rest.end());
        }
        EXPECT_EQ(std::count(got.begin(), got.end(), 100), sent);
        EXPECT_EQ(got.size(), static_cast<std::size_t>(sent) + 1) << "one stray and the replies";
        EXPECT_TRUE(trace_shows(dir + "/trace.txt", "tx #2: A5 (unrequested, 200 ms after the reply)"));
    }
}

// The model a start of Tessaly selects with a settings folder: the stored
// number by the program's number rule, model 1 for any number naming none or
// a file that cannot be read. The settings are only read: no folder or file is
// made, nothing is written back and a damaged file is not set aside.
TEST(TessalySim, WhichModelIsTheOneTessalySelects) {
    const std::string list = std::string(TESSALY_BIN_DIR) + "/quarndevices.txt";
    DeviceList models;
    ASSERT_EQ(load_devices(list, models), LoadResult::loaded);
    ASSERT_GE(models.devcount, 3);
    const struct {
        const char* stored;  // nullptr: no settings file
        std::int32_t index;
        bool damaged = false;  // stored is the whole file
    } cases[] = {{nullptr, 1}, {"3", 3}, {"2.5", 2}, {" 1 0 ", 10}, {"0", 1}, {"99", 1}, {"PIC", 1},
                 {"REGEDIT4\n[cut", 1, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "no file");
        const test::TempFolder root;
        const std::string folder = root.file("settings");  // missing until written
        const std::string file = folder + "/" + settings_filename;
        if (c.damaged) {
            std::filesystem::create_directories(folder);
            std::ofstream(file) << c.stored;
        } else if (c.stored) {
            SettingsStore(folder).reg_setstring(set_model, c.stored);
        }
        const auto before = std::filesystem::exists(file) ? std::filesystem::last_write_time(file)
                                                          : std::filesystem::file_time_type{};
        const std::string text = file_text(file);
        SimProcess sim({"--device-list", list, "--which-model", folder});
        ASSERT_TRUE(sim.started());
        const std::int32_t want = std::min(c.index, models.devcount);
        EXPECT_EQ(sim.first_line(), models.entries[static_cast<std::size_t>(want)].devmodel);
        EXPECT_EQ(sim.exit_status(), 0) << sim.error_text();
        EXPECT_EQ(std::filesystem::exists(folder), c.stored != nullptr);
        if (c.stored) {
            EXPECT_EQ(file_text(file), text);
            EXPECT_EQ(std::filesystem::last_write_time(file), before);
            EXPECT_FALSE(std::filesystem::exists(file + ".bad"));
        }
    }
}

TEST(TessalySim, RefusesABadStartWithStatusTwo) {
    const std::vector<std::vector<std::string>> starts = {
        {"--pace", "fast"},
        {"--device-list", fixtures + "/devices.txt", "--model", "PIC99X"},
        {"--device-list", fixtures + "/devices.txt", "--load", fixtures + "/missing.hex"},
        {"--baud", "9600"},
        {"--extra-byte-delay-ms", "30"},
    };
    for (const auto& args : starts) {
        SimProcess sim(args);
        ASSERT_TRUE(sim.started());
        EXPECT_EQ(sim.exit_status(), 2) << args[1];
        EXPECT_NE(sim.error_text().find("tessaly-sim: "), std::string::npos) << args[1];
    }
}

}  // namespace
}  // namespace tessaly::sim
