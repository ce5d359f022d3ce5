// The buffer view of the main window: the FLASH and EEPROM grids with their
// scroll bars, the two configuration word labels with their captions, and the
// model name and sizes labels above them. It redraws all of them from the
// buffers (updatedisplay), resets the scroll bars for a new buffer shape and
// paints its labels with the theme.
#pragma once

#include <array>

#include <QObject>

#include "devices/device.h"
#include "themes/theme.h"
#include "ui/kit.h"

class QLabel;
class QScrollBar;
class QWidget;

namespace tessaly {

class GridView;

// The tooltip of the model labels, the view's and the window's caption beside them.
inline constexpr const char* model_change_tip = "Click to change microcontroller model!";

// The view's controls as laid out on the main window, in the order they are made.
extern const std::array<ControlRow, 10> bufferview_controls;

class BufferView : public QObject {
    Q_OBJECT

public:
    // Creates the controls on form at their places; reads cur and image at
    // every redraw.
    BufferView(QWidget* form, const SelectedDevice& cur, const ChipImage& image);

    void updatedisplay();
    // Both scroll bars to row 0.
    void scroll_to_start();
    // Scroll ranges for the selected device's sizes.
    void set_scroll_ranges();
    // Focus to scrl2, then to scrl1, which keeps it.
    void focus_scrollbars();
    // The labels in the theme's colours; grids and scroll bars keep their own.
    void settheme(const Theme& theme);

    GridView* tabla_flash = nullptr;
    GridView* tabla_eeprom = nullptr;
    QScrollBar* scrl1 = nullptr;
    QScrollBar* scrl2 = nullptr;
    std::array<QLabel*, 2> lfix{};
    std::array<QLabel*, 2> label_conf{};
    QLabel* label_ime = nullptr;
    QLabel* label_info = nullptr;

private:
    void scrl_Scroll();

    const SelectedDevice& cur_;
    const ChipImage& image_;
};

}  // namespace tessaly
