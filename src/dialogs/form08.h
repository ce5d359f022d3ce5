// The program's message box: a text, a picture chosen by the kind, and "OK"
// or "Yes" and "No". The box keeps its width and grows to fit its text; long
// paths are broken so that they fit; a click on the text copies it to the
// clipboard. One window per box, loaded afresh for every message.
#pragma once

#include <QDialog>
#include <QString>

#include "dialogs/appinfo.h"
#include "dialogs/dlgexchange.h"
#include "themes/theme.h"

class QLabel;
class QPushButton;
class QTextEdit;

namespace tessaly {

// Breaks every word of more than 55 characters once, after the last "/" or
// "\" within its first 55 characters, or failing that the last "_"; drops one
// final CR LF. Lines are split at CR LF and words at single blanks only.
QString wrap_long_words(const QString& text);

class Form08 : public QDialog {
    Q_OBJECT
public:
    Form08(const AppInfo& app, const Theme& theme);

    void prepare_display();
    void settheme();

    DlgExchange dlg;

    QLabel* const lab_title;
    QTextEdit* const txt_title;
    QPushButton* const Command1;
    QPushButton* const Command2;
    QLabel* const img_ok;
    QLabel* const img_info;
    QLabel* const img_err;
    QLabel* const img_ask;

public slots:
    // The box's only way out: Escape and the window's close button answer
    // as "No" does, which for the Yes/No question keeps the file.
    void reject() override;

private:
    void Command1_Click();
    void Command2_Click();
    void copy_text();
    bool eventFilter(QObject* watched, QEvent* event) override;

    const Theme& theme_;
    int margin = 0;
};

}  // namespace tessaly
