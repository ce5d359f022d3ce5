#include "view/gridfocus.h"

#include <algorithm>

#include <QMouseEvent>
#include <QScrollBar>
#include <QWidget>

#include "view/bufferview.h"
#include "view/celleditor.h"
#include "view/gridview.h"
#include "view/wheel.h"

namespace tessaly {

GridFocus::GridFocus(QWidget* form, BufferView& view, CellEditor& editor)
    : QObject(&view), form_(form), view_(view), editor_(editor) {
    for (GridView* grid : {view_.tabla_flash, view_.tabla_eeprom}) {
        // A click gives a grid the focus only for its rule to pass it on.
        grid->setFocusPolicy(Qt::ClickFocus);
        grid->setMouseTracking(true);
        grid->installEventFilter(this);
    }
    for (QScrollBar* b : {view_.scrl1, view_.scrl2}) {
        b->setFocusPolicy(Qt::StrongFocus);
        b->installEventFilter(this);
        ignore_wheel(b);
    }
    form_->installEventFilter(this);
}

QScrollBar* GridFocus::bar(std::int32_t grid) const {
    return grid == 1 ? view_.scrl1 : grid == 2 ? view_.scrl2 : nullptr;
}

void GridFocus::MouseWheel(std::int32_t rotation) {
    QScrollBar* b = bar(active_grid);
    if (!b) return;
    int v = b->value() + (rotation < 0 ? wheel_rows : -wheel_rows);
    v = std::max(std::min(v, b->maximum()), b->minimum());
    b->setValue(v);
}

// A click on the window's background, not on one of its controls.
void GridFocus::Form_Click(const QMouseEvent& mouse) {
    const QPoint at = mouse.position().toPoint();
    if (mouse.button() == Qt::LeftButton && form_->rect().contains(at) && !form_->childAt(at))
        view_.scrl1->setFocus(Qt::MouseFocusReason);
}

bool GridFocus::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == view_.scrl1 || watched == view_.scrl2) {
        if (type == QEvent::FocusIn) active_grid = watched == view_.scrl1 ? 1 : 2;
    } else if (watched == form_) {
        if (type == QEvent::MouseButtonRelease) Form_Click(*static_cast<QMouseEvent*>(event));
    } else {
        const std::int32_t grid = watched == view_.tabla_flash ? 1 : 2;
        if (type == QEvent::MouseMove && active_grid == 3 - grid) {
            bar(grid)->setFocus(Qt::MouseFocusReason);
        } else if (type == QEvent::FocusIn) {
            bar(grid)->setFocus(Qt::MouseFocusReason);
            editor_.open_armed();
        }
    }
    return false;
}

}  // namespace tessaly
