#include "devices/settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "devices/fileio.h"

#include <unistd.h>

using namespace tessaly;
namespace fs = std::filesystem;

namespace {

class Settings : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tessaly_settings_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
    }
    void TearDown() override {
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }

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

    fs::path dir;
    std::error_code ec;
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

TEST_F(Settings, UnwritableFolderGivesDefaultsAndLosesWrites) {
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    if (::access(dir.c_str(), W_OK) == 0) GTEST_SKIP() << "running with rights that ignore permissions";
    SettingsStore store(dir.string());
    store.reg_setlong(set_portnumber, 9);
    EXPECT_EQ(store.reg_getlong(set_portnumber, 2), 2);
    EXPECT_EQ(store.reg_getstring(set_baudrate, "56000"), "56000");
    EXPECT_FALSE(fs::exists(dir / settings_filename));
}

TEST_F(Settings, FolderThatCannotBeCreated) {
    fs::create_directories(dir);
    write_text("");  // a file where the store expects a folder
    SettingsStore store((dir / settings_filename / "sub").string());
    store.reg_setstring(set_theme, "Dark");
    EXPECT_EQ(store.reg_getstring(set_theme, "Original Lite"), "Original Lite");
}
