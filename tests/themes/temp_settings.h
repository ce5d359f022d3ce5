// A settings store in a fresh temporary folder, gone with the test.
#pragma once

#include "devices/settings.h"
#include "tempfolder.h"

namespace tessaly::testing {

struct TempSettings {
    test::TempFolder dir;
    SettingsStore store{dir.path()};
};

}  // namespace tessaly::testing
