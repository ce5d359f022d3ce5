#include "devices/settings.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "devices/fileio.h"
#include "ordinary_user.h"
#include "tempfolder.h"

#include <unistd.h>

using namespace tessaly;
namespace fs = std::filesystem;

namespace {

class Settings : public ::testing::Test {
protected:
    std::string file_text() const {
        std::string text;
        read_file((dir / settings_filename).string(), text);
        return text;
    }
    void write_text(const std::string& text) const {
        fs::create_directories(dir);
        ASSERT_TRUE(replace_file((dir / settings_filename).string(), text));
    }
    std::string values(const std::string& lines) const {
        return "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tessaly]\n" + lines;
    }

    test::TempFolder root;
    fs::path dir = fs::path(root.path()) / "settings";  // missing until written
};

}  // namespace

TEST_F(Settings, FirstReadWritesTheDefault) {
    SettingsStore store(dir.string());
    EXPECT_EQ(store.reg_getstring(set_theme, "Original Lite"), "Original Lite");
    EXPECT_EQ(file_text(), values("\"Color Theme\"=\"Original Lite\"\n"));
    EXPECT_EQ(store.reg_getstring(set_theme, "other"), "Original Lite");
    EXPECT_EQ(store.reg_getlong(set_mousewheel, 1), 1);
    EXPECT_EQ(store.reg_getlong(set_portnumber, 3), 3);
    EXPECT_EQ(file_text(), values("\"Color Theme\"=\"Original Lite\"\n"
                                  "\"Mouse Wheel Enabled\"=dword:00000001\n"
                                  "\"Serial Port Number\"=dword:00000003\n"));
}

TEST_F(Settings, StoredValuesReadBackWithoutWriting) {
    SettingsStore store(dir.string());
    store.reg_setlong(set_mousewheel, 0);
    store.reg_setstring(set_model, "");
    store.reg_setlong(set_portnumber, -2);
    const std::string before = file_text();
    EXPECT_EQ(store.reg_getlong(set_mousewheel, 1), 0);
    EXPECT_EQ(store.reg_getstring(set_model, "1"), "");  // the empty text is a value
    EXPECT_EQ(store.reg_getlong(set_portnumber, 2), -2);
    EXPECT_EQ(file_text(), before);
    store.reg_setlong(set_mousewheel, 5);  // a write replaces in place
    EXPECT_EQ(store.reg_getlong(set_mousewheel, 1), 5);
}

TEST_F(Settings, TextsRoundTripWithEscapesAndLineBreaks) {
    SettingsStore store(dir.string());
    const std::string texts[] = {"/home/ann/hex/", "C:\\quoted \"x\"\\", "two\nlines", "ü ß"};
    for (const auto& t : texts) {
        store.reg_setstring(set_lastpath, t);
        EXPECT_EQ(store.reg_getstring(set_lastpath, "default"), t);
    }
    store.reg_setstring(set_lastpath, "a\"b\\c");
    EXPECT_NE(file_text().find("\"Last Path\"=\"a\\\"b\\\\c\""), std::string::npos);
}

TEST_F(Settings, LongTextsReadAsMissing) {
    SettingsStore store(dir.string());
    const std::string longest(254, 'x');
    store.reg_setstring(set_lastpath, longest);
    EXPECT_EQ(store.reg_getstring(set_lastpath, "/app/"), longest);
    store.reg_setstring(set_lastpath, std::string(255, 'x'));
    EXPECT_EQ(store.reg_getstring(set_lastpath, "/app/"), "/app/");
    store.reg_setstring(set_lastpath, std::string(300, 'y'));
    EXPECT_EQ(store.reg_getstring(set_lastpath, "/app/"), "/app/");
    EXPECT_EQ(store.reg_getstring(set_lastpath, "other"), "/app/");  // the default replaced it
}

TEST_F(Settings, ValuesOfAnotherTypeAreTakenAsTheirBytes) {
    write_text(values("\"Serial Port Number\"=\"3\"\n"
                      "\"Mouse Wheel Enabled\"=hex:01,02\n"
                      "\"Color Theme\"=dword:00000041\n"
                      "\"Last Path\"=hex:\n"
                      "\"Microcontroller Model\"=hex:01,02,03,04,05\n"));
    SettingsStore store(dir.string());
    EXPECT_EQ(store.reg_getlong(set_portnumber, 2), 51);        // "3" and its NUL
    EXPECT_EQ(store.reg_getlong(set_mousewheel, 1), 0x0201);
    EXPECT_EQ(store.reg_getstring(set_theme, "x"), std::string("A\0\0", 3));
    EXPECT_EQ(store.reg_getstring(set_lastpath, "/app/"), "");  // zero bytes read as ""
    EXPECT_EQ(store.reg_getlong(set_model, 7), 7);              // five bytes: missing
    EXPECT_EQ(store.reg_getlong(set_model, 8), 7);
}

