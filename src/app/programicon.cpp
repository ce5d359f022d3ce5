#include "app/programicon.h"

#include <QPainter>
#include <QPixmap>

namespace tessaly {
namespace {

// A dark DIP package with four pins a side and a notch, on a clear ground.
QPixmap chip(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xC0, 0xC0, 0xC0));
    for (int i = 0; i < 4; ++i) {
        p.drawRect(QRectF(3, 6.5 + i * 6, 4, 3));
        p.drawRect(QRectF(25, 6.5 + i * 6, 4, 3));
    }
    p.setBrush(QColor(0x30, 0x30, 0x38));
    p.drawRoundedRect(QRectF(7, 3, 18, 26), 2, 2);
    p.setBrush(QColor(0x70, 0x70, 0x78));
    p.drawEllipse(QRectF(13, 1, 6, 6));
    p.setBrush(QColor(0xE0, 0x40, 0x30));
    p.drawEllipse(QRectF(10, 8, 3, 3));
    return pm;
}

}  // namespace

QIcon program_icon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 256}) icon.addPixmap(chip(size));
    return icon;
}

}  // namespace tessaly
