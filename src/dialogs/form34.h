// The theme list: the 46 themes by name in two columns. A click applies the
// theme at once to the list and the main window and stores it; Select keeps
// the theme last clicked, Cancel (and Escape) returns to the theme of the
// moment the list opened, the close box keeps the last click.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include <QDialog>

#include "devices/settings.h"
#include "themes/theme.h"

class QLabel;
class QPushButton;

namespace tessaly {

// The theme names in the list's order: the theme table's, with "Original
// Dark" and "Original Lite" after "Powerpuff!".
std::vector<std::string> theme_list_names();

class Form34 : public QDialog {
public:
    // form1_settheme repaints the main window after every change.
    Form34(const SettingsStore& settings, Theme& theme, std::function<void()> form1_settheme);

    void settheme();
    void mark_selection();
    void opcija_Click(int k);  // k: 0-based place in theme_list_names()
    void Command1_Click();
    void Command2_Click();

    std::string oldthemename;
    std::array<QLabel*, theme_count> opcija{};
    QPushButton* const Command1;
    QPushButton* const Command2;

public slots:
    void reject() override;  // Escape: as "Cancel"

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void apply_stored_theme();

    const SettingsStore& settings_;
    Theme& theme_;
    std::function<void()> form1_settheme_;
};

}  // namespace tessaly
