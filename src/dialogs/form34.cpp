#include "dialogs/form34.h"

#include <algorithm>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>

#include "dialogs/listentry.h"
#include "themes/paint.h"
#include "ui/kit.h"

namespace tessaly {
namespace {

int row_top(int r) { return 120 + 300 * r; }

}  // namespace

std::vector<std::string> theme_list_names() {
    std::vector<std::string> names;
    for (const ThemeRow& row : theme_table()) names.emplace_back(row.name);
    // The table tests the two originals last; the list shows them in the middle.
    const auto originals = names.end() - 2;
    const auto after = std::find(names.begin(), originals, "Powerpuff!");
    if (after != originals) std::rotate(after + 1, originals, names.end());
    return names;
}

Form34::Form34(const SettingsStore& settings, Theme& theme, std::function<void()> form1_settheme)
    : Command1(make_button(this, {"Command1", "Select", nullptr, 3420, 7080, 1035, 375})),
      Command2(make_button(this, {"Command2", "Cancel", nullptr, 2340, 7080, 1035, 375})),
      settings_(settings),
      theme_(theme),
      form1_settheme_(std::move(form1_settheme)) {
    setObjectName(QStringLiteral("Form34"));
    setWindowTitle(QStringLiteral("Change Color Theme"));
    setFont(box_font());
    make_fixed_box(this, 4575, 7515);
    const std::vector<std::string> names = theme_list_names();
    for (int k = 0; k < theme_count; ++k) {
        QLabel* entry = make_list_entry(this, QString::fromStdString(names[k]),
                                        QStringLiteral("opcija(%1)").arg(k), k % 2, row_top(k / 2));
        new ClickWatcher(entry, [this, k] { opcija_Click(k); });
        opcija[k] = entry;
    }
    Command1->setDefault(true);
    setTabOrder(Command2, Command1);
    connect(Command1, &QPushButton::clicked, this, &Form34::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form34::Command2_Click);
    Command2->setFocus();

    // Form_Load
    settheme();
    oldthemename = theme_.themename;
    mark_selection();
}

void Form34::settheme() { paint_theme(theme_, {{this, &Theme::th_form_back}}); }

void Form34::mark_selection() {
    for (QLabel* entry : opcija) {
        mark_list_entry(entry, entry->text().toStdString() == theme_.themename, theme_);
    }
}

void Form34::opcija_Click(int k) {
    theme_.themename = opcija[static_cast<std::size_t>(k)]->text().toStdString();
    apply_stored_theme();
    settheme();
    mark_selection();
    form1_settheme_();
}

void Form34::apply_stored_theme() {
    settings_.reg_setstring(set_theme, theme_.themename);
    load_theme(settings_, theme_);
}

void Form34::Command1_Click() {
    hide();
    QCoreApplication::processEvents();
    apply_stored_theme();
    form1_settheme_();
    done(Accepted);
}

void Form34::Command2_Click() {
    theme_.themename = oldthemename;
    Command1_Click();
    setResult(Rejected);
}

void Form34::reject() { Command2_Click(); }

void Form34::closeEvent(QCloseEvent* event) {
    // Closed by the close box: the theme last clicked stays, stored.
    event->accept();
}

}  // namespace tessaly
