// Drives modal boxes from inside their own waits: each box that call opens
// gets the next act once it shows (posting keys or clicks that close it). A
// box that is still open after a few seconds is hidden, so that exec()
// returns and the test fails, never hangs.
#pragma once

#include <functional>
#include <type_traits>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QVariant>
#include <gtest/gtest.h>

namespace tessaly::testing {

template <class Call>
auto while_each_shown(const std::vector<std::function<void(QDialog*)>>& acts, Call call) {
    std::size_t next = 0;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible() || box->property("tessaly_acted").toBool()) return;
        box->setProperty("tessaly_acted", true);
        if (next == acts.size()) {
            ADD_FAILURE() << "a box too many: " << box->objectName().toStdString();
            box->hide();
            return;
        }
        acts[next++](box);
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
    auto finish = [&] { EXPECT_EQ(next, acts.size()) << "boxes acted on"; };
    if constexpr (std::is_void_v<decltype(call())>) {
        call();
        finish();
    } else {
        auto result = call();
        finish();
        return result;
    }
}

template <class Call>
auto while_shown(const std::function<void(QDialog*)>& act, Call call) {
    return while_each_shown({act}, call);
}

}  // namespace tessaly::testing
