// What a user reads on the windows shown: every text of every visible widget
// (labels, buttons, tooltips, titles, list entries...), for labels and
// buttons whether the text needs more room than the widget has, and for
// every button whether it is seen whole. The checks of the pages read it:
// the tests directly, the end-to-end run through the list the program
// writes on request (dumpWidgetsOnSignal).
#pragma once

#include <QList>
#include <QRect>
#include <QString>

class QModelIndex;
class QSlider;
class QWidget;

namespace WidgetTexts {

struct Entry {
    // label, button, title, tooltip, placeholder, group, item, header; and
    // control: a button whose width (need) is seen only in part (have);
    // input: any other control the mouse works (a list, a box, a slider);
    // current: the entry a box shows;
    // window: a top-level window, its text "popup" or "window"; focus: a
    // widget that took the keyboard focus (see recordFocus); handle: where a
    // slider draws its handle, its text "value minimum maximum".
    QString kind;
    QString path; // object names (or class names) from the window down
    QString text;
    QRect at;     // on the screen
    // Room the text needs and has, in pixels: the width, or the height for a
    // label that wraps its text; for an item, its cell's width against what
    // its text and icon take. Both 0 where nothing is measured.
    int need = 0;
    int have = 0;
    // The part of `at` its ancestors let show.
    QRect visible;
    bool enabled = true;
    // Tab reaches it (its focus policy).
    bool tabbed = false;
    // Which widget: the same one in two lists of one run.
    quintptr id = 0;
    bool cut() const { return need > have; }
};

// A delegate that writes its entries in words of its own (not the model's
// display text) derives from this as well, so that the lists read here say
// what the user sees.
class ShownText
{
public:
    virtual QString shownText(const QModelIndex &index) const = 0;

protected:
    ~ShownText() = default;
};

// Where the slider draws its handle, in the slider's coordinates: now, or
// when the handle stands at `position`.
QRect sliderHandle(const QSlider *slider);
QRect sliderHandle(const QSlider *slider, int position);

// The texts of `window` and of its visible descendants.
QList<Entry> collect(const QWidget *window);

// The texts of every visible top-level window.
QList<Entry> collectShown();

// Every widget that takes the keyboard focus from now on is kept, as a
// "focus" entry where it stands once the change has been dealt with, until
// takeFocused() hands them over.
void recordFocus();
QList<Entry> takeFocused();

// One line per entry: kind, cut (0 or 1), need, have, "x y w h", path,
// text, then the visible part "x y w h", "e" or "d" (enabled or not) with
// "t" when Tab reaches it, and the widget's id; separated by tabs; tabs, line
// ends and backslashes in the text written as \t, \n and \\.
QString toLines(const QList<Entry> &entries);

} // namespace WidgetTexts
