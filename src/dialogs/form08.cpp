#include "dialogs/form08.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QStringList>
#include <QTextEdit>

#include "devices/crlf.h"
#include "devices/msgbox.h"
#include "ui/kit.h"
#include "themes/paint.h"

namespace tessaly {

namespace {

constexpr int longest_piece = 55;
const QString line_break = QString::fromLatin1(crlf);

QString break_word(const QString& word) {
    if (word.size() <= longest_piece) return word;
    const QString head = word.left(longest_piece);
    // Paths here use "/"; "\" still counts for paths typed the other way.
    qsizetype cut = std::max(head.lastIndexOf(u'/'), head.lastIndexOf(u'\\'));
    if (cut < 0) cut = head.lastIndexOf(u'_');
    if (cut < 0) return word;
    return word.left(cut + 1) + line_break + word.mid(cut + 1);
}

QLabel* make_picture(QWidget* parent, const char* name, const QString& file) {
    auto* img = new QLabel(parent);
    img->setObjectName(QString::fromLatin1(name));
    img->setPixmap(QPixmap(file));
    img->setScaledContents(true);
    place(img, 60, 60, 720, 720);
    img->hide();
    return img;
}

}  // namespace

QString wrap_long_words(const QString& text) {
    QString whole = text;
    if (whole.endsWith(line_break)) whole.chop(2);
    QStringList lines = whole.split(line_break);
    for (QString& line : lines) {
        QStringList words = line.split(u' ');
        for (QString& word : words) word = break_word(word);
        line = words.join(u' ');
    }
    return lines.join(line_break);
}

Form08::Form08(const AppInfo& app, const Theme& theme)
    : lab_title(new QLabel(this)),
      txt_title(new QTextEdit(this)),
      Command1(make_button(this, {"Command1", "OK", nullptr, 5700, 540, 855, 315})),
      Command2(make_button(this, {"Command2", "No", nullptr, 4800, 540, 855, 315})),
      img_ok(make_picture(this, "img_ok", QStringLiteral(":/icons/ok.png"))),
      img_info(make_picture(this, "img_info", QStringLiteral(":/icons/info.png"))),
      img_err(make_picture(this, "img_err", QStringLiteral(":/icons/err.png"))),
      img_ask(make_picture(this, "img_ask", QStringLiteral(":/icons/ask.png"))),
      theme_(theme) {
    setObjectName(QStringLiteral("Form08"));
    setFont(box_font());
    make_fixed_box(this, 6615, 915);
    const QString tip = QStringLiteral("Click to copy to Clipboard...");

    lab_title->setObjectName(QStringLiteral("lab_title"));
    lab_title->setFont(text_font());
    lab_title->setTextFormat(Qt::PlainText);
    lab_title->setWordWrap(true);
    lab_title->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lab_title->setToolTip(tip);
    place(lab_title, 900, 120, 5655, 315);

    txt_title->setObjectName(QStringLiteral("txt_title"));
    txt_title->setFont(text_font());
    txt_title->setReadOnly(true);
    txt_title->setFrameShape(QFrame::NoFrame);
    txt_title->setFocusPolicy(Qt::NoFocus);
    txt_title->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txt_title->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txt_title->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    txt_title->document()->setDocumentMargin(0);
    txt_title->viewport()->setCursor(Qt::ArrowCursor);
    txt_title->setToolTip(tip);
    place(txt_title, 900, 480, 1455, 315);
    txt_title->installEventFilter(this);

    new ClickWatcher(lab_title, [this] { copy_text(); });
    new ClickWatcher(txt_title->viewport(), [this] { copy_text(); });

    Command1->setDefault(true);
    Command2->hide();
    setTabOrder(Command1, Command2);
    connect(Command1, &QPushButton::clicked, this, &Form08::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form08::Command2_Click);
    Command1->setFocus();

    // Form_Load
    setWindowTitle(QString::fromStdString(app.title));
    settheme();
}

void Form08::settheme() {
    paint_theme(theme_, {
        {this, &Theme::th_form_back},
        {lab_title, &Theme::th_info_back, &Theme::th_info_fore},
        {txt_title, &Theme::th_info_back, &Theme::th_info_fore},
    });
}

void Form08::prepare_display() {
    margin = height_of(this) - top_of(Command1);

    const QString text = QString::fromStdString(dlg.dlgtext);
    lab_title->setText(display_text(wrap_long_words(text)));
    QCoreApplication::processEvents();

    // A one-line message is centred even when breaking a long word gave it
    // more lines; any line break of the caller's own keeps it to the left.
    if (!text.contains(line_break)) lab_title->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

    // The text box shows the message over the label, so its wrapped text
    // sets the height: a word too long for a line is broken anywhere rather
    // than cut off at the edge.
    txt_title->setGeometry(lab_title->geometry());
    txt_title->setPlainText(lab_title->text());
    QTextOption option = txt_title->document()->defaultTextOption();
    option.setAlignment(lab_title->alignment() & Qt::AlignHorizontal_Mask);
    txt_title->document()->setDefaultTextOption(option);
    set_height(lab_title, autosize_height(txt_title) + 60);
    txt_title->setGeometry(lab_title->geometry());

    const int buttons_top = top_of(lab_title) + height_of(lab_title) + 105;
    set_top(Command1, buttons_top);
    set_top(Command2, buttons_top);
    set_client_height(this, top_of(Command1) + margin);

    switch (dlg.dlgkind) {
    case box_plain: img_ok->show(); break;
    case box_error: img_err->show(); break;
    case box_info: img_info->show(); break;
    case box_yesno: {
        img_ask->show();
        Command2->show();
        Command1->setText(QStringLiteral("Yes"));
        const int yes_x = Command2->x();
        Command2->move(Command1->x(), Command2->y());
        Command1->move(yes_x, Command1->y());
        break;
    }
    default: break;
    }
}

void Form08::Command1_Click() {
    dlg.dlgresult = dlg.dlgkind == box_yesno ? answer_yes : answer_ok;
    QDialog::done(Accepted);
}

void Form08::Command2_Click() {
    dlg.dlgresult = answer_no;
    QDialog::done(Rejected);
}

void Form08::reject() { Command2_Click(); }

void Form08::copy_text() {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    clipboard->setText(wrap_long_words(QString::fromStdString(dlg.dlgtext)));
}

bool Form08::eventFilter(QObject* watched, QEvent* event) {
    // txt_title_GotFocus: the text box never keeps the focus.
    if (watched == txt_title && event->type() == QEvent::FocusIn) Command1->setFocus();
    return QDialog::eventFilter(watched, event);
}

}  // namespace tessaly
