#include "view/gridview.h"

#include <QFontMetrics>
#include <QPainter>

#include "devices/crlf.h"

namespace tessaly {
namespace {

constexpr int inner_margin_px = 3;  // between the frame and the first cell
const QString line_break = QString::fromLatin1(crlf);

}  // namespace

QFont grid_font() {
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    // The largest size whose characters fit the cell.
    for (int px = 13; px >= 8; --px) {
        font.setPixelSize(px);
        const QFontMetrics m(font);
        if (m.horizontalAdvance(QLatin1Char('W')) <= cell_width_px && m.height() <= cell_height_px + 2)
            break;
    }
    return font;
}

GridView::GridView(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);
    setFont(grid_font());
}

void GridView::setText(const QString& text) {
    lines_ = text.isEmpty() ? QStringList() : text.split(line_break);
    update();
}

QString GridView::text() const { return lines_.join(line_break); }

QPoint GridView::cell_origin(int row, int column) const {
    const int left = frameWidth() + inner_margin_px;
    return {left + column * cell_width_px, left + row * cell_height_px};
}

void GridView::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    for (int r = 0; r < lines_.size(); ++r) {
        const QString& line = lines_[r];
        for (int c = 0; c < line.size(); ++c) {
            if (line[c] == QLatin1Char(' ')) continue;
            const QRect cell(cell_origin(r, c), QSize(cell_width_px, cell_height_px));
            painter.drawText(cell, Qt::AlignCenter, QString(line[c]));
        }
    }
}

}  // namespace tessaly
