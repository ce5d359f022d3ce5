// Fault drills through the real main window: a save that the folder or the
// file system refuses, a HEX path that is no regular file, damaged settings
// and a device list with malformed lines. Each ends with a clear message, the
// interface unlocked and nothing of the user's lost.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "appfixture.h"
#include "devices/fileio.h"
#include "dialogs/form08.h"
#include "ordinary_user.h"
#include "qt_app.h"
#include "tempfolder.h"
#include "view/bufferview.h"

using namespace tessaly;
namespace fs = std::filesystem;

namespace {

// Answers every message box that opens with its first button (OK or Yes) and
// keeps what each said.
class BoxWatch {
public:
    BoxWatch() {
        poll_.setInterval(5);
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<Form08*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box->property("answered").toBool()) return;
            box->setProperty("answered", true);
            texts.push_back(box->dlg.dlgtext);
            kinds.push_back(box->dlg.dlgkind);
            if (on_box) on_box();
            box->Command1->click();
        });
        poll_.start();
    }
    std::vector<std::string> texts;
    std::vector<int> kinds;
    std::function<void()> on_box;  // called while each box stands

private:
    QTimer poll_;
};

using Folder = test::TempFolder;

// A small tmpfs on a folder of its own; unmounted when the drill ends, however
// it ends. Needs root; mounted() tells whether it worked.
struct Tmpfs {
    explicit Tmpfs(const char* options) {
        ok = ::mount("tessaly-drill", folder.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options) == 0;
        if (!ok) why = std::strerror(errno);
    }
    ~Tmpfs() {
        if (ok) ::umount2(folder.path().c_str(), MNT_DETACH);
    }
    bool read_only() {
        return ::mount(nullptr, folder.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
                       nullptr) == 0;
    }
    Folder folder;
    bool ok = false;
    std::string why;
};

std::string read_all(const std::string& path) {
    std::string bytes;
    EXPECT_TRUE(read_file(path, bytes)) << path;
    return bytes;
}

