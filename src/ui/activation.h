// Tells a window when it becomes the program's active window and when
// another window of the program (one of its boxes) does. Another program
// coming to the front raises neither; popup menus and tooltips are no windows
// of their own here. Where no window manager hands the focus back, as on a
// bare X server or the offscreen platform, the watcher does what one would:
// it activates the window when it is shown and when a box of the program
// closes with nothing else taking the focus.
#pragma once

#include <functional>

#include <QObject>

class QWidget;
class QWindow;

namespace tessaly {

class ActivationWatcher : public QObject {
public:
    ActivationWatcher(QWidget* window, std::function<void()> activated,
                      std::function<void()> deactivated);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void focus_window_changed(QWindow* now);

    QWidget* window_;
    std::function<void()> activated_;
    std::function<void()> deactivated_;
};

}  // namespace tessaly
