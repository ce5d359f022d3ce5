// The entries of the model list and the theme list: centred captions in two
// columns, painted in the theme's caption colours when chosen and in its value
// colours otherwise.
#pragma once

#include <QString>

#include "themes/theme.h"

class QLabel;
class QWidget;

namespace tessaly {

// An entry in column 0 or 1, its top in twips, named name.
QLabel* make_list_entry(QWidget* parent, const QString& caption, const QString& name, int column,
                        int top);
void mark_list_entry(QLabel* entry, bool chosen, const Theme& theme);

}  // namespace tessaly
