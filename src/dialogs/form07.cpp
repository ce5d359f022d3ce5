#include "dialogs/form07.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/kit.h"
#include "themes/paint.h"

namespace tessaly {

Form07::Form07(const AppInfo& app, const Theme& theme)
    : lab_title(new QLabel(this)),
      txt_input(new QLineEdit(this)),
      Command1(make_button(this, {"Command1", "OK", nullptr, 3660, 960, 855, 315})),
      Command2(make_button(this, {"Command2", "Cancel", nullptr, 2760, 960, 855, 315})),
      theme_(theme) {
    setObjectName(QStringLiteral("Form07"));
    setFont(box_font());
    make_fixed_box(this, 4695, 1335);

    lab_title->setObjectName(QStringLiteral("lab_title"));
    lab_title->setFont(text_font());
    lab_title->setTextFormat(Qt::PlainText);
    lab_title->setWordWrap(true);
    lab_title->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(lab_title, 120, 120, 4455, 315);

    txt_input->setObjectName(QStringLiteral("txt_input"));
    txt_input->setFont(text_font());
    place(txt_input, 180, 540, 4335, 315);

    Command1->setDefault(true);
    setTabOrder(txt_input, Command1);
    setTabOrder(Command1, Command2);
    connect(Command1, &QPushButton::clicked, this, &Form07::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form07::Command2_Click);
    txt_input->setFocus();

    // Form_Load
    setWindowTitle(QString::fromStdString(app.title));
    settheme();
}

void Form07::settheme() {
    paint_theme(theme_, {
        {this, &Theme::th_action_back},
        {lab_title, &Theme::th_info_back, &Theme::th_info_fore},
        {txt_input, &Theme::th_value_back, &Theme::th_value_fore},
    });
}

void Form07::prepare_display() {
    margin = height_of(this) - top_of(Command1);

    lab_title->setText(display_text(QString::fromStdString(dlg.dlgtext)));
    QCoreApplication::processEvents();
    set_height(lab_title, autosize_height(lab_title) + 60);

    const int below_label = top_of(lab_title) + height_of(lab_title);
    set_top(txt_input, below_label + 105);
    set_top(Command1, below_label + 525);
    set_top(Command2, below_label + 525);
    set_client_height(this, top_of(Command1) + margin);

    txt_input->setText(QString::fromStdString(dlg.dlgvalue));
    txt_input->selectAll();
}

void Form07::Command1_Click() {
    dlg.dlgvalue = txt_input->text().toStdString();
    QDialog::done(Accepted);
}

void Form07::Command2_Click() {
    dlg.dlgvalue.clear();
    QDialog::done(Rejected);
}

void Form07::reject() { Command2_Click(); }

void Form07::closeEvent(QCloseEvent* event) {
    // Closed by the window's close button: the answer stays the default.
    // Accepting the close hides the box, which ends its modal wait.
    event->accept();
}

}  // namespace tessaly
