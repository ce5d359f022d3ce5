// The program's input box: a prompt and a one-line entry field holding the
// default text, selected so that typing replaces it. "OK" answers the text as
// typed, "Cancel" and Escape an empty text, the window's close button the
// default unchanged. One window per question, loaded afresh each time.
#pragma once

#include <QDialog>

#include "dialogs/appinfo.h"
#include "dialogs/dlgexchange.h"
#include "themes/theme.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace tessaly {

class Form07 : public QDialog {
    Q_OBJECT
public:
    Form07(const AppInfo& app, const Theme& theme);

    void prepare_display();
    void settheme();

    DlgExchange dlg;

    QLabel* const lab_title;
    QLineEdit* const txt_input;
    QPushButton* const Command1;
    QPushButton* const Command2;

public slots:
    void reject() override;  // Escape: as "Cancel"

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Command1_Click();
    void Command2_Click();

    const Theme& theme_;
    int margin = 0;
};

}  // namespace tessaly
