#include "view/celleditor.h"

#include <algorithm>
#include <cmath>

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>

#include "devices/hextext.h"
#include "ui/kit.h"
#include "view/bufferview.h"
#include "view/gridtext.h"
#include "view/gridview.h"

namespace tessaly {
namespace {

constexpr int char_twips = cell_width_px * twips_per_pixel;
constexpr int line_twips = cell_height_px * twips_per_pixel;
constexpr int editor_height = 255;
constexpr int editor_width = 375;

// A row is its address, ':' and a blank before its first cell; each cell is
// its digits and the blank that leads to the next.
constexpr int first_cell_twips(const GridFormat& f) { return (f.address_digits + 2) * char_twips; }
constexpr int cell_twips(const GridFormat& f) { return (f.cell_digits + 1) * char_twips; }

}  // namespace

// Where a kind of location sits in its grid and what it takes.
struct CellEditor::Kind {
    std::int32_t target;
    int left;   // twips from a row's first character to its cell 0
    int width;  // twips of one cell
    int maxlength;
    std::int32_t limit;
};

const CellEditor::Kind& CellEditor::kind(std::int32_t target) {
    static const Kind kinds[] = {
        {edit_flash, first_cell_twips(flash_grid), cell_twips(flash_grid), flash_grid.cell_digits,
         chip_word_mask},
        {edit_eeprom, first_cell_twips(eeprom_grid), cell_twips(eeprom_grid), eeprom_grid.cell_digits,
         eeprom_byte_mask},
        {edit_config, 0, 0, flash_grid.cell_digits, chip_word_mask},
    };
    for (const Kind& k : kinds) {
        if (k.target == target) return k;
    }
    return kinds[0];
}

CellEditor::CellEditor(QWidget* form, BufferView& view, const SelectedDevice& cur,
                       ChipImage& image, EditorHooks hooks)
    : QObject(&view), view_(view), cur_(cur), image_(image), hooks_(std::move(hooks)) {
    unosbox = new QLineEdit(form);
    unosbox->setFont(grid_font());
    unosbox->resize(to_px(editor_width), to_px(editor_height));
    unosbox->hide();
    unosbox->installEventFilter(this);
    for (GridView* g : {view_.tabla_flash, view_.tabla_eeprom}) g->installEventFilter(this);
    // The wheel scrolls the grid under an open box: it would then stand over
    // another cell than the one it stores into, so the entry is dropped.
    for (std::int32_t target : {edit_flash, edit_eeprom}) {
        connect(bar(kind(target)), &QScrollBar::valueChanged, this, [this, target] {
            if (edit_target == target) close();
        });
    }
    for (int i = 0; i < 2; ++i) {
        new ClickWatcher(view_.label_conf[static_cast<std::size_t>(i)], [this, i] {
            hooks_.gate([this, i] { label_conf_Click(i); });
        });
    }
}

GridView* CellEditor::grid(const Kind& k) const {
    return k.target == edit_eeprom ? view_.tabla_eeprom : view_.tabla_flash;
}

QScrollBar* CellEditor::bar(const Kind& k) const {
    return k.target == edit_eeprom ? view_.scrl2 : view_.scrl1;
}

// The buffer element a location stands for; none past the end of its buffer.
std::int32_t* CellEditor::element(std::int32_t target, std::int32_t index) {
    auto in = [index](std::vector<std::int32_t>& buffer, std::int32_t size) -> std::int32_t* {
        const bool inside = index >= 0 && index < size && std::size_t(index) < buffer.size();
        return inside ? &buffer[std::size_t(index)] : nullptr;
    };
    switch (target) {
    case edit_flash: return in(image_.flashbuf, cur_.flashsize);
    case edit_eeprom: return in(image_.eeprombuf, cur_.eepromsize);
    case edit_config: return index == 1 || index == 2 ? &image_.conf[std::size_t(index - 1)] : nullptr;
    default: return nullptr;
    }
}

bool CellEditor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == unosbox) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                hooks_.gate([this] { unosbox_Enter(); });
                return true;
            }
            if (key == Qt::Key_Escape) {
                close();
                return true;
            }
        } else if (event->type() == QEvent::FocusOut) {
            // A menu or the editor's own context menu opening, or another
            // window coming to the front, leaves the entry where it is.
            const Qt::FocusReason why = static_cast<QFocusEvent*>(event)->reason();
            if (why != Qt::PopupFocusReason && why != Qt::ActiveWindowFocusReason) close();
        }
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton) {
            const std::int32_t target = watched == view_.tabla_eeprom ? edit_eeprom : edit_flash;
            hooks_.gate([this, target, pos = mouse->position()] { grid_MouseUp(target, pos); });
        }
    }
    return false;
}

