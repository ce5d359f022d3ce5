// The focus rules of the buffer view. The grids never keep the focus: the
// scroll bar beside each takes it, so that its keyboard steps and the mouse
// wheel scroll that grid. The active grid is the one whose scroll bar last
// got the focus; the pointer moving over the other grid hands the focus, and
// the wheel with it, to that grid's scroll bar.
#pragma once

#include <cstdint>

#include <QObject>

class QMouseEvent;
class QScrollBar;
class QWidget;

namespace tessaly {

class BufferView;
class CellEditor;

inline constexpr int wheel_rows = 3;

class GridFocus : public QObject {
    Q_OBJECT

public:
    // form is the window's background, whose clicks focus the FLASH scroll bar.
    // Owned by the view, so that its watching ends before the controls go.
    GridFocus(QWidget* form, BufferView& view, CellEditor& editor);

    // Moves the active grid three rows: down for a turn towards the user
    // (rotation < 0), up otherwise, within the scroll range.
    void MouseWheel(std::int32_t rotation);

    // 1 the FLASH grid, 2 the EEPROM grid, 0 before a scroll bar had the focus.
    std::int32_t active_grid = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QScrollBar* bar(std::int32_t grid) const;
    void Form_Click(const QMouseEvent& mouse);

    QWidget* form_;
    BufferView& view_;
    CellEditor& editor_;
};

}  // namespace tessaly
