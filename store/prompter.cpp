#include "prompter.h"

namespace {
Prompter::Script &script()
{
    static Prompter::Script s;
    return s;
}
} // namespace

QMessageBox::StandardButton Prompter::question(const QString &title, const QString &text,
                                               QMessageBox::StandardButtons buttons)
{
    if (script())
        return script()(title, text, buttons);
    return QMessageBox::question(nullptr, title, text, buttons, QMessageBox::NoButton);
}

void Prompter::warning(const QString &title, const QString &text)
{
    if (script()) {
        script()(title, text, QMessageBox::Ok);
        return;
    }
    QMessageBox::warning(nullptr, title, text, QMessageBox::Ok);
}

void Prompter::setScript(Script s)
{
    script() = std::move(s);
}
