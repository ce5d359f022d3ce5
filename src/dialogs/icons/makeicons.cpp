// Draws the message box's four pictures as PNG files at build time, so the
// program carries images of its own: a green check mark, and a white "i",
// cross or question mark on a coloured disc. Shapes only, no fonts, so no
// display is needed. Usage: makeicons OUTPUT_FOLDER
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <cstdio>
#include <functional>

namespace {

constexpr int size = 48;

const QColor green(0x2E, 0x9D, 0x32);
const QColor blue(0x1E, 0x63, 0xC8);
const QColor red(0xD3, 0x2F, 0x2F);

QPen white_stroke(qreal width) {
    return QPen(Qt::white, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void disc(QPainter& p, const QColor& colour) {
    p.setPen(QPen(colour.darker(130), 1.5));
    p.setBrush(colour);
    p.drawEllipse(QRectF(2, 2, size - 4, size - 4));
}

void check_mark(QPainter& p) {
    QPainterPath path;
    path.moveTo(9, 25);
    path.lineTo(19, 36);
    path.lineTo(40, 11);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(green.darker(140), 9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
    p.setPen(QPen(green, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(path);
}

void info_sign(QPainter& p) {
    disc(p, blue);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(24, 13.5), 3.5, 3.5);
    p.drawRoundedRect(QRectF(20.5, 20, 7, 18), 2, 2);
}

void error_cross(QPainter& p) {
    disc(p, red);
    p.setPen(white_stroke(6));
    p.drawLine(QPointF(16, 16), QPointF(32, 32));
    p.drawLine(QPointF(32, 16), QPointF(16, 32));
}

void question_mark(QPainter& p) {
    disc(p, blue);
    QPainterPath hook;
    const QRectF round(17, 9, 14, 14);
    hook.arcMoveTo(round, 160);
    hook.arcTo(round, 160, -230);
    hook.lineTo(24, 27);
    hook.lineTo(24, 29);
    p.setBrush(Qt::NoBrush);
    p.setPen(white_stroke(5));
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(24, 36.5), 3.2, 3.2);
}

bool write_icon(const QDir& folder, const char* name, const std::function<void(QPainter&)>& draw) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    const QString path = folder.filePath(QString::fromLatin1(name));
    if (image.save(path, "PNG")) return true;
    std::fprintf(stderr, "makeicons: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: makeicons OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const bool ok = write_icon(folder, "ok.png", check_mark) &&
                    write_icon(folder, "info.png", info_sign) &&
                    write_icon(folder, "err.png", error_cross) &&
                    write_icon(folder, "ask.png", question_mark);
    return ok ? 0 : 1;
}
