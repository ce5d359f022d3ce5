// Pictures of the lists and boxes for a look by eye: run under a display
// server (xvfb-run) with a folder to write the PNG files to. Not a test.
#include <string>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>

#include "app/form1.h"
#include "app/options.h"
#include "devices/devicelist.h"
#include "dialogs/form05.h"
#include "dialogs/form08.h"
#include "dialogs/form34.h"
#include "platform/linefacts.h"

using namespace tessaly;

namespace {

void save(QWidget& w, const QString& dir, const QString& name) {
    w.show();
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    w.grab().save(dir + "/" + name + ".png");
    w.hide();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    DeviceList list;
    if (load_devices(std::string(TESSALY_BIN_DIR) + "/quarndevices.txt", list) != LoadResult::loaded) {
        return 1;
    }
    QTemporaryDir config;
    // Every COM number to a device that does not exist: no real port is touched.
    QFile ports(config.filePath(QStringLiteral("ports")));
    if (ports.open(QIODevice::WriteOnly)) {
        for (int n = first_comport; n <= last_comport; ++n) ports.write(QStringLiteral("COM%1=/nonexistent/%1\n").arg(n).toUtf8());
        ports.close();
    }
    SettingsStore settings(config.path().toStdString());
    AppInfo appinfo;
    Form1 main(list, appinfo, config.path().toStdString());
    main.Form_Load();
    std::string many;
    for (int i = 1; i <= 75; ++i) {
        many += "model: PIC" + std::to_string(i) + "\nflash: 1024\neeprom: 64\nconfigerased: 3FFF\n";
    }
    const DeviceList long_list = parse_devices(many);
    for (const char* name : {"Original Lite", "Amethyst", "Mono Dark"}) {
        settings.reg_setstring(set_theme, name);
        load_theme(settings, main.theme());
        main.settheme();
        const QString tag = QString::fromUtf8(name).replace(' ', '_');
        save(main, out, "main_" + tag);
        Form5 models(list, main.curdevice(), settings, main.theme(), {});
        save(models, out, "models_" + tag);
        Form34 themes(settings, main.theme(), [] {});
        save(themes, out, "themes_" + tag);
        Form5 scrolled(long_list, main.curdevice(), settings, main.theme(), {});
        save(scrolled, out, "models_75_" + tag);
    }
    for (auto [name, text] : {std::pair{"pinout", pinout_text()}, {"about", about_text(appinfo.title)}}) {
        Form08 box(appinfo, main.theme());
        box.dlg.dlgtext = text;
        box.dlg.dlgkind = box_plain;
        box.prepare_display();
        save(box, out, name);
    }
    return 0;
}
