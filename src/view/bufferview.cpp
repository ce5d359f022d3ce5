#include "view/bufferview.h"

#include <QCoreApplication>
#include <QLabel>
#include <QScrollBar>

#include "devices/hextext.h"
#include "themes/paint.h"
#include "ui/kit.h"
#include "view/gridtext.h"
#include "view/gridview.h"

namespace tessaly {
namespace {

const char* const edit_tip = "Right click on the location to edit its value!";
const char* const conf_tip = "Click to edit!";

enum Row { flash, s1, eeprom, s2, ime, info, fix0, fix1, conf0, conf1 };

QScrollBar* make_scrollbar(QWidget* form, const ControlRow& row) {
    auto* bar = new QScrollBar(Qt::Vertical, form);
    bar->setRange(0, 0);
    bar->setSingleStep(1);
    bar->setPageStep(grid_rows);
    // Position changes are the Change event; dragging the thumb the Scroll event.
    bar->setTracking(false);
    place(bar, row);
    return bar;
}

GridView* make_grid(QWidget* form, const ControlRow& row) {
    auto* grid = new GridView(form);
    place(grid, row);
    return grid;
}

// The first row shown: the thumb's place while it is dragged.
int first_row(const QScrollBar* bar) { return bar->sliderPosition(); }

void yield() { QCoreApplication::processEvents(); }

}  // namespace

const std::array<ControlRow, 10> bufferview_controls = {{
    {"tabla_flash", nullptr, edit_tip, 60, 2100, 5835, 1755},
    {"scrl1", nullptr, nullptr, 5880, 2100, 255, 1755},
    {"tabla_eeprom", nullptr, edit_tip, 60, 4260, 3615, 1755},
    {"scrl2", nullptr, nullptr, 3660, 4260, 255, 1755},
    {"label_ime", nullptr, model_change_tip, 2160, 1140, 2535, 255},
    {"label_info", nullptr, model_change_tip, 60, 1440, 4635, 255},
    {"lfix(0)", "Config. Word (2007h)", nullptr, 4080, 4260, 1755, 255},
    {"lfix(1)", "Config. Word (2008h)", nullptr, 4080, 4860, 1755, 255},
    {"label_conf(0)", nullptr, conf_tip, 4380, 4560, 1215, 255},
    {"label_conf(1)", nullptr, conf_tip, 4380, 5160, 1215, 255},
}};

BufferView::BufferView(QWidget* form, const SelectedDevice& cur, const ChipImage& image)
    : QObject(form), cur_(cur), image_(image) {
    const auto& c = bufferview_controls;
    tabla_flash = make_grid(form, c[flash]);
    scrl1 = make_scrollbar(form, c[s1]);
    tabla_eeprom = make_grid(form, c[eeprom]);
    scrl2 = make_scrollbar(form, c[s2]);

    const QFont font = box_font();
    label_ime = make_label(form, c[ime], font);
    label_info = make_label(form, c[info], font);
    lfix[0] = make_label(form, c[fix0], font);
    lfix[1] = make_label(form, c[fix1], font);
    label_conf[0] = make_label(form, c[conf0], grid_font());
    label_conf[1] = make_label(form, c[conf1], grid_font());

    for (QScrollBar* bar : {scrl1, scrl2}) {
        connect(bar, &QScrollBar::valueChanged, this, [this] { updatedisplay(); });
        connect(bar, &QScrollBar::sliderMoved, this, [this] { scrl_Scroll(); });
    }
}

void BufferView::scrl_Scroll() {
    yield();
    updatedisplay();
}

void BufferView::updatedisplay() {
    label_ime->setText(QString::fromStdString(cur_.modelname));
    label_info->setText(QString::fromStdString(sizes_text(cur_.flashsize, cur_.eepromsize)));
    tabla_flash->setText(QString());
    tabla_eeprom->setText(QString());
    for (QLabel* l : label_conf) l->setText(QString());
    yield();
    // Read afresh after the yield: a scroll event may have run a redraw of its own.
    tabla_flash->setText(QString::fromStdString(
        grid_text(image_.flashbuf, cur_.flashsize, first_row(scrl1), flash_grid)));
    tabla_eeprom->setText(QString::fromStdString(
        grid_text(image_.eeprombuf, cur_.eepromsize, first_row(scrl2), eeprom_grid)));
    label_conf[0]->setText(QString::fromStdString(hex4(image_.conf[0])));
    label_conf[1]->setText(cur_.config2used ? QString::fromStdString(hex4(image_.conf[1])) : QString());
    label_conf[1]->setVisible(cur_.config2used);
    lfix[1]->setVisible(cur_.config2used);
    yield();
}

void BufferView::scroll_to_start() {
    scrl1->setValue(0);
    scrl2->setValue(0);
}

void BufferView::set_scroll_ranges() {
    scrl1->setMaximum(grid_scroll_max(cur_.flashsize));
    scrl2->setMaximum(grid_scroll_max(cur_.eepromsize));
}

void BufferView::focus_scrollbars() {
    scrl2->setFocus();
    scrl1->setFocus();
}

void BufferView::settheme(const Theme& theme) {
    paint_theme(theme, {
        {label_ime, &Theme::th_name_back, &Theme::th_name_fore},
        {label_info, &Theme::th_info_back, &Theme::th_info_fore},
        {lfix[0], &Theme::th_caption_back, &Theme::th_caption_fore},
        {lfix[1], &Theme::th_caption_back, &Theme::th_caption_fore},
        {label_conf[0], &Theme::th_value_back, &Theme::th_value_fore},
        {label_conf[1], &Theme::th_value_back, &Theme::th_value_fore},
    });
}

}  // namespace tessaly
