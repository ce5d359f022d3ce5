// A settings store in a fresh temporary folder, gone with the test.
#pragma once

#include <QTemporaryDir>

#include "devices/settings.h"

namespace tessaly::testing {

struct TempSettings {
    QTemporaryDir dir;
    SettingsStore store{dir.path().toStdString()};
};

}  // namespace tessaly::testing