void CellEditor::grid_MouseUp(std::int32_t target, const QPointF& pos) {
    if (hooks_.refused()) return;
    QCoreApplication::processEvents();
    const Kind& k = kind(target);
    GridView* g = grid(k);
    const QPoint first = g->cell_origin(0, 0);
    const double x = (pos.x() - first.x()) * twips_per_pixel;
    const double y = (pos.y() - first.y()) * twips_per_pixel;
    const double column = std::floor((x - k.left) / k.width);
    const double row = std::floor(y / line_twips);
    if (column < 0 || column >= grid_columns || row < 0 || row >= grid_rows) return;
    const std::int32_t index = (bar(k)->value() + int(row)) * grid_columns + int(column);
    if (!element(target, index)) return;

    edit_index = index;
    // The box is as high as a label, a little more than a line: centred on it.
    const int rise = (to_px(editor_height) - cell_height_px) / 2;
    const QPoint at = g->pos() + first;
    const int left = at.x() + to_px(k.left + k.width * int(column));
    // The last cell's trailing blank may reach past the grid's frame: the box
    // stops there and leaves the scroll bar uncovered.
    const int inside = g->x() + g->width() - g->frameWidth() - left;
    unosbox->setGeometry(left, at.y() + to_px(line_twips * int(row)) - rise,
                         std::min(to_px(k.width), inside), to_px(editor_height));
    prepare(k);
    edit_pending = true;
    edit_target = target;
    // The grid takes the focus as a click gives it, so the editor opens with
    // this click through the grid's focus rule.
    g->setFocus(Qt::MouseFocusReason);
}

void CellEditor::prepare(const Kind& k) {
    unosbox->clear();
    unosbox->setMaxLength(k.maxlength);
}

void CellEditor::open() {
    unosbox->show();
    unosbox->raise();
    unosbox->setFocus(Qt::OtherFocusReason);
}

void CellEditor::open_armed() {
    if (!edit_pending) return;
    edit_pending = false;
    open();
}

void CellEditor::label_conf_Click(int index) {
    if (hooks_.refused()) return;
    edit_index = index + 1;
    unosbox->setGeometry(view_.label_conf[std::size_t(index)]->geometry());
    prepare(kind(edit_config));
    open();
    edit_target = edit_config;
}

void CellEditor::unosbox_Enter() {
    if (unosbox->isHidden()) return;  // dropped (Esc, the focus gone) before a held Enter ran
    const QString text = unosbox->text();
    // One to three digits read with leading zeros; anything else among the
    // last four characters is no number.
    const int v = text.isEmpty()
        ? -1
        : hex4val(to_upper((QStringLiteral("000") + text).right(4).toStdString()));
    std::int32_t* at = v >= 0 && v <= kind(edit_target).limit ? element(edit_target, edit_index) : nullptr;
    if (at && hooks_.refused()) at = nullptr;
    close();
    if (!at) return;
    *at = v;
    view_.updatedisplay();
    hooks_.stored();
}

// Hidden, with the focus back on the scroll bar of what was edited.
void CellEditor::close() {
    if (closing_ || unosbox->isHidden()) return;
    closing_ = true;
    bar(kind(edit_target))->setFocus(Qt::OtherFocusReason);
    unosbox->hide();
    closing_ = false;
}

}  // namespace tessaly