void write_all(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Fills the file system of folder until it has no room left.
void fill(const std::string& folder) {
    const int fd = ::open((folder + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'x');
    while (::write(fd, block.data(), block.size()) > 0) {
    }
    while (::write(fd, block.data(), 1) > 0) {
    }
    ::close(fd);
}

QAction* file_item(Form1& w, int n) { return w.menu1->actions().at(n); }
void save(Form1& w) { file_item(w, 2)->trigger(); }
void open(Form1& w) { file_item(w, 1)->trigger(); }

// What a path is, to see that a drill left it as it was.
mode_t kind_of(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

// A folder holding a pipe, a folder and (for root) a device like /dev/zero.
struct SpecialFiles {
    SpecialFiles() {
        EXPECT_EQ(::mkfifo(fifo().c_str(), 0644), 0);
        EXPECT_TRUE(fs::create_directory(sub()));
        if (::geteuid() == 0) {
            EXPECT_EQ(::mknod(zero().c_str(), S_IFCHR | 0666, makedev(1, 5)), 0);
        }
    }
    std::string fifo() const { return folder.file("pipe.hex"); }
    std::string sub() const { return folder.file("folder.hex"); }
    std::string zero() const { return folder.file("zero"); }
    Folder folder;
};

// The window holds a programmed image, so that a lost save would show.
void program_image(Form1& w) {
    for (std::size_t i = 0; i < w.chipimage().flashbuf.size(); ++i)
        w.chipimage().flashbuf[i] = static_cast<std::int32_t>(i & 0x3FFF);
    w.chipimage().eeprombuf[3] = 0x42;
    w.updatedisplay();
}

const std::string old_hex = ":02400E00FF3F72\r\n:00000001FF\r\n";

// Saves onto old.hex in folder, which already holds it, and checks the drill's
// outcome: the question, then an error box naming the file; the interface
// unlocked; the old file byte for byte; no stray file; the buffers kept.
void expect_refused_save(test::Started& win, const Folder& folder, const char* reason) {
    Form1& w = *win.window;
    const std::string target = folder.file("old.hex");
    const std::vector<std::string> before = folder.names();
    const ChipImage image = w.chipimage();
    w.file_chooser = [&](const FileRequest&) { return target; };
    BoxWatch boxes;
    save(w);
    ASSERT_EQ(boxes.texts.size(), 2u);
    EXPECT_EQ(boxes.texts[0], "Do you want to overwrite file " + target + "?");
    EXPECT_EQ(boxes.kinds[1], box_error);
    EXPECT_NE(boxes.texts[1].find("could not be saved"), std::string::npos) << boxes.texts[1];
    EXPECT_NE(boxes.texts[1].find(target), std::string::npos) << boxes.texts[1];
    EXPECT_NE(boxes.texts[1].find(reason), std::string::npos) << boxes.texts[1];
    EXPECT_TRUE(win.unlocked());
    EXPECT_NE(w.label_status->text().toStdString(), "HEX file saved.");
    EXPECT_TRUE(w.label_hex->text().isEmpty());
    EXPECT_EQ(read_all(target), old_hex);
    EXPECT_EQ(folder.names(), before);
    EXPECT_EQ(w.chipimage().flashbuf, image.flashbuf);
    EXPECT_EQ(w.chipimage().eeprombuf, image.eeprombuf);
}

std::ptrdiff_t threads_of_this_process() {
    return std::distance(fs::directory_iterator("/proc/self/task"), fs::directory_iterator());
}

// The window's checks as the ordinary user (as_ordinary_user). Qt paints large
// areas on the threads of its global pool, and a forked child has none of the
// threads the pool holds idle: it would wait for them for ever. So the pool
// lets its threads go first (in the child it starts threads of its own), and
// the fork waits until they have ended, not only finished for Qt: one still
// ending may hold a lock (glib's allocator) that the child would find taken.
// Only root forks: anyone else runs the checks in the test itself.
::testing::AssertionResult window_as_ordinary_user(const std::function<void()>& checks) {
    if (::geteuid() != 0) return test::as_ordinary_user(checks);
    QThreadPool::globalInstance()->waitForDone();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (threads_of_this_process() > 1) {
        if (std::chrono::steady_clock::now() > deadline)
            return ::testing::AssertionFailure() << threads_of_this_process() << " threads still run: no fork";
        QThread::msleep(1);
    }
    return test::as_ordinary_user(checks);
}

}  // namespace

// Root writes into any folder: as root the save is made by the ordinary user,
// who owns the folder, the old file and the window's settings, so only the
// folder's permission bits refuse it.
TEST(Drill, SaveIntoAnUnwritableFolder) {
    test::Started win("drill_rofolder");
    program_image(win.start());
    Folder folder;
    write_all(folder.file("old.hex"), old_hex);
    ASSERT_TRUE(test::hand_to_ordinary_user(folder.path()));
    ASSERT_TRUE(test::hand_to_ordinary_user(win.folder.path()));
    fs::permissions(folder.path(), fs::perms::owner_read | fs::perms::owner_exec);
    const auto checks = [&] {
        if (::access(folder.path().c_str(), W_OK) == 0) GTEST_SKIP() << "this user may write anywhere";
        ASSERT_EQ(::access(folder.file("old.hex").c_str(), W_OK), 0) << "only the folder may refuse";
        expect_refused_save(win, folder, "Permission denied");
    };
    EXPECT_TRUE(window_as_ordinary_user(checks));
}

TEST(Drill, SaveIntoAReadOnlyFileSystem) {
    if (::geteuid() != 0) GTEST_SKIP() << "a file system of its own needs root";
    test::Started win("drill_rofs");
    program_image(win.start());
    Tmpfs fs("size=64k");
    if (!fs.ok) GTEST_SKIP() << "no tmpfs: " << fs.why;
    write_all(fs.folder.file("old.hex"), old_hex);
    ASSERT_TRUE(fs.read_only());
    expect_refused_save(win, fs.folder, "Read-only file system");
}

TEST(Drill, SaveOntoAFullFileSystem) {
    if (::geteuid() != 0) GTEST_SKIP() << "a small file system of its own needs root";
    test::Started win("drill_full");
    program_image(win.start());
    Tmpfs fs("size=64k");
    if (!fs.ok) GTEST_SKIP() << "no tmpfs: " << fs.why;
    write_all(fs.folder.file("old.hex"), old_hex);
    fill(fs.folder.path());
    expect_refused_save(win, fs.folder, "No space left on device");
}

TEST(Drill, OpenAHexPathThatIsNoRegularFile) {
    SpecialFiles files;
    for (const std::string& path : {files.fifo(), files.sub(), std::string("/dev/zero")}) {
        SCOPED_TRACE(path);
        test::Started win("drill_open");
        Form1& w = win.start();
        w.file_chooser = [&](const FileRequest&) { return path; };
        const mode_t kind = kind_of(path);
        BoxWatch boxes;
        open(w);
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.kinds[0], box_error);
        EXPECT_NE(boxes.texts[0].find(path), std::string::npos) << boxes.texts[0];
        EXPECT_EQ(w.label_status->text().toStdString(), "HEX file not loaded!");
        EXPECT_TRUE(w.label_hex->text().isEmpty());
        EXPECT_TRUE(win.unlocked());
        EXPECT_EQ(kind_of(path), kind);
    }
}

TEST(Drill, SaveOntoAHexPathThatIsNoRegularFile) {
    SpecialFiles files;
    std::vector<std::string> paths = {files.fifo(), files.sub()};
    // A device node of its own, never the system's: a fault here must not
    // replace /dev/zero.
    if (::geteuid() == 0) paths.push_back(files.zero());
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        test::Started win("drill_save");
        Form1& w = win.start();
        program_image(w);
        const ChipImage image = w.chipimage();
        const std::vector<std::string> before = files.folder.names();
        const mode_t kind = kind_of(path);
        w.file_chooser = [&](const FileRequest&) { return path; };
        BoxWatch boxes;
        save(w);
        ASSERT_EQ(boxes.texts.size(), 1u);  // no question: there is no file to overwrite
        EXPECT_EQ(boxes.kinds[0], box_error);
        EXPECT_NE(boxes.texts[0].find("could not be saved"), std::string::npos) << boxes.texts[0];
        EXPECT_NE(boxes.texts[0].find(path), std::string::npos) << boxes.texts[0];
        EXPECT_NE(boxes.texts[0].find("not a regular file"), std::string::npos) << boxes.texts[0];
        EXPECT_TRUE(win.unlocked());
        EXPECT_TRUE(w.label_hex->text().isEmpty());
        EXPECT_EQ(kind_of(path), kind);
        EXPECT_EQ(files.folder.names(), before);
        EXPECT_EQ(w.chipimage().flashbuf, image.flashbuf);
    }
}

