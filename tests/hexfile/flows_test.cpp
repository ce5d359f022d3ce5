#include <iterator>
#include <sstream>

#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "devices/fileio.h"
#include "hexfile/hexflows.h"
#include "hexfile/hexwriter.h"
#include "hextest.h"
#include "ordinary_user.h"

namespace tessaly::test {
namespace {

using Events = std::vector<std::string>;
const std::string fixtures = std::string(TESSALY_TEST_DATA) + "/hex/";
const std::vector<std::string> filters = {"Intel HEX files (*.hex)", "All files (*)"};

// Records what the flows ask of the window, in order.
class FakeHost : public FileFlowHost {
public:
    std::string chosen;  // what the file dialog returns
    int answer = answer_yes;
    FileRequest request;
    Events events;

    std::string choose_file(const FileRequest& r) override {
        request = r;
        events.push_back("choose");
        return chosen;
    }
    int show_msgbox(const std::string& text, int kind) override {
        events.push_back("box " + std::to_string(kind) + " " + text);
        return answer;
    }
    void set_label_hex(const std::string& text) override { events.push_back("label_hex " + text); }
    void set_label_status(const std::string& text) override { events.push_back("status " + text); }
    void disable() override { events.push_back("disable"); }
    void enable() override { events.push_back("enable"); }
    void updatedisplay() override { events.push_back("updatedisplay"); }
};

struct World {
    TempFolder files;
    TempFolder settings_dir;
    SelectedDevice dev = test_device(2048, 128, false);
    ChipImage image = blank_image(dev);
    std::string lastpath = "/start/";
    std::int32_t wordsloaded = -5;
    SettingsStore settings{settings_dir.path()};
    FakeHost host;
    FileFlowContext ctx{dev, image, lastpath, wordsloaded, settings, host};

