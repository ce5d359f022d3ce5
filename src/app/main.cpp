// Tessaly's start: one copy at a time, the program folder and title, the
// device list from the program folder, then the main window's start-up.
#include <QApplication>

#include <iostream>

#include "app/form1.h"
#include "app/onecopy.h"
#include "app/programicon.h"
#include "devices/crlf.h"
#include "devices/devicelist.h"
#include "dialogs/boxes.h"
#include "platform/userplaces.h"
#include "themes/theme.h"

int main(int argc, char** argv) {
    using namespace tessaly;
    QApplication app(argc, argv);
    QApplication::setWindowIcon(program_icon());
    AppInfo appinfo;
    // The boxes of the start, before the settings are read, wear the default theme.
    Theme theme;
    apply_theme_row(*find_theme(default_theme_name), theme);
    const Boxes boxes(appinfo, theme);

    SingleInstance instance;
    int status = 0;
    if (!may_start(instance, boxes, status)) return status;

    appinfo.apppath = program_folder();
    DeviceList devicelist;
    const std::string path = appinfo.apppath + devicelist_filename;
    switch (load_devices(path, devicelist)) {
    case LoadResult::loaded:
        break;
    case LoadResult::no_devices:
        std::cerr << "tessaly: no device in " << path << "\n";
        return 1;
    case LoadResult::unreadable:
        boxes.show_msgbox(std::string("The device list could not be read:") + crlf + path + crlf +
                              "Tessaly cannot run without it.",
                          box_error);
        return 1;
    }

    Form1 window(devicelist, appinfo, config_folder());
    window.Form_Load();
    if (window.ended()) return 1;
    return app.exec();
}
