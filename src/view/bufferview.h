// The buffer view of the main window: the FLASH and EEPROM grids with their
// scroll bars, the two configuration word labels with their captions, and the
// model name and sizes labels above them. It redraws all of them from the
// buffers (updatedisplay) and resets the scroll bars for a new buffer shape.
#pragma once

#include <array>

#include <QObject>

#include "devices/device.h"

class QLabel;
class QScrollBar;
class QWidget;

namespace tessaly {

class GridView;

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
