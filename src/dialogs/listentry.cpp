#include "dialogs/listentry.h"

#include <QLabel>

#include "themes/paint.h"
#include "ui/kit.h"

namespace tessaly {
namespace {

constexpr int entry_width = 2115;
constexpr int column_left[2] = {120, 2340};

}  // namespace

QLabel* make_list_entry(QWidget* parent, const QString& caption, const QString& name, int column,
                        int top) {
    QLabel* entry = make_label(parent, caption, column_left[column % 2], top, entry_width, box_font());
    entry->setObjectName(name);
    entry->setAlignment(Qt::AlignCenter);
    return entry;
}

void mark_list_entry(QLabel* entry, bool chosen, const Theme& theme) {
    paint_control(entry, chosen ? theme.th_caption_back : theme.th_value_back,
                  chosen ? theme.th_caption_fore : theme.th_value_fore);
}

}  // namespace tessaly