TEST_F(Settings, HandWrittenFileForms) {
    write_text("REGEDIT4\r\n\r\n; kept by hand\r\n[HKEY_CURRENT_USER\\Software\\Tessaly]\r\n"
               "\"Serial Port Number\"=dword:7\r\n"
               "\"Mouse Wheel Enabled\"=hex:00,\\\r\n  00\r\n"
               "\"Last Path\"=-\r\n");
    SettingsStore store(dir.string());
    EXPECT_EQ(store.reg_getlong(set_portnumber, 2), 7);
    EXPECT_EQ(store.reg_getlong(set_mousewheel, 1), 0);
    EXPECT_EQ(store.reg_getstring(set_lastpath, "/app/"), "/app/");
    EXPECT_FALSE(fs::exists(dir / "settings.reg.bad"));
}

TEST_F(Settings, UnparsableFileIsSetAsideNotDestroyed) {
    const char* broken[] = {
        "not a registry file\n",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=\"y\"\n",
        "REGEDIT4\n\"Last Path\"=\"before any key\"\n",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tessaly]\n\"Last Path\"=\"unterminated\n",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tessaly]\n\"n\"=dword:123456789\n",
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Tessaly]\n\"n\"=hex:1,2\n",
    };
    for (const char* text : broken) {
        SCOPED_TRACE(text);
        fs::remove_all(dir);
        write_text(text);
        SettingsStore store(dir.string());
        EXPECT_EQ(store.reg_getstring(set_lastpath, "/app/"), "/app/");
        std::string aside;
        ASSERT_TRUE(read_file((dir / "settings.reg.bad").string(), aside));
        EXPECT_EQ(aside, text);
        EXPECT_EQ(file_text(), values("\"Last Path\"=\"/app/\"\n"));
    }
}

// Each damaged file is kept under a name of its own, a name already taken
// (by the user's own file here) is passed over, and the notice names each.
TEST_F(Settings, EachDamagedFileIsKeptUnderItsOwnName) {
    SettingsStore store(dir.string());
    std::vector<std::string> told;
    store.on_set_aside([&](const std::string& bad) { told.push_back(bad); });
    fs::create_directories(dir);
    const std::string file = store.file_path();
    { std::ofstream(file + ".bad.2") << "the user's own"; }
    const std::string damaged[] = {"REGEDIT4\n[cut", "first line only\n", "REGEDIT4\n\"x\"=dword:"};
    for (const std::string& text : damaged) {
        write_text(text);
        EXPECT_EQ(store.reg_getlong(set_portnumber, 2), 2);
    }
    const std::vector<std::string> kept = {file + ".bad", file + ".bad.1", file + ".bad.3"};
    EXPECT_EQ(told, kept);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        std::string aside;
        ASSERT_TRUE(read_file(kept[i], aside)) << kept[i];
        EXPECT_EQ(aside, damaged[i]);
    }
    std::string own;
    ASSERT_TRUE(read_file(file + ".bad.2", own));
    EXPECT_EQ(own, "the user's own");
}

// With every name for keeping it taken, the damaged file stays as it is and
// nothing is written over it; the write says why it was not stored.
TEST_F(Settings, DamagedFileStaysWhenNoNameIsFree) {
    SettingsStore store(dir.string());
    std::vector<std::string> aside, why;
    store.on_set_aside([&](const std::string& bad) { aside.push_back(bad); });
    store.on_not_stored([&](const std::string& w) { why.push_back(w); });
    fs::create_directories(dir);
    const std::string file = store.file_path();
    std::ofstream(file + ".bad") << "taken";
    for (int n = 1; n < settings_bad_names; ++n) std::ofstream(file + ".bad." + std::to_string(n)) << "taken";
    write_text("REGEDIT4\n[cut");
    EXPECT_EQ(store.reg_getstring(set_theme, "Original Lite"), "Original Lite");
    store.reg_setstring(set_theme, "Dark");
    EXPECT_EQ(file_text(), "REGEDIT4\n[cut");
    EXPECT_TRUE(aside.empty());
    ASSERT_EQ(why.size(), 2u);
    EXPECT_EQ(why[0].rfind(file + ": ", 0), 0u) << why[0];
    EXPECT_NE(why[0].find("left as it is"), std::string::npos) << why[0];
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), settings_bad_names + 1);
}