// Two damaged files in turn, each in a run of its own: each is kept under a
// name of its own and its box names that file.
TEST(Drill, DamagedSettingsFileIsKeptAsideAndTold) {
    const std::string good = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tessaly]\r\n"
                             "\"Color Theme\"=\"Amethyst\"\r\n\"Microcontroller Model\"=\"2\"\r\n";
    const struct { const char* name; std::string bytes; const char* kept; } cases[] = {
        {"corrupt", std::string("\x00\xff\xfeREGEDIT4\x01[garbage\n\"=\"\"\"", 20), ".bad"},
        {"truncated", good.substr(0, good.find("=\"2") + 2), ".bad.1"},
    };
    test::Started win("drill_settings");
    const std::string file = SettingsStore(win.folder.path()).file_path();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write_all(file, c.bytes);
        BoxWatch boxes;
        win.window.reset();
        Form1& w = win.start();
        ASSERT_EQ(boxes.texts.size(), 1u);
        EXPECT_EQ(boxes.kinds[0], box_error);
        EXPECT_NE(boxes.texts[0].find(file + "\r\n"), std::string::npos) << boxes.texts[0];
        EXPECT_NE(boxes.texts[0].find("kept as " + file + c.kept + " and"), std::string::npos) << boxes.texts[0];
        EXPECT_EQ(read_all(file + c.kept), c.bytes);  // nothing of it lost
        EXPECT_EQ(w.curdevice().devindex, 1);          // the defaults rule
        EXPECT_EQ(SettingsStore(win.folder.path()).reg_getstring(set_theme, "x"), "Original Lite");
        EXPECT_EQ(w.label_status->text().toStdString(), "Serial port COM2 error!");
        EXPECT_TRUE(win.unlocked());
        QApplication::processEvents();
        EXPECT_EQ(boxes.texts.size(), 1u);  // told once
    }
    EXPECT_EQ(read_all(file + cases[0].kept), cases[0].bytes);  // the first kept file stays
}

