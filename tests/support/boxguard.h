// Closes a modal box that nobody answers, so that a test meeting a box it did
// not expect fails in seconds instead of waiting for ever in its exec(). A
// test that expects a box answers it within milliseconds of its showing; one
// that still stands after stand_ms is unexpected: the running test fails with
// the box's text, and the box is rejected (hidden, should it refuse) so that
// its wait returns.
#pragma once

#include <string>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace tessaly::testing {

class BoxGuard {
public:
    explicit BoxGuard(int stand_ms = 5000) : stand_ms_(stand_ms) {
        look_.setInterval(200);
        QObject::connect(&look_, &QTimer::timeout, [this] { look(); });
        look_.start();
    }

    // The title and every text a box shows, one a line.
    static std::string text_of(const QWidget* box) {
        QString text = box->windowTitle();
        for (const QLabel* l : box->findChildren<QLabel*>()) text += "\n" + l->text();
        for (const QTextEdit* t : box->findChildren<QTextEdit*>()) text += "\n" + t->toPlainText();
        for (const QPlainTextEdit* t : box->findChildren<QPlainTextEdit*>()) text += "\n" + t->toPlainText();
        for (const QLineEdit* e : box->findChildren<QLineEdit*>()) text += "\n" + e->text();
        return text.toStdString();
    }

private:
    void look() {
        QWidget* box = QApplication::activeModalWidget();
        if (box != seen_) {
            seen_ = box;
            standing_.start();
            return;
        }
        if (!box || standing_.elapsed() < stand_ms_) return;
        ADD_FAILURE() << "a box stood unanswered for " << standing_.elapsed()
                      << " ms and was closed: " << box->metaObject()->className() << "\n"
                      << text_of(box);
        if (auto* dialog = qobject_cast<QDialog*>(box)) dialog->reject();
        if (box->isVisible()) box->hide();
        seen_ = nullptr;
    }

    const int stand_ms_;
    QTimer look_;
    QPointer<QWidget> seen_;
    QElapsedTimer standing_;
};

}  // namespace tessaly::testing
