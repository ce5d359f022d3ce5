#include "view/wheel.h"

#include <QApplication>
#include <QWheelEvent>
#include <QWidget>

#include "devices/settings.h"

namespace tessaly {
namespace {

WheelState state;

class WheelFilter : public QObject {
public:
    explicit WheelFilter(QWidget& window) : QObject(&window), window_(window) {}
    // A window that goes away takes its installation with it.
    ~WheelFilter() override {
        if (state.wheel_filter == this) state = WheelState{};
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel || !watched->isWidgetType() ||
            static_cast<QWidget*>(watched)->window() != &window_)
            return false;
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const int turn = wheel->angleDelta().y();
        // A purely sideways turn, or the start or end of a touchpad gesture,
        // turns nothing.
        if (turn != 0 && state.wheel_target) {
            const QPoint at = wheel->globalPosition().toPoint();
            state.wheel_target->MouseWheel(0, turn, at.x(), at.y());
        }
        return true;
    }

private:
    QWidget& window_;
};

class WheelBlocker : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        return event->type() == QEvent::Wheel || QObject::eventFilter(watched, event);
    }
};

}  // namespace

const WheelState& wheelstate() { return state; }

void wheel_hook(QWidget& window, WheelTarget& target, const SettingsStore& settings) {
    // Off also undoes an installation left from before the value changed.
    wheel_unhook();
    if (settings.reg_getlong(set_mousewheel, 1) == 0) return;
    auto* filter = new WheelFilter(window);
    qApp->installEventFilter(filter);
    state = WheelState{true, &target, &window, filter};
}

void wheel_unhook() {
    if (!state.wheel_installed) return;
    QObject* filter = state.wheel_filter;
    state = WheelState{};
    qApp->removeEventFilter(filter);
    // It may be the filter whose call is running now.
    filter->deleteLater();
}

void ignore_wheel(QWidget* control) { control->installEventFilter(new WheelBlocker(control)); }

}  // namespace tessaly
