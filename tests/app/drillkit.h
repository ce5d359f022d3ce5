// What the drills on the real window against tessaly-sim share: the example
// file opened through its label, the simulator's trace of the power messages,
// answering boxes as they show, and landing an action inside the next engine
// call that yields.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "simwindow.h"

namespace tessaly::test {

inline bool any_says(const std::vector<std::string>& texts, const std::string& part) {
    for (const std::string& t : texts) {
        if (t.find(part) != std::string::npos) return true;
    }
    return false;
}

// Opens the example HEX file through the file label; the buffers it gives.
inline ChipImage open_example(SimWindow& s) {
    QTest::mouseClick(s.window->Label7, Qt::LeftButton);
    EXPECT_TRUE(starts(s.status(), "Operation completed.")) << s.status();
    return s.window->chipimage();
}

// The simulator's trace as it stands: one line per message and reply.
inline std::vector<std::string> trace_lines(const QString& path) {
    QFile file(path);
    std::vector<std::string> lines;
    if (!file.open(QIODevice::ReadOnly)) return lines;
    for (const QByteArray& l : file.readAll().split('\n')) lines.push_back(l.toStdString());
    return lines;
}

// The last message that switched the chip's voltages, as the simulator saw it.
inline std::string last_power_message(const QString& path) {
    std::string last;
    for (const std::string& l : trace_lines(path)) {
        if (l.find("power o") != std::string::npos) last = l;
    }
    return last;
}

inline bool powered_on(const QString& trace) {
    return last_power_message(trace).find("power on") != std::string::npos;
}

// The trace is written as the line falls idle: a message that follows the
// voltages-off shows a moment later, so the end is judged once it has settled.
inline bool ends_powered_off(const QString& trace) {
    const auto off = [&] { return last_power_message(trace).find("power off") != std::string::npos; };
    if (!wait_until(off, 3000)) return false;
    spin_for(300);
    return off();
}

// Answers every box that shows a button of this caption with it; seen runs
// first, with the box standing.
class Answer {
public:
    explicit Answer(const QString& caption, std::function<void()> seen = {}) {
        poll_.setInterval(5);
        QObject::connect(&poll_, &QTimer::timeout, [this, caption, seen] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            for (QPushButton* b : box->findChildren<QPushButton*>()) {
                if (b->text() == caption && b->isVisible()) {
                    ++given;
                    if (seen) seen();
                    b->click();
                    return;
                }
            }
        });
        poll_.start();
    }
    int given = 0;

private:
    QTimer poll_;
};

// Runs action inside the next call that yields: queued, with a pause past
// the yield pacing, so that the call's first yield lets it run.
inline void inside_next_call(SimWindow& s, std::function<void()> action) {
    QTimer::singleShot(0, s.window.get(), std::move(action));
    QThread::msleep(3);
}

}  // namespace tessaly::test
