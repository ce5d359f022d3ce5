// The per-user settings store: text and 32-bit number values under the
// program's key, kept in one registry-export text file in a folder given by the
// caller. A read never fails: a value that cannot be read is written with the
// caller's default and the default is returned. Every write replaces the file
// atomically; a file that cannot be parsed is first set aside under a name of
// its own, "<name>.bad", "<name>.bad.1" and so on, and never overwritten.
// A write that cannot be stored is held by the store instead: its reads give
// it back for as long as the store lives, and the file stays as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tessaly {

inline constexpr const char* settings_key = "Software\\Tessaly";
inline constexpr const char* settings_filename = "settings.reg";
// The names a damaged file may be kept under: ".bad" and ".bad.1" up to
// ".bad.<settings_bad_names - 1>" after the file's own name. With all taken,
// a damaged file stays where it is and nothing is written over it.
inline constexpr int settings_bad_names = 100;

// The six value names.
inline constexpr const char* set_lastpath = "Last Path";
inline constexpr const char* set_model = "Microcontroller Model";
inline constexpr const char* set_portnumber = "Serial Port Number";
inline constexpr const char* set_baudrate = "Serial Port Baud Rate";
inline constexpr const char* set_theme = "Color Theme";
inline constexpr const char* set_mousewheel = "Mouse Wheel Enabled";

// A read-only store reads the file as a writing one does but never touches
// it, nor its folder: what it would write (a default, a value set) is held as
// an unstored write is, a damaged file reads as holding nothing and stays
// where it is, and nothing is told.
enum class SettingsAccess { read_write, read_only };

class SettingsStore {
public:
    explicit SettingsStore(std::string folder, SettingsAccess access = SettingsAccess::read_write);

    std::string reg_getstring(const std::string& name, const std::string& def) const;
    std::int32_t reg_getlong(const std::string& name, std::int32_t def) const;
    void reg_setstring(const std::string& name, const std::string& value) const;
    void reg_setlong(const std::string& name, std::int32_t value) const;

    std::string file_path() const;

    // Told the path a damaged file was moved to, each time one is set aside.
    using SetAsideNotice = std::function<void(const std::string& badpath)>;
    void on_set_aside(SetAsideNotice notice) { notices_.set_aside = std::move(notice); }
    // Told why, each time a write is not stored ("<file path>: <reason>").
    using NotStoredNotice = std::function<void(const std::string& why)>;
    void on_not_stored(NotStoredNotice notice) { notices_.not_stored = std::move(notice); }

    struct Notices {
        SetAsideNotice set_aside;
        NotStoredNotice not_stored;
    };

private:
    // The writes not stored, newest value of each name; copies of a store
    // share them.
    struct Held;

    std::string folder_;
    SettingsAccess access_;
    Notices notices_;
    std::shared_ptr<Held> held_;
};

// The model number stored as "Microcontroller Model", read by the number rule;
// 1, written back, when it names none of the devcount models.
std::int32_t stored_model(const SettingsStore& settings, std::int32_t devcount);

}  // namespace tessaly
