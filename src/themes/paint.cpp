#include "themes/paint.h"

#include <QPalette>
#include <QWidget>

namespace tessaly {

QColor theme_colour(std::int32_t colour) {
    return QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF);
}

void paint_theme(const Theme& theme, const std::vector<PaintRule>& rules) {
    for (const PaintRule& rule : rules) {
        if (rule.fore) {
            paint_control(rule.control, theme.*rule.back, theme.*rule.fore);
        } else {
            paint_window(rule.control, theme.*rule.back);
        }
    }
}

void paint_control(QWidget* control, std::int32_t back, std::int32_t fore) {
    // Labels paint with Window/WindowText, entry fields and text boxes with
    // Base/Text; a control has no children that could inherit the extra roles.
    QPalette p = control->palette();
    p.setColor(QPalette::Window, theme_colour(back));
    p.setColor(QPalette::Base, theme_colour(back));
    p.setColor(QPalette::WindowText, theme_colour(fore));
    p.setColor(QPalette::Text, theme_colour(fore));
    control->setPalette(p);
    control->setAutoFillBackground(true);
}

void paint_window(QWidget* window, std::int32_t back) {
    // Only the Window role: children inherit roles their own palette leaves
    // unset, and a window's Base or Text would recolour its grids and fields.
    QPalette p = window->palette();
    p.setColor(QPalette::Window, theme_colour(back));
    window->setPalette(p);
    window->setAutoFillBackground(true);
}

QColor back_colour(const QWidget* control) {
    return control->palette().color(control->backgroundRole());
}

QColor fore_colour(const QWidget* control) {
    return control->palette().color(control->foregroundRole());
}

}  // namespace tessaly
