// Drives a modal box from inside its own wait: once the box shows, act runs
// on it (posting keys or clicks that close it). A box that is still open after
// a few seconds is hidden, so exec() returns and the test fails, never hangs.
#pragma once

#include <functional>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <gtest/gtest.h>

namespace tessaly::testing {

template <class Call>
auto while_shown(const std::function<void(QDialog*)>& act, Call call) {
    bool acted = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (acted || !box || !box->isVisible()) return;
        acted = true;
        act(box);
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] {
        ADD_FAILURE() << "the box did not close";
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<QDialog*>(w)) w->hide();
        }
    });
    poll.start();
    guard.start(5000);
    auto result = call();
    EXPECT_TRUE(acted);
    return result;
}

}  // namespace tessaly::testing