// A settings file that cannot be written (write-protected, which stops root
// too): the defaults written at start-up fail inside Form_Load, and one box
// says so once the window stands; a later failed write stays quiet.
TEST(Drill, SettingsThatCannotBeStoredAreToldOnce) {
    test::Started win("drill_settings_locked");
    const std::string file = win.settings().file_path();
    const std::string stored = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Tessaly]\r\n"
                               "\"Color Theme\"=\"Amethyst\"\r\n";
    write_all(file, stored);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    Folder folder;
    write_all(folder.file("old.hex"), old_hex);
    BoxWatch boxes;
    std::string status_at_box;
    boxes.on_box = [&] { status_at_box = win.window->label_status->text().toStdString(); };
    Form1& w = win.start();
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(boxes.kinds[0], box_error);
    EXPECT_EQ(boxes.texts[0], "The settings could not be stored:\r\n" + file +
                                  ": Permission denied\r\nChanges to the settings hold until Tessaly "
                                  "ends, but are not kept after it.");
    EXPECT_EQ(status_at_box, "Serial port COM2 error!");  // start-up had ended
    w.file_chooser = [&](const FileRequest&) { return folder.file("old.hex"); };
    open(w);  // stores the folder as the last path
    QApplication::processEvents();
    EXPECT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(w.label_hex->text().toStdString(), folder.file("old.hex"));
    EXPECT_TRUE(win.unlocked());
    // A baud rate changed holds for the run: the port reopens at it and the
    // next look shows it.
    w.ports().menubaud_Click([](const std::string&, const std::string&) { return "9600"; },
                             [](const std::string&, int) { return answer_ok; });
    EXPECT_EQ(w.ports().portstate.baudrate, "9600");
    EXPECT_EQ(w.MSComm1().Settings(), "9600,n,8,1");
    std::string shown;
    w.ports().menubaud_Click([&](const std::string&, const std::string& d) { shown = d; return ""; },
                             [](const std::string&, int) { return answer_ok; });
    EXPECT_EQ(shown, "9600");
    QApplication::processEvents();
    EXPECT_EQ(boxes.texts.size(), 1u);
    EXPECT_EQ(read_all(file), stored);
}

TEST(Drill, DeviceListWithMalformedLines) {
    Folder folder;
    const std::string list = folder.file("quarndevices.txt");
    std::string text = "; malformed lines among the models\r\n"
                       "\x01\x02\xff\xfe binary: \x7f\r\n"
                       "model:\r\nmodel: \r\nflash:\r\n"
                       "erasealgdef 99: begin,end\r\nerasealgdef -1: begin,end\r\nerasealgdef x\r\n"
                       "model: HUGE\r\nflash: 99999999999999999999\r\neeprom: -64\r\nconfigerased: ZZZZ,\r\n"
                       "erasealg: 77\r\nprogramalg: abc\r\n"
                       "model: GOOD\r\nflash: 1024\r\neeprom: 128\r\nconfigerased: 3FFF\r\n"
                       "config2used: maybe\r\nvoltageseq: sideways\r\nprogtime: 1e400\r\npagesize: -3\r\n";
    text += "model: " + std::string(100000, 'L') + "\r\n";
    text += std::string("flash: 64\r\neeprom: 64\r\n\x00\x00\r\n", 28);
    write_all(list, text);
    test::Started win("drill_devices", list);
    EXPECT_GE(win.list.devcount, 4);
    BoxWatch boxes;
    Form1& w = win.start();
    // The models that cannot be used are told, and the first one that can is chosen.
    ASSERT_GE(boxes.texts.size(), 1u);
    for (int kind : boxes.kinds) EXPECT_EQ(kind, box_error);
    EXPECT_FALSE(w.ended());
    EXPECT_GT(w.curdevice().flashsize, 0);
    EXPECT_EQ(w.chipimage().flashbuf.size(), static_cast<std::size_t>(w.curdevice().flashsize));
    EXPECT_EQ(w.view().label_ime->text().toStdString(), w.curdevice().modelname);
    EXPECT_TRUE(win.unlocked());
    EXPECT_EQ(w.label_status->text().toStdString(), "Serial port COM2 error!");
}
