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

class QWidget;

namespace WidgetTexts {

struct Entry {
    // label, button, title, tooltip, placeholder, group, item, header; and
    // control: a button whose width (need) is seen only in part (have).
    QString kind;
    QString path; // object names (or class names) from the window down
    QString text;
    QRect at;     // on the screen
    // Room the text needs and has, in pixels: the width, or the height for a
    // label that wraps its text. Both 0 where nothing is measured.
    int need = 0;
    int have = 0;
    bool cut() const { return need > have; }
};

// The texts of `window` and of its visible descendants.
QList<Entry> collect(const QWidget *window);

// The texts of every visible top-level window.
QList<Entry> collectShown();

// One line per entry: kind, cut (0 or 1), need, have, "x y w h", path and
// text, separated by tabs; tabs, line ends and backslashes in the text
// written as \t, \n and \\.
QString toLines(const QList<Entry> &entries);

} // namespace WidgetTexts
