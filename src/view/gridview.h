// A read-only text grid drawn on a fixed character cell of 8 x 13 pixels
// (120 x 195 twips), whatever monospace font stands in for the grid's own,
// so that row and column positions on screen are exact for the in-place editor.
#pragma once

#include <QFrame>
#include <QString>
#include <QStringList>

namespace tessaly {

inline constexpr int cell_width_px = 8;
inline constexpr int cell_height_px = 13;

// The font of the grids, the editor and the configuration word labels.
QFont grid_font();

class GridView : public QFrame {
    Q_OBJECT

public:
    explicit GridView(QWidget* parent = nullptr);

    // The whole content, lines broken by CR LF; replaces what was shown.
    void setText(const QString& text);
    QString text() const;

    // Top left of the character cell at row, column (0-based), in pixels
    // within the widget.
    QPoint cell_origin(int row, int column) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QStringList lines_;
};

}  // namespace tessaly
