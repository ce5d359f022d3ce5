// The Options and Help commands through the main window: the model change
// from the menu and the model labels, the programming time, the theme list
// and the two Help boxes.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

#include "appfixture.h"
#include "modal.h"
#include "dialogs/form05.h"
#include "dialogs/form07.h"
#include "dialogs/form08.h"
#include "dialogs/form34.h"
#include "qt_app.h"
#include "qtloop.h"
#include "themes/paint.h"
#include "view/bufferview.h"
#include "view/gridview.h"

using namespace tessaly;
using test::Started;
using tessaly::testing::while_each_shown;

namespace {

void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }

QAction* item(QMenu* menu, const char* caption) {
    for (QAction* a : menu->actions()) {
        if (a->text() == QString::fromUtf8(caption)) return a;
    }
    ADD_FAILURE() << caption;
    return nullptr;
}

// What a model change may not touch unless it goes through: the buffers,
// the grids, the scroll place, the file label and the status line.
struct Screen {
    explicit Screen(Form1& w)
        : index(w.curdevice().devindex), flash(w.chipimage().flashbuf),
          grid(w.view().tabla_flash->text()), row(w.view().scrl1->value()),
          file(w.label_hex->text()), status(w.label_status->text()) {}
    bool operator==(const Screen& o) const {
        return index == o.index && flash == o.flash && grid == o.grid && row == o.row &&
               file == o.file && status == o.status;
    }
    std::int32_t index;
    std::vector<std::int32_t> flash;
    QString grid;
    int row;
    QString file, status;
};

// A Read All's result not yet saved, shown scrolled, with its file label.
void fill(Form1& w) {
    w.chipimage().flashbuf[0x51] = 0x1234;
    w.view().scrl1->setValue(10);
    w.updatedisplay();
    w.label_hex->setText(QStringLiteral("/work/read.hex"));
    w.set_status("Chip read. 0.50");
}

TEST(ModelChange, CancelAndTheCloseBoxKeepEverything) {
    Started s("modelcancel");
    Form1& w = s.start();
    fill(w);
    const Screen before(w);
    struct Case { const char* what; QWidget* from; std::function<void(Form5*)> out; };
    const Case cases[] = {
        {"Cancel from Label1", w.Label1, [](Form5* b) { click(b->opcija[2]); click(b->Command2); }},
        {"close box from label_ime", w.view().label_ime, [](Form5* b) { click(b->opcija[2]); b->close(); }},
        {"Cancel from label_info", w.view().label_info, [](Form5* b) { click(b->Command2); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        while_each_shown({[&](QDialog* d) { c.out(static_cast<Form5*>(d)); }}, [&] { click(c.from); });
        EXPECT_TRUE(Screen(w) == before);
        EXPECT_EQ(s.settings().reg_getstring(set_model, "x"), "1");
    }
}

TEST(ModelChange, SelectStoresAChangeAndClearsTheBuffers) {
    Started s("modelselect");
    Form1& w = s.start();
    fill(w);
    w.curdevice().progtime = 5;
    while_each_shown({[](QDialog* d) { click(static_cast<Form5*>(d)->Command1); }},
               [&] { item(w.menu4, "Change Microcontroller Model")->trigger(); });
    EXPECT_EQ(w.curdevice().progtime, 5) << "the same model: not selected again";
    EXPECT_EQ(w.chipimage().flashbuf[0x51], 0x3FFF);
    EXPECT_EQ(w.view().scrl1->value(), 0);
    EXPECT_EQ(s.text(w.label_hex), "");
    EXPECT_EQ(s.text(w.label_status), "");

    while_each_shown({[](QDialog* d) { QTest::mouseDClick(static_cast<Form5*>(d)->opcija[2], Qt::LeftButton); }},
               [&] { click(w.Label1); });
    EXPECT_EQ(w.curdevice().modelname, "THREE");
    EXPECT_EQ(s.text(w.view().label_ime), "THREE");
    EXPECT_EQ(w.chipimage().flashbuf.size(), 8192u);
    EXPECT_EQ(w.view().scrl1->maximum(), 8192 / 8 - 8);
    EXPECT_EQ(s.settings().reg_getstring(set_model, "x"), "3");
}

// No box may open: one that does is closed and counted.
int boxes_opened(const std::function<void()>& call) {
    int opened = 0;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ++opened;
            box->hide();
        }
    });
    poll.start();
    call();
    test::spin_for(30);
    return opened;
}

