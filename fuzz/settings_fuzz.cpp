// The settings store reading any file: every value reads (its default when it
// cannot be read), and values written afterwards read back as written.
#include <cstdint>
#include <string>

#include "devices/settings.h"
#include "fuzzing.h"

using namespace tessaly;
using namespace tessaly::fuzzing;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Damaged files of earlier inputs are kept under names of their own.
    std::filesystem::remove_all(scratch());
    std::filesystem::create_directories(scratch());
    write_scratch(settings_filename, data, size);
    const SettingsStore store(scratch().string());
    for (const char* name : {set_lastpath, set_model, set_portnumber, set_baudrate, set_theme,
                             set_mousewheel}) {
        const std::string text = store.reg_getstring(name, "default");
        check(text.size() < 255, "a text read is shorter than 255 characters");
        (void)store.reg_getlong(name, 7);
    }
    store.reg_setstring(set_lastpath, "/home/ann/\"hex\"\\");
    store.reg_setlong(set_baudrate, -2);
    check(store.reg_getstring(set_lastpath, "") == "/home/ann/\"hex\"\\", "text written reads back");
    check(store.reg_getlong(set_baudrate, 0) == -2, "number written reads back");
    return 0;
}
