// One QApplication for a whole test program of windows, on the offscreen
// platform unless the environment chose another.
#pragma once

#include <QApplication>

namespace tessaly::test {

inline void ensure_gui_app() {
    if (QCoreApplication::instance()) return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "tessaly-test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

}  // namespace tessaly::test