TEST(ModelChange, RefusedWhileAnOperationRunsOrTestVppIsOn) {
    Started s("modelbusy", {2});
    Form1& w = s.start();
    ASSERT_TRUE(w.portopen());
    struct Case { const char* what; std::function<void()> start, stop; };
    const Case cases[] = {
        {"Test Vpp on", [&] { click(w.label_vpp); }, [&] { click(w.label_vpp); }},
        // Nobody answers on the line: the operation stays pending.
        {"an operation pending", [&] { click(w.Command[2]); }, [] {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.start();
        ASSERT_TRUE(w.engine().busy());
        const Screen before(w);
        for (QWidget* label : {static_cast<QWidget*>(w.Label1), static_cast<QWidget*>(w.view().label_ime),
                               static_cast<QWidget*>(w.view().label_info)}) {
            w.set_status("");
            EXPECT_EQ(boxes_opened([&] { click(label); }), 0);
            EXPECT_EQ(s.text(w.label_status), busy_text);
        }
        w.set_status("");
        EXPECT_EQ(boxes_opened([&] { w.menumodel_Click(); }), 0);
        EXPECT_EQ(s.text(w.label_status), busy_text);
        w.set_status(before.status.toStdString());
        EXPECT_TRUE(Screen(w) == before);
        c.stop();
    }
}

TEST(ProgrammingTime, Answers) {
    Started s("progtime");
    Form1& w = s.start();
    struct Case { const char* typed; int progtime; bool wrong; };
    const Case cases[] = {
        {"1", 1, false},     {"30", 30, false},   {"0.5", 7, true}, {"30.2", 7, true},
        {"2.5", 2, false},   {"3.5", 4, false},   {"12ms", 12, false}, {"fast", 7, true},
        {"", 7, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        w.curdevice().progtime = 7;
        std::string prompt, shown_default, error;
        std::vector<std::function<void(QDialog*)>> acts = {[&](QDialog* d) {
            auto* box = static_cast<Form07*>(d);
            prompt = box->lab_title->text().toStdString();
            shown_default = box->txt_input->text().toStdString();
            box->txt_input->setText(QString::fromUtf8(c.typed));
            click(box->Command1);
        }};
        if (c.wrong) {
            acts.push_back([&](QDialog* d) {
                auto* box = static_cast<Form08*>(d);
                error = box->dlg.dlgtext;
                EXPECT_FALSE(box->img_err->isHidden());
                click(box->Command1);
            });
        }
        while_each_shown(acts, [&] { item(w.menu4, "Change Default Programming Time")->trigger(); });
        EXPECT_EQ(prompt, "Enter new programming time in ms [1-30].");
        EXPECT_EQ(shown_default, "7");
        EXPECT_EQ(w.curdevice().progtime, c.progtime);
        EXPECT_EQ(error, c.wrong ? "Wrong entry!" : "");
    }
}

TEST(ThemeChange, PreviewsOnTheMainWindowAndCancelReturns) {
    Started s("themes");
    Form1& w = s.start();
    const Theme amethyst = [] { Theme t; apply_theme_row(*find_theme("Amethyst"), t); return t; }();
    const Theme lite = [] { Theme t; apply_theme_row(*find_theme("Original Lite"), t); return t; }();
    while_each_shown({[&](QDialog* d) {
        auto* box = static_cast<Form34*>(d);
        click(box->opcija[0]);
        EXPECT_EQ(back_colour(w.Label1), theme_colour(amethyst.th_model_back));
        EXPECT_EQ(back_colour(w.view().label_ime), theme_colour(amethyst.th_name_back));
        EXPECT_EQ(back_colour(w.centralWidget()), theme_colour(amethyst.th_form_back));
        EXPECT_EQ(back_colour(box), theme_colour(amethyst.th_form_back));
        EXPECT_EQ(s.settings().reg_getstring(set_theme, "x"), "Amethyst");
        click(box->Command2);
    }}, [&] { item(w.menu4, "Change Color Theme")->trigger(); });
    EXPECT_EQ(s.settings().reg_getstring(set_theme, "x"), "Original Lite");
    EXPECT_EQ(back_colour(w.Label1), theme_colour(lite.th_model_back));
    EXPECT_EQ(back_colour(w.view().label_conf[0]), theme_colour(lite.th_value_back));

    while_each_shown({[&](QDialog* d) {
        auto* box = static_cast<Form34*>(d);
        click(box->opcija[0]);
        click(box->Command1);
    }}, [&] { item(w.menu4, "Change Color Theme")->trigger(); });
    EXPECT_EQ(s.settings().reg_getstring(set_theme, "x"), "Amethyst");
    EXPECT_EQ(back_colour(w.view().lfix[0]), theme_colour(amethyst.th_caption_back));
}

// Left edge, in pixels, of each tab-separated column of a line of the box.
std::vector<qreal> column_edges(const QTextBlock& block) {
    std::vector<qreal> edges;
    const QString text = block.text();
    const QTextLine line = block.layout()->lineAt(0);
    for (int i = 0; i < text.size(); ++i) {
        if (i == 0 || text[i - 1] == u'\t') edges.push_back(line.cursorToX(i));
    }
    return edges;
}

TEST(HelpBoxes, PinoutRowsLineUpInPinOrder) {
    Started s("pinout");
    Form1& w = s.start();
    while_each_shown({[&](QDialog* d) {
        auto* box = static_cast<Form08*>(d);
        EXPECT_EQ(box->dlg.dlgkind, box_plain);
        const QString text = box->txt_title->toPlainText();
        const QStringList lines = text.split(u'\n');
        ASSERT_EQ(lines.size(), 14);
        EXPECT_EQ(lines[0], "Serial Port Pinout:");
        EXPECT_EQ(lines[2], "Pin\tSignal\tDirection");
        EXPECT_EQ(lines[3], "1\tDCD\tInput");
        EXPECT_EQ(lines[7], "5\tGND\t-");
        EXPECT_EQ(lines[11], "9\tRI\tInput");
        EXPECT_EQ(lines[13], "Directions are defined from the viewpoint of the PC.");
        const QTextBlock header = box->txt_title->document()->findBlockByNumber(2);
        const std::vector<qreal> edges = column_edges(header);
        ASSERT_EQ(edges.size(), 3u);
        for (int pin = 1; pin <= 9; ++pin) {
            const QTextBlock row = box->txt_title->document()->findBlockByNumber(2 + pin);
            EXPECT_TRUE(row.text().startsWith(QString::number(pin) + "\t"));
            EXPECT_EQ(column_edges(row), edges) << row.text().toStdString();
        }
        EXPECT_GT(edges[1], edges[0]);
        EXPECT_LE(box->txt_title->document()->size().width(), box->txt_title->width());
        click(box->Command1);
    }}, [&] { item(w.menu5, "Serial Port Pinout")->trigger(); });
}

TEST(HelpBoxes, AboutNamesTheProgramAndTheProjectsContacts) {
    Started s("about");
    Form1& w = s.start();
    while_each_shown({[&](QDialog* d) {
        auto* box = static_cast<Form08*>(d);
        const std::string& text = box->dlg.dlgtext;
        EXPECT_EQ(box->dlg.dlgkind, box_plain);
        EXPECT_EQ(text.rfind("Tessaly\r\n", 0), 0u);
        EXPECT_NE(text.find("supplied as is"), std::string::npos);
        EXPECT_NE(text.find("without any warranties"), std::string::npos);
        EXPECT_NE(text.find("https://tessaly.example/\r\n"), std::string::npos);
        EXPECT_NE(text.find("bugs@tessaly.example\r\n"), std::string::npos);
        int lines = 0;
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
        EXPECT_EQ(lines, 9);
        EXPECT_EQ(box->windowTitle().toStdString(), "Tessaly");
        click(box->Command1);
    }}, [&] { item(w.menu5, "About Tessaly")->trigger(); });
}

}  // namespace
