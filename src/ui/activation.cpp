#include "ui/activation.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>
#include <QWidget>

namespace tessaly {
namespace {

bool own_window(const QWindow* w) {
    return w && w->type() != Qt::Popup && w->type() != Qt::ToolTip;
}

}  // namespace

ActivationWatcher::ActivationWatcher(QWidget* window, std::function<void()> activated,
                                     std::function<void()> deactivated)
    : QObject(window),
      window_(window),
      activated_(std::move(activated)),
      deactivated_(std::move(deactivated)) {
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::focusWindowChanged, this,
            &ActivationWatcher::focus_window_changed);
}

// A window of the program that shows, the main window or a box, is given
// the focus unless it has it already. When a box hides, the main window takes
// the focus back if nothing else has, once the hiding is over.
bool ActivationWatcher::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::Show && type != QEvent::Hide) || !watched->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(watched);
    if (!w->isWindow() || !own_window(w->windowHandle())) return false;
    if (type == QEvent::Show) {
        if (!w->isActiveWindow()) w->activateWindow();
    } else if (w != window_) {
        QTimer::singleShot(0, this, [this] {
            const QWindow* focus = QGuiApplication::focusWindow();
            if ((!focus || !focus->isVisible()) && window_->isVisible()) window_->activateWindow();
        });
    }
    return false;
}

void ActivationWatcher::focus_window_changed(QWindow* now) {
    if (!own_window(now)) return;
    if (now == window_->windowHandle()) {
        activated_();
    } else {
        deactivated_();
    }
}

}  // namespace tessaly
