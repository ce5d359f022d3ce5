// The main window against tessaly-sim on a pseudo-terminal, with the small
// device list (the shipped models and algorithms on small chips) and COM16
// pointed at the simulator through a link in the config folder, which
// unplug() takes away. The window's file chooser answers with one HEX file,
// and message boxes are read and closed as they show.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "appfixture.h"
#include "qtloop.h"

namespace tessaly::test {

inline const std::string small_devices = TESSALY_SMALL_DEVICES;
inline const std::string example_hex = std::string(TESSALY_SOURCE_DIR) + "/examples/blink.hex";

inline bool starts(const std::string& text, const std::string& head) {
    return text.rfind(head, 0) == 0;
}

// Every modal box that shows is read (all its label and text field texts,
// joined) and closed with its default answer.
class BoxReader {
public:
    BoxReader() {
        poll_.setInterval(5);
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            std::string text;
            for (QLabel* l : box->findChildren<QLabel*>()) text += l->text().toStdString() + "\n";
            for (QTextEdit* t : box->findChildren<QTextEdit*>()) {
                text += t->toPlainText().toStdString() + "\n";
            }
            texts.push_back(text);
            box->accept();
        });
        poll_.start();
    }
    std::vector<std::string> texts;

private:
    QTimer poll_;
};

struct SimWindow {
    // The window reads its models from devices, the simulator always from
    // the small list.
    explicit SimWindow(const QStringList& simargs = {}, const std::string& devices = small_devices)
        : folder("sim") {
        EXPECT_EQ(load_devices(devices, list), LoadResult::loaded);
        sim.start(QString(TESSALY_BIN_DIR) + "/tessaly-sim",
                  QStringList{"--model", "PIC16F628A", "--device-list",
                              QString::fromStdString(small_devices)} + simargs);
        EXPECT_TRUE(sim.waitForStarted(5000));
        QElapsedTimer waited;
        waited.start();
        while (!sim.canReadLine() && waited.elapsed() < 5000) sim.waitForReadyRead(100);
        const std::string device = sim.readLine().trimmed().toStdString();
        com16 = std::make_unique<DeviceLink>(folder.path() + "/com16", device);
        folder.map_port(16, com16->path());
        SettingsStore settings(folder.path());
        settings.reg_setstring(set_model, "3");  // PIC16F628A
        window = std::make_unique<Form1>(list, appinfo, folder.path());
        window->file_chooser = [this](const FileRequest& r) {
            requests.push_back(r);
            return example_hex;
        };
        window->Form_Load();
    }
    ~SimWindow() {
        window.reset();
        sim.terminate();
        sim.waitForFinished(5000);
    }

    std::string status() const { return window->label_status->text().toStdString(); }
    bool idle() const { return !window->engine().busy(); }

    // The programmer's adapter pulled: its device path goes, then the far end.
    void unplug() {
        com16->pull();
        sim.kill();
    }

    // Clicks the operation button and waits, in the event loop, for the
    // operation to end.
    std::string run(int button, int limitms = 60000) {
        click(button);
        EXPECT_TRUE(wait_until([this] { return idle(); }, limitms)) << "still busy: " << status();
        return status();
    }
    void click(int button) { window->Command[static_cast<std::size_t>(button)]->click(); }

    bool unlocked() const {
        for (QPushButton* b : window->Command) {
            if (!b->isEnabled()) return false;
        }
        return true;
    }

    ConfigFolder folder;
    DeviceList list;
    AppInfo appinfo;
    QProcess sim;
    std::unique_ptr<DeviceLink> com16;
    std::unique_ptr<Form1> window;
    std::vector<FileRequest> requests;
};

}  // namespace tessaly::test
