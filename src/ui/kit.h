// The small widget kit every window builds from. Windows are measured in
// twips, 15 to a pixel, and laid out absolutely; a word-wrapping label keeps
// its width and takes the height of its text, and everything below it moves
// with it. Also the fonts that stand in for the windows' own, the label and
// button makers that build a control from its row of a window's table, and
// the click watcher.
#pragma once

#include <functional>

#include <QFont>
#include <QObject>
#include <QString>

class QDialog;
class QLabel;
class QPushButton;
class QTextEdit;
class QWidget;

namespace tessaly {

inline constexpr int twips_per_pixel = 15;

int to_px(int twips);
int to_twips(int px);

// Places a control; all lengths in twips from the client area's top left.
void place(QWidget* control, int left, int top, int width, int height);
void set_top(QWidget* control, int top);
void set_height(QWidget* control, int height);
int top_of(const QWidget* control);
int height_of(const QWidget* control);

// One control of a window as laid out: its name (also its object name), its
// caption and tooltip (nullptr: none) and its place in twips.
struct ControlRow {
    const char* name;
    const char* caption;
    const char* tip;
    int left, top, width, height;
};

// Names a control after its row, gives it the row's tooltip and places it.
void place(QWidget* control, const ControlRow& row);

// A label that paints its own background, so a theme can colour it.
QLabel* make_label(QWidget* parent, const ControlRow& row, const QFont& font);
// The same for a list entry or a caption made at run time: centred or not,
// one line high.
QLabel* make_label(QWidget* parent, const QString& caption, int left, int top, int width,
                   const QFont& font);

// A push button in the window font; every window's buttons come from here.
QPushButton* make_button(QWidget* parent, const ControlRow& row);

// The window font (buttons) and the font of the message or prompt text.
QFont box_font();
QFont text_font();

// A fixed-size box without minimise and maximise buttons, client area in twips.
void make_fixed_box(QDialog* box, int width, int height);
void set_client_height(QDialog* box, int height);

// The height, in twips, that the label's text takes when wrapped at the
// label's width: its automatic size. An empty text still takes one line.
int autosize_height(const QLabel* label);

// The same for a text box's whole text at the box's width.
int autosize_height(QTextEdit* box);

// Shows the lines of a text that breaks them with CR LF pairs.
QString display_text(const QString& text);

// Runs a function on every left-button click on the watched widget, and
// another, when given, on a left-button double click. A double click is seen
// as a click and then the double click, as the user made them.
class ClickWatcher : public QObject {
public:
    ClickWatcher(QWidget* watched, std::function<void()> onclick,
                 std::function<void()> ondoubleclick = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void()> onclick_;
    std::function<void()> ondoubleclick_;
    bool afterdouble_ = false;  // the release that ends a double click
};

}  // namespace tessaly
