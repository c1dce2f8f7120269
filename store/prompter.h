// Questions and warnings put to the user by the store client. Message boxes
// block in their own event loop, so tests answer them through a script
// instead of clicking a window that may not exist yet.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

namespace Prompter {

// Answers a question in place of the user: gets the title, the text and the
// buttons offered, returns the button pressed.
using Script = std::function<QMessageBox::StandardButton(
    const QString &title, const QString &text, QMessageBox::StandardButtons buttons)>;

// A question box without parent and without default button.
QMessageBox::StandardButton question(const QString &title, const QString &text,
                                     QMessageBox::StandardButtons buttons);
// A warning box without parent, with an OK button.
void warning(const QString &title, const QString &text);
// An information box without parent, with an OK button.
void information(const QString &title, const QString &text);

// With a script set, no box is shown and the script answers; an empty
// script brings the boxes back.
void setScript(Script script);

} // namespace Prompter
