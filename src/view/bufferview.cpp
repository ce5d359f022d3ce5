#include "view/bufferview.h"

#include <QCoreApplication>
#include <QLabel>
#include <QScrollBar>

#include "devices/hextext.h"
#include "ui/kit.h"
#include "view/gridtext.h"
#include "view/gridview.h"

namespace tessaly {
namespace {

const char* const edit_tip = "Right click on the location to edit its value!";
const char* const model_tip = "Click to change microcontroller model!";

QScrollBar* make_scrollbar(QWidget* form, int left, int top) {
    auto* bar = new QScrollBar(Qt::Vertical, form);
    bar->setRange(0, 0);
    bar->setSingleStep(1);
    bar->setPageStep(grid_rows);
    // Position changes are the Change event; dragging the thumb the Scroll event.
    bar->setTracking(false);
    place(bar, left, top, 255, 1755);
    return bar;
}

// The first row shown: the thumb's place while it is dragged.
int first_row(const QScrollBar* bar) { return bar->sliderPosition(); }

void yield() { QCoreApplication::processEvents(); }

}  // namespace

BufferView::BufferView(QWidget* form, const SelectedDevice& cur, const ChipImage& image)
    : QObject(form), cur_(cur), image_(image) {
    tabla_flash = new GridView(form);
    tabla_flash->setToolTip(QString::fromUtf8(edit_tip));
    place(tabla_flash, 60, 2100, 5835, 1755);
    scrl1 = make_scrollbar(form, 5880, 2100);
    tabla_eeprom = new GridView(form);
    tabla_eeprom->setToolTip(QString::fromUtf8(edit_tip));
    place(tabla_eeprom, 60, 4260, 3615, 1755);
    scrl2 = make_scrollbar(form, 3660, 4260);

    const QFont font = box_font();
    label_ime = make_label(form, QString(), 2160, 1140, 2535, font);
    label_info = make_label(form, QString(), 60, 1440, 4635, font);
    for (QLabel* l : {label_ime, label_info}) l->setToolTip(QString::fromUtf8(model_tip));
    lfix[0] = make_label(form, QStringLiteral("Config. Word (2007h)"), 4080, 4260, 1755, font);
    lfix[1] = make_label(form, QStringLiteral("Config. Word (2008h)"), 4080, 4860, 1755, font);
    label_conf[0] = make_label(form, QString(), 4380, 4560, 1215, grid_font());
    label_conf[1] = make_label(form, QString(), 4380, 5160, 1215, grid_font());
    for (QLabel* l : label_conf) l->setToolTip(QStringLiteral("Click to edit!"));

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

}  // namespace tessaly