TEST_F(Settings, UnwritableFolderHoldsWritesForTheRun) {
    ASSERT_TRUE(test::hand_to_ordinary_user(root.path()));
    const auto checks = [&] {
        fs::create_directories(dir);
        fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
        // A folder out of reach would refuse the writes as well, for the wrong reason.
        ASSERT_EQ(::access(dir.c_str(), R_OK | X_OK), 0) << dir << ": " << std::strerror(errno);
        if (::access(dir.c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights that ignore permissions";
        SettingsStore store(dir.string());
        int told = 0;
        store.on_not_stored([&](const std::string&) { ++told; });
        store.reg_setlong(set_portnumber, 9);
        EXPECT_EQ(store.reg_getlong(set_portnumber, 2), 9);
        EXPECT_EQ(store.reg_getstring(set_baudrate, "56000"), "56000");
        EXPECT_FALSE(fs::exists(dir / settings_filename));
        EXPECT_EQ(told, 2);
        EXPECT_EQ(SettingsStore(dir.string()).reg_getlong(set_portnumber, 2), 2);
    };
    EXPECT_TRUE(test::as_ordinary_user(checks));
}

// Places where no write can succeed, even for root: each failed write is told
// with the settings file and the reason, and the file as it was stays. The
// store goes on with what it was given, defaults included, without writing
// again; the next store (the next run) reads the file as it was.
TEST_F(Settings, WritesThatCannotBeStoredAreTold) {
    const struct { const char* name; fs::path folder; const char* reason; const char* theme; } cases[] = {
        {"folder is a file", dir / "plain", "Not a directory", "Original Lite"},
        {"folder under a file", dir / "plain" / "sub", "Not a directory", "Original Lite"},
        {"file write-protected", dir / "locked", "Permission denied", "Amethyst"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir);
        fs::create_directories(dir / "locked");
        std::ofstream(dir / "plain") << "";
        const std::string stored = values("\"Color Theme\"=\"Amethyst\"\n");
        std::ofstream(dir / "locked" / settings_filename) << stored;
        fs::permissions(dir / "locked" / settings_filename,
                        fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        SettingsStore store(c.folder.string());
        std::vector<std::string> why;
        store.on_not_stored([&](const std::string& w) { why.push_back(w); });
        store.reg_setstring(set_theme, "Dark");
        EXPECT_EQ(store.reg_getstring(set_theme, "Original Lite"), "Dark");
        EXPECT_EQ(store.reg_getlong(set_mousewheel, 1), 1);
        EXPECT_EQ(store.reg_getlong(set_mousewheel, 0), 1);
        store.reg_setlong(set_mousewheel, 0);
        EXPECT_EQ(store.reg_getlong(set_mousewheel, 1), 0);
        ASSERT_EQ(why.size(), 3u);
        EXPECT_EQ(why[0], store.file_path() + ": " + c.reason);
        std::string text;
        read_file((dir / "locked" / settings_filename).string(), text);
        EXPECT_EQ(text, stored);
        EXPECT_EQ(SettingsStore(c.folder.string()).reg_getstring(set_theme, "Original Lite"), c.theme);
    }
}

// Once the file takes a value again, the file is what is read.
TEST_F(Settings, AHeldWriteGivesWayToOneStored) {
    std::ofstream(dir.string()) << "";
    SettingsStore store(dir.string());
    store.reg_setstring(set_theme, "Dark");
    fs::remove(dir);
    store.reg_setstring(set_theme, "Jeans");
    EXPECT_EQ(file_text(), values("\"Color Theme\"=\"Jeans\"\n"));
    write_text(values("\"Color Theme\"=\"Amethyst\"\n"));
    EXPECT_EQ(store.reg_getstring(set_theme, "Original Lite"), "Amethyst");
}

// A read-only store reads what a writing store reads, defaults and all, and
// leaves the folder as it was: no file made, a damaged one not set aside.
TEST_F(Settings, ReadOnlyStoreWritesNothing) {
    const struct { const char* name; const char* file; const char* model; } cases[] = {
        {"no folder", nullptr, "1"},
        {"no file", "", "1"},
        {"stored", "\"Microcontroller Model\"=\"3\"\n", "3"},
        {"damaged", "REGEDIT4\n[cut", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(dir);
        if (c.file && *c.file) write_text(c.file[0] == '"' ? values(c.file) : c.file);
        if (c.file) fs::create_directories(dir);
        const std::string before = file_text();
        SettingsStore store(dir.string(), SettingsAccess::read_only);
        int told = 0;
        store.on_set_aside([&](const std::string&) { ++told; });
        store.on_not_stored([&](const std::string&) { ++told; });
        EXPECT_EQ(store.reg_getstring(set_theme, "Original Lite"), "Original Lite");
        EXPECT_EQ(store.reg_getstring(set_model, "1"), c.model);
        store.reg_setstring(set_model, "2");
        EXPECT_EQ(store.reg_getstring(set_model, "1"), "2");
        EXPECT_EQ(stored_model(store, 1), 1);
        EXPECT_EQ(told, 0);
        EXPECT_EQ(fs::exists(dir), c.file != nullptr);
        EXPECT_EQ(fs::exists(store.file_path()), c.file && *c.file);
        EXPECT_EQ(file_text(), before);
        EXPECT_FALSE(fs::exists(store.file_path() + ".bad"));
    }
}
