// The in-place editor of the buffer view: one small line editor, unosbox,
// placed over a FLASH or EEPROM cell by a right click on it, or over a
// configuration word by a click on its label. The user types the new value
// in hexadecimal; Enter stores it, Esc and any loss of the focus drop it.
// Nothing but the value's range is checked and no message is shown, except
// that nothing can be edited while an operation holds the buffers.
#pragma once

#include <cstdint>
#include <functional>

#include <QObject>

#include "devices/device.h"

class QLineEdit;
class QPointF;
class QScrollBar;
class QWidget;

namespace tessaly {

class BufferView;
class GridView;

struct EditorHooks {
    // True when the buffers are an operation's; it has told the user so.
    std::function<bool()> refused;
    // A value was stored and redrawn.
    std::function<void()> stored;
    // Runs what the user asked for (a click, Enter) when the window lets it:
    // not inside another action's call.
    std::function<void(std::function<void()>)> gate = [](std::function<void()> action) { action(); };
};

inline constexpr std::int32_t edit_flash = 1;
inline constexpr std::int32_t edit_eeprom = 2;
inline constexpr std::int32_t edit_config = 3;

class CellEditor : public QObject {
    Q_OBJECT

public:
    // The editor is made on form, above the view's controls, hidden. Owned by
    // the view, so that its watching ends before the controls go.
    CellEditor(QWidget* form, BufferView& view, const SelectedDevice& cur, ChipImage& image,
               EditorHooks hooks);

    // A grid has received the focus: an armed editor opens.
    void open_armed();
    void label_conf_Click(int index);

    QLineEdit* unosbox = nullptr;
    bool edit_pending = false;        // armed over a cell, not yet opened
    std::int32_t edit_target = 0;     // edit_flash, edit_eeprom or edit_config
    std::int32_t edit_index = 0;      // buffer index, or configuration word 1 or 2

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Kind;
    static const Kind& kind(std::int32_t target);
    GridView* grid(const Kind& k) const;
    QScrollBar* bar(const Kind& k) const;
    std::int32_t* element(std::int32_t target, std::int32_t index);

    void grid_MouseUp(std::int32_t target, const QPointF& pos);
    void prepare(const Kind& k);
    void open();
    void unosbox_Enter();
    void close();

    BufferView& view_;
    const SelectedDevice& cur_;
    ChipImage& image_;
    EditorHooks hooks_;
    bool closing_ = false;
};

}  // namespace tessaly
