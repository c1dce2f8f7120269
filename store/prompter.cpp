#include "prompter.h"

namespace {
Prompter::Script &script()
{
    static Prompter::Script s;
    return s;
}

void box(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    if (script()) {
        script()(title, text, QMessageBox::Ok);
        return;
    }
    QMessageBox(icon, title, text, QMessageBox::Ok).exec();
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
    box(QMessageBox::Warning, title, text);
}

void Prompter::information(const QString &title, const QString &text)
{
    box(QMessageBox::Information, title, text);
}

void Prompter::setScript(Script s)
{
    script() = std::move(s);
}
