// Painting windows with the current theme. Every window's settheme is one
// table of control -> colour fields handed to paint_theme; list entries are
// coloured one at a time with paint_control. Only the colours named are
// touched: buttons, grids and everything else keep their own.
#pragma once

#include <cstdint>
#include <vector>

#include <QColor>

#include "themes/theme.h"

class QWidget;

namespace tessaly {

// A theme colour integer (red + 256 * green + 65536 * blue) as a QColor.
QColor theme_colour(std::int32_t colour);

struct PaintRule {
    QWidget* control;
    ThemeColour back;
    ThemeColour fore = nullptr;  // nullptr: a window, whose text colour is left alone
};

// Applies the rules in order.
void paint_theme(const Theme& theme, const std::vector<PaintRule>& rules);

// Gives a control a background and a text colour. The text colour is set for
// the roles of both labels and entry fields.
void paint_control(QWidget* control, std::int32_t back, std::int32_t fore);

// Gives a window its background only, so that its buttons, grids and other
// children keep their own colours.
void paint_window(QWidget* window, std::int32_t back);

// What a control shows, as painted above.
QColor back_colour(const QWidget* control);
QColor fore_colour(const QWidget* control);

}  // namespace tessaly