    std::string stored_lastpath() const { return settings.reg_getstring(set_lastpath, "(none)"); }
    bool settings_written() const { return std::filesystem::exists(settings.file_path()); }
};

void expect_request(const FileRequest& r, FileDialogKind kind, const std::string& title) {
    EXPECT_EQ(r.kind, kind);
    EXPECT_EQ(r.title, title);
    EXPECT_EQ(r.initdir, "/start/");
    EXPECT_EQ(r.filters, filters);
}

ChipImage program_hex_image(const SelectedDevice& dev) {
    ChipImage want = blank_image(dev);
    want.flashbuf[0] = 0x3055;
    want.flashbuf[1] = 0x0080;
    want.flashbuf[2] = 0x2810;
    want.flashbuf[3] = 0x0000;
    want.flashbuf[0x100] = 0x34AA;
    want.flashbuf[0x101] = 0x3455;
    want.flashbuf[0x5FF] = 0x0063;
    want.conf[0] = 0x3F18;
    want.eeprombuf[0] = 1;
    want.eeprombuf[1] = 2;
    want.eeprombuf[2] = 3;
    return want;
}

TEST(OpenFlow, GoodFileLoadsOverABlankImage) {
    World w;
    std::fill(w.image.flashbuf.begin(), w.image.flashbuf.end(), 0);  // nothing of this may survive
    w.host.chosen = fixtures + "program.hex";
    menuopen_Click(w.ctx);
    expect_request(w.host.request, FileDialogKind::open, "Select HEX File To Open");
    EXPECT_EQ(w.host.events, (Events{"choose", "disable", "updatedisplay", "label_hex " + shorten_path(w.host.chosen),
                                     "status Operation completed. Total 1536 (1.5K) program words loaded.",
                                     "enable"}));
    expect_same_image(w.image, program_hex_image(w.dev));
    EXPECT_EQ(w.wordsloaded, 1536);
    EXPECT_EQ(w.lastpath, fixtures);
    EXPECT_EQ(w.stored_lastpath(), fixtures);
}

TEST(OpenFlow, EachLoadReplacesTheWholeImage) {
    World w;
    w.host.chosen = fixtures + "program.hex";
    menuopen_Click(w.ctx);
    w.host.chosen = fixtures + "config_eeprom_only.hex";
    w.host.events.clear();
    menuopen_Click(w.ctx);
    ChipImage want = blank_image(w.dev);
    want.conf[0] = 0x3F00;
    want.eeprombuf[0] = 0xAB;
    expect_same_image(w.image, want);
    EXPECT_EQ(w.host.events.at(4), "status Operation completed. Total 0 (0K) program words loaded.");
}

// The FLASH records alone load, after a box that says why the rest did not:
// the file cut after them (no configuration, EEPROM or end record), or an end
// record put after them.
TEST(OpenFlow, OnlyTheFlashRecordsLoadAfterABoxThatSaysWhy) {
    const struct {
        const char* name;
        const char* after;  // what follows the FLASH records; nullptr: the rest of the file
        const char* box;
    } cases[] = {
        {"cut short", "",
         "The file has no end-of-file record (:00000001FF): it may be incomplete.\r\n"
         "Its last record is on line 4: :020BFE00630092"},
        {"an end record in the middle", nullptr,
         "The file's end-of-file record is on line 6; the lines after it were not loaded."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        World w;
        const std::string whole = read_text(fixtures + "program.hex");
        std::size_t cut = 0;
        for (int line = 0; line < 4; ++line) cut = whole.find('\n', cut) + 1;
        w.host.chosen = w.files.file("part.hex");
        write_text(w.host.chosen, whole.substr(0, cut) +
                                      (c.after ? std::string(c.after) : "\r\n:00000001FF\r\n" + whole.substr(cut)));
        menuopen_Click(w.ctx);
        EXPECT_EQ(w.host.events,
                  (Events{"choose", "disable", std::string("box 64 ") + c.box, "updatedisplay",
                          "label_hex " + shorten_path(w.host.chosen),
                          "status Operation completed. Total 1536 (1.5K) program words loaded.", "enable"}));
        ChipImage want = blank_image(w.dev);
        want.flashbuf = program_hex_image(w.dev).flashbuf;
        expect_same_image(w.image, want);
    }
}

// Where a file to open is made in the test's folder; its path.
using MakeFile = std::string (*)(const TempFolder& files);

std::string bad_tenth_line(const TempFolder&) { return fixtures + "fails_line10.hex"; }
std::string missing_file(const TempFolder& files) { return files.file("missing.hex"); }
std::string oversized_file(const TempFolder& files) {
    const std::string path = files.file("huge.hex");
    write_text(path, ":00000001FF\r\n");
    std::filesystem::resize_file(path, max_read_size + 1);  // sparse: nothing is written
    return path;
}
std::string named_pipe(const TempFolder& files) {
    const std::string path = files.file("pipe.hex");
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
    return path;
}
std::string folder(const TempFolder& files) { return files.path(); }
std::string device(const TempFolder&) { return "/dev/null"; }

TEST(OpenFlow, FileThatFailsEndsBlankAndNotLoaded) {
    const std::string cannot_read = "box 16 The HEX file could not be read.\r\n";
    const struct {
        const char* name;
        MakeFile make;
        std::string box;  // the box text after the file's path; "" for a bad record
    } cases[] = {
        {"bad tenth line", bad_tenth_line, ""},
        {"no such file", missing_file, "No such file or directory."},
        {"too large", oversized_file, "It is larger than 64 MiB (67108864 bytes), the most that is read."},
        {"a named pipe", named_pipe, "It is not a regular file."},
        {"a folder", folder, "It is not a regular file."},
        {"a device", device, "It is not a regular file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        World w;
        w.host.chosen = c.make(w.files);
        menuopen_Click(w.ctx);
        ASSERT_EQ(w.host.events.size(), 7u);
        EXPECT_EQ(w.host.events[1], "disable");
        if (c.box.empty()) {
            EXPECT_EQ(w.host.events[2].rfind("box 16 Input program file in Intel Hex Format contains errors."
                                              "\r\nLine number 10: Invalid 'checksum'", 0), 0u)
                << w.host.events[2];
        } else {
            EXPECT_EQ(w.host.events[2], cannot_read + w.host.chosen + "\r\n" + c.box);
        }
        EXPECT_EQ(Events(w.host.events.begin() + 3, w.host.events.end()),
                  (Events{"updatedisplay", "label_hex ", "status HEX file not loaded!", "enable"}));
        expect_same_image(w.image, blank_image(w.dev));  // the nine good lines are gone too
        EXPECT_EQ(w.lastpath, w.host.chosen.substr(0, w.host.chosen.rfind('/') + 1));
    }
}

TEST(OpenFlow, CancelChangesNothing) {
    World w;
    w.image.flashbuf[5] = 0x1234;
    menuopen_Click(w.ctx);
    EXPECT_EQ(w.host.events, Events{"choose"});
    EXPECT_EQ(w.image.flashbuf[5], 0x1234);
    EXPECT_EQ(w.lastpath, "/start/");
    EXPECT_FALSE(w.settings_written());
}

std::string file_text(const World& w) {
    std::string text;
    for (const auto& line : hexfile_lines(w.dev, w.image)) text += line + "\r\n";
    return text;
}

TEST(SaveFlow, NewFileIsWrittenAndReported) {
    World w;
    w.image.flashbuf[0] = 0x2805;
    w.host.chosen = w.files.file("new.hex");
    menusave_Click(w.ctx);
    expect_request(w.host.request, FileDialogKind::save, "Save Buffer As");
    EXPECT_EQ(w.host.events, (Events{"choose", "disable", "label_hex " + shorten_path(w.host.chosen), "enable",
                                     "status HEX file saved."}));
    EXPECT_EQ(read_text(w.host.chosen), file_text(w));
    EXPECT_EQ(w.lastpath, w.files.path() + "/");
    EXPECT_EQ(w.stored_lastpath(), w.files.path() + "/");
}

TEST(SaveFlow, CancelChangesNothing) {
    World w;
    menusave_Click(w.ctx);
    EXPECT_EQ(w.host.events, Events{"choose"});
    EXPECT_EQ(w.lastpath, "/start/");
    EXPECT_FALSE(w.settings_written());
}

// The patterns of a filter as the file dialogs read them: the blank-separated
// words inside its last parentheses.
std::vector<std::string> filter_patterns(const std::string& filter) {
    const std::size_t open = filter.rfind('(');
    const std::size_t close = filter.rfind(')');
    std::istringstream words(filter.substr(open + 1, close - open - 1));
    return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
}

bool shown(const std::string& filter, const std::string& name) {
    for (const std::string& p : filter_patterns(filter))
        if (::fnmatch(p.c_str(), name.c_str(), 0) == 0) return true;
    return false;
}

TEST(FileDialogs, SecondFilterShowsEveryFile) {
    for (const auto kind : {FileDialogKind::open, FileDialogKind::save}) {
        World w;
        if (kind == FileDialogKind::open) menuopen_Click(w.ctx); else menusave_Click(w.ctx);
        ASSERT_EQ(w.host.request.filters.size(), 2u);
        const std::string& hex = w.host.request.filters[0];
        const std::string& all = w.host.request.filters[1];
        for (const char* name : {"blink.hex", "blink", "BLINK.HEX.bak", "a.b.c", "Makefile"}) {
            SCOPED_TRACE(name);
            EXPECT_TRUE(shown(all, name));
        }
        EXPECT_TRUE(shown(hex, "blink.hex"));
        EXPECT_FALSE(shown(hex, "blink"));
    }
}

TEST(SaveFlow, ExistingFileIsReplacedOnlyOnYes) {
    const struct {
        const char* name;
        int answer;
        bool replaced;
    } cases[] = {{"No keeps the file", answer_no, false}, {"Yes replaces it", answer_yes, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        World w;
        w.host.chosen = w.files.file("old.hex");
        write_text(w.host.chosen, "old contents");
        w.host.answer = c.answer;
        menusave_Click(w.ctx);
        Events want{"choose", "box 4 Do you want to overwrite file " + w.host.chosen + "?"};
        if (c.replaced)
            want.insert(want.end(), {"disable", "label_hex " + shorten_path(w.host.chosen), "enable",
                                     "status HEX file saved."});
        EXPECT_EQ(w.host.events, want);
        EXPECT_EQ(read_text(w.host.chosen), c.replaced ? file_text(w) : "old contents");
        EXPECT_EQ(w.stored_lastpath(), w.files.path() + "/");  // kept even after No
    }
}

// Saves over the chosen file, which holds "old contents", with the write
// refused: the error box, the interface unlocked, the old file as it was.
void expect_refused_save(World& w, bool size_limited) {
    {
        FileSizeLimit limit(size_limited ? 16 : RLIM_INFINITY);
        menusave_Click(w.ctx);
    }
    ASSERT_EQ(w.host.events.size(), 6u);
    EXPECT_EQ(w.host.events[2], "disable");
    EXPECT_EQ(w.host.events[3].rfind("box 16 The HEX file could not be saved.", 0), 0u) << w.host.events[3];
    EXPECT_NE(w.host.events[3].find(w.host.chosen), std::string::npos);
    EXPECT_EQ(w.host.events[4], "enable");
    EXPECT_EQ(w.host.events[5], "status HEX file not saved!");
    EXPECT_EQ(read_text(w.host.chosen), "old contents");
    EXPECT_EQ(w.files.names(), std::vector<std::string>{"old.hex"});
}

TEST(SaveFlow, FailedWriteKeepsTheOldFileAndReportsNoSave) {
    enum Fault { read_only_folder, file_size_limit, write_protected_file };
    const struct { Fault fault; const char* name; } cases[] = {
        {read_only_folder, "read-only folder"},
        {file_size_limit, "file size limit"},
        {write_protected_file, "write-protected file (0444) in a writable folder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Fault fault = c.fault;
        World w;
        w.host.chosen = w.files.file("old.hex");
        write_text(w.host.chosen, "old contents");
        if (fault == write_protected_file) {
            std::filesystem::permissions(w.host.chosen, std::filesystem::perms::owner_read |
                                                            std::filesystem::perms::group_read |
                                                            std::filesystem::perms::others_read);
        }
        if (fault != read_only_folder) {
            expect_refused_save(w, fault == file_size_limit);
            continue;
        }
        // Root writes into any folder: as root the save is made by the ordinary
        // user, who owns the folder, the old file and the settings, so only the
        // folder's permission bits refuse it.
        ASSERT_TRUE(hand_to_ordinary_user(w.files.path()));
        ASSERT_TRUE(hand_to_ordinary_user(w.settings_dir.path()));
        std::filesystem::permissions(w.files.path(), std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_exec);
        const auto checks = [&] {
            if (::access(w.files.path().c_str(), W_OK) == 0) GTEST_SKIP() << "this user may write anywhere";
            ASSERT_EQ(::access(w.host.chosen.c_str(), W_OK), 0) << "only the folder may refuse";
            expect_refused_save(w, false);
        };
        EXPECT_TRUE(as_ordinary_user(checks));
    }
}

// The status line must not go on saying "saved" of a save that failed.
TEST(SaveFlow, FailedSaveAfterASavedOneSaysNotSaved) {
    World w;
    w.host.chosen = w.files.file("out.hex");
    menusave_Click(w.ctx);
    ASSERT_EQ(w.host.events.back(), "status HEX file saved.");
    w.image.flashbuf[0] = 0x2805;  // the file grows past the limit below
    const std::string saved = read_text(w.host.chosen);
    w.host.events.clear();
    {
        FileSizeLimit limit(saved.size());
        menusave_Click(w.ctx);
    }
    EXPECT_EQ(w.host.events.back(), "status HEX file not saved!");
    EXPECT_EQ(read_text(w.host.chosen), saved);
}

TEST(ShortenPath, KeepsTheLastSeventyCharacters) {
    const std::string a70(70, 'a');
    const std::string e = "\xC3\xA9";  // one character, two bytes
    std::string e70;
    for (int i = 0; i < 70; ++i) e70 += e;
    const struct {
        std::string path, shown;
    } cases[] = {
        {a70, a70},
        {"b" + a70, "... " + a70},
        {"xyz" + a70, "... " + a70},
        {e70, e70},
        {e + e70, "... " + e70},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(shorten_path(c.path), c.shown) << c.path;
}

TEST(WordsLoadedStatus, KiloWordsTextHasFourCharactersAtMost) {
    const struct {
        std::int32_t words;
        const char* text;
    } cases[] = {{0, "0"},       {512, ".5"},   {1000, ".976"}, {1024, "1"},   {1536, "1.5"},
                 {2000, "1.95"}, {8192, "8"},   {12000, "11.7"}, {1, ".000"}, {10240000, "1000"}};
    for (const auto& c : cases) EXPECT_EQ(kilowords_text(c.words), c.text) << c.words;
    EXPECT_EQ(words_loaded_status(1000), "Operation completed. Total 1000 (.976K) program words loaded.");
}

}  // namespace
}  // namespace tessaly::test
