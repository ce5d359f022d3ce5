// The model list: one entry per model of the device list, named after it with
// its FLASH and EEPROM sizes as tooltip, the current choice highlighted. A
// click moves the choice, a double click chooses and closes; Select stores a
// changed choice and makes it the selected device; Cancel and the close box
// leave everything as it was. More models than the list's 35 rows hold
// scroll within the list.
#pragma once

#include <cstdint>
#include <vector>

#include <QDialog>

#include "devices/device.h"
#include "devices/devicelist.h"
#include "devices/msgbox.h"
#include "devices/settings.h"
#include "themes/theme.h"

class QLabel;
class QPushButton;
class QScrollArea;

namespace tessaly {

// Rows the list shows before it scrolls: 70 models in two columns.
inline constexpr int model_list_rows = 35;

class Form5 : public QDialog {
public:
    // exec() answers Accepted after Select (the choice is then the selected
    // device), Rejected after Cancel, the close box or a model that cannot be
    // selected (told in msgbox).
    Form5(const DeviceList& list, SelectedDevice& cur, const SettingsStore& settings,
          const Theme& theme, MsgBox msgbox);

    void settheme();
    void mark_selection();
    void opcija_Click(int i);
    void opcija_DblClick(int i);
    void Command1_Click();
    void Command2_Click();

    std::int32_t devindex = 0;  // the entry chosen so far
    std::int32_t oldindex = 0;  // the selected model when the list opened
    int margin = 0;

    std::vector<QLabel*> opcija;  // opcija[i - 1] is the entry of model i
    QScrollArea* const list;
    QPushButton* const Command1;
    QPushButton* const Command2;

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();

    const DeviceList& devices_;
    SelectedDevice& cur_;
    const SettingsStore& settings_;
    const Theme& theme_;
    MsgBox msgbox_;
};

}  // namespace tessaly
