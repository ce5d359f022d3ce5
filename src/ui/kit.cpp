#include "ui/kit.h"

#include <algorithm>
#include <cmath>

#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTextDocument>
#include <QTextEdit>
#include <QWidget>

#include "devices/crlf.h"

namespace tessaly {

int to_px(int twips) { return twips / twips_per_pixel; }
int to_twips(int px) { return px * twips_per_pixel; }

void place(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(to_px(left), to_px(top), to_px(width), to_px(height));
}

void place(QWidget* control, const ControlRow& row) {
    control->setObjectName(QString::fromLatin1(row.name));
    if (row.tip) control->setToolTip(QString::fromUtf8(row.tip));
    place(control, row.left, row.top, row.width, row.height);
}

void set_top(QWidget* control, int top) { control->move(control->x(), to_px(top)); }

void set_height(QWidget* control, int height) {
    control->resize(control->width(), to_px(height));
}

int top_of(const QWidget* control) { return to_twips(control->y()); }
int height_of(const QWidget* control) { return to_twips(control->height()); }

// The windows' fonts are 8.25 pt and 9 pt, 11 and 12 pixels on the screens
// they were drawn for; pixel sizes keep the boxes' proportions whatever the
// screen's dots per inch.
QLabel* make_label(QWidget* parent, const ControlRow& row, const QFont& font) {
    auto* label = new QLabel(QString::fromUtf8(row.caption ? row.caption : ""), parent);
    label->setFont(font);
    label->setAutoFillBackground(true);
    place(label, row);
    return label;
}

QLabel* make_label(QWidget* parent, const QString& caption, int left, int top, int width,
                   const QFont& font) {
    QLabel* label = make_label(parent, ControlRow{"", nullptr, nullptr, left, top, width, 255}, font);
    label->setText(caption);
    return label;
}

QPushButton* make_button(QWidget* parent, const ControlRow& row) {
    auto* button = new QPushButton(QString::fromUtf8(row.caption ? row.caption : ""), parent);
    button->setFont(box_font());
    place(button, row);
    return button;
}

QFont box_font() {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(11);
    return f;
}

QFont text_font() {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(12);
    return f;
}

void make_fixed_box(QDialog* box, int width, int height) {
    box->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    box->setFixedSize(to_px(width), to_px(height));
}

void set_client_height(QDialog* box, int height) {
    box->setFixedSize(box->width(), std::min(to_px(height), QWIDGETSIZE_MAX));
}

int autosize_height(const QLabel* label) {
    const int px = std::max(label->heightForWidth(label->width()),
                            QFontMetrics(label->font()).height());
    // Far beyond any screen; keeps the twips within range for absurd texts.
    return to_twips(std::min(px, QWIDGETSIZE_MAX / twips_per_pixel));
}

int autosize_height(QTextEdit* box) {
    QTextDocument* doc = box->document();
    // The viewport takes its size only when shown; the frameless box is
    // already as wide as its text will be.
    doc->setTextWidth(box->contentsRect().width());
    const int px = std::max(static_cast<int>(std::ceil(doc->size().height())),
                            QFontMetrics(box->font()).height());
    return to_twips(std::min(px, QWIDGETSIZE_MAX / twips_per_pixel));
}

QString display_text(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1String(crlf), QStringLiteral("\n"));
    return shown;
}

ClickWatcher::ClickWatcher(QWidget* watched, std::function<void()> onclick,
                           std::function<void()> ondoubleclick)
    : QObject(watched), onclick_(std::move(onclick)), ondoubleclick_(std::move(ondoubleclick)) {
    watched->installEventFilter(this);
}

bool ClickWatcher::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::MouseButtonRelease && type != QEvent::MouseButtonDblClick) ||
        static_cast<QMouseEvent*>(event)->button() != Qt::LeftButton) {
        return QObject::eventFilter(watched, event);
    }
    if (type == QEvent::MouseButtonDblClick) {
        if (!ondoubleclick_) return QObject::eventFilter(watched, event);
        // The second press of a double click is no click of its own.
        afterdouble_ = true;
        ondoubleclick_();
        return true;
    }
    if (afterdouble_) {
        afterdouble_ = false;
        return true;
    }
    onclick_();
    return true;
}

}  // namespace tessaly
