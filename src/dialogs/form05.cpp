#include "dialogs/form05.h"

#include <algorithm>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

#include "dialogs/listentry.h"
#include "themes/paint.h"
#include "ui/kit.h"

namespace tessaly {
namespace {

constexpr int client_width = 4575;
constexpr int client_height = 9075;
constexpr int buttons_below_row = 360;

// Top edge of list row r (0-based), in twips within the list.
int row_top(int r) { return 120 + 240 * r; }

QString size_tip(const DeviceEntry& e) {
    return QString::fromStdString("FLASH: " + e.devflash + ", EEPROM: " + e.deveeprom);
}

}  // namespace

Form5::Form5(const DeviceList& list_of_devices, SelectedDevice& cur, const SettingsStore& settings,
             const Theme& theme, MsgBox msgbox)
    : list(new QScrollArea(this)),
      Command1(make_button(this, {"Command1", "Select", nullptr, 2340, 8640, 1035, 375})),
      Command2(make_button(this, {"Command2", "Cancel", nullptr, 1200, 8640, 1035, 375})),
      devices_(list_of_devices),
      cur_(cur),
      settings_(settings),
      theme_(theme),
      msgbox_(std::move(msgbox)) {
    setObjectName(QStringLiteral("Form5"));
    setWindowTitle(QStringLiteral("Select Microcontroller"));
    setFont(box_font());
    make_fixed_box(this, client_width, client_height);
    // Neither button is the list's default or cancel button: Enter and Space
    // press the button that has the focus, Escape does nothing.
    setTabOrder(Command1, Command2);
    connect(Command1, &QPushButton::clicked, this, &Form5::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form5::Command2_Click);

    list->setObjectName(QStringLiteral("list"));
    list->setFrameShape(QFrame::NoFrame);
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setFocusPolicy(Qt::NoFocus);
    list->viewport()->setAutoFillBackground(false);
    Form_Load();
    Command1->setFocus();
}

void Form5::Form_Load() {
    const int count = std::max(devices_.devcount, 0);
    auto* entries = new QWidget;
    entries->setAutoFillBackground(false);
    for (int i = 1; i <= count; ++i) {
        QLabel* entry = make_list_entry(entries, QString::fromStdString(devices_.entries[i].devmodel),
                                        QStringLiteral("opcija(%1)").arg(i), (i - 1) % 2,
                                        row_top((i - 1) / 2));
        entry->setToolTip(size_tip(devices_.entries[i]));
        new ClickWatcher(entry, [this, i] { opcija_Click(i); }, [this, i] { opcija_DblClick(i); });
        opcija.push_back(entry);
    }
    const int rows = (count + 1) / 2;
    const int shown_rows = std::min(rows, model_list_rows);
    const int buttons_top = row_top(shown_rows - 1) + buttons_below_row;

    // The list holds its rows down to where the buttons stand; a longer list
    // scrolls, and the window widens by the scroll bar.
    const bool scrolls = rows > model_list_rows;
    int width = client_width;
    if (scrolls) width += to_twips(style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    list->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    entries->setFixedSize(to_px(client_width), to_px(row_top(rows - 1) + buttons_below_row));
    list->setWidget(entries);
    // A scrolling list shows whole rows and steps a row at a time.
    place(list, 0, 0, width, scrolls ? row_top(model_list_rows) : buttons_top);
    list->verticalScrollBar()->setSingleStep(to_px(row_top(1) - row_top(0)));

    margin = height_of(this) - top_of(Command1);
    set_top(Command1, buttons_top);
    set_top(Command2, buttons_top);
    setFixedSize(to_px(width), to_px(top_of(Command1) + margin));

    settheme();
    devindex = cur_.devindex;
    mark_selection();
    oldindex = devindex;
    if (devindex >= 1 && devindex <= count) list->ensureWidgetVisible(opcija[devindex - 1], 0, 0);
}

void Form5::settheme() { paint_theme(theme_, {{this, &Theme::th_form_back}}); }

void Form5::mark_selection() {
    for (std::size_t k = 0; k < opcija.size(); ++k) {
        mark_list_entry(opcija[k], static_cast<std::int32_t>(k) + 1 == devindex, theme_);
    }
}

void Form5::opcija_Click(int i) {
    devindex = i;
    mark_selection();
}

void Form5::opcija_DblClick(int i) {
    opcija_Click(i);
    Command1_Click();
}

void Form5::Command1_Click() {
    hide();
    QCoreApplication::processEvents();
    if (devindex == oldindex) {
        done(Accepted);
        return;
    }
    // A model whose data the program cannot use is refused before anything
    // is stored: the list and the buffers stay with the model selected.
    const std::string fault = select_device(devices_, devindex, cur_);
    if (!fault.empty()) {
        devindex = oldindex;
        msgbox_(fault, box_error);
        done(Rejected);
        return;
    }
    settings_.reg_setstring(set_model, std::to_string(devindex));
    done(Accepted);
}

void Form5::Command2_Click() {
    devindex = oldindex;
    done(Rejected);
}

void Form5::closeEvent(QCloseEvent* event) {
    // The close box is Cancel: the last click is forgotten.
    devindex = oldindex;
    QDialog::closeEvent(event);
}

void Form5::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace tessaly
