#include "dialogs/boxes.h"

#include <QTimer>

#include "dialogs/form07.h"
#include "dialogs/form08.h"

namespace tessaly {
namespace {

// How often a standing box asks whether it is still wanted.
constexpr int withdraw_poll_ms = 50;

}  // namespace

Boxes::Boxes(const AppInfo& app, const Theme& theme) : app_(app), theme_(theme) {}

int Boxes::show_msgbox(const std::string& text, int kind, const std::function<bool()>& withdrawn) const {
    Form08 box(app_, theme_);
    QTimer poll;
    if (withdrawn) {
        QObject::connect(&poll, &QTimer::timeout, &box, [&] {
            if (withdrawn()) box.done(QDialog::Rejected);
        });
        poll.start(withdraw_poll_ms);
    }
    box.dlg.dlgtext = text;
    box.dlg.dlgkind = kind;
    // Should the wait end without a button (the program quitting), the
    // Yes/No question must not read as Yes.
    box.dlg.dlgresult = answer_no;
    box.prepare_display();
    box.exec();
    return box.dlg.dlgresult;
}

std::string Boxes::show_inputbox(const std::string& prompt, const std::string& def) const {
    Form07 box(app_, theme_);
    box.dlg.dlgtext = prompt;
    box.dlg.dlgvalue = def;
    box.prepare_display();
    box.exec();
    return box.dlg.dlgvalue;
}

MsgBox Boxes::msgbox() const {
    return [this](const std::string& text, int kind) { return show_msgbox(text, kind); };
}

}  // namespace tessaly
