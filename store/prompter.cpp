#include "prompter.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QScreen>

namespace {
Prompter::Script &script()
{
    static Prompter::Script s;
    return s;
}

// A report listing many files (an import of a folder of them) would push the
// box and its button off the screen: its list then scrolls in the box's
// details, shown open, under the report's first paragraph.
void fitOnScreen(QMessageBox &box, const QString &text)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const int list = int(text.indexOf(QLatin1String("\n\n")));
    if (box.sizeHint().height() <= screen.height() * 2 / 3 || list < 0)
        return;
    box.setText(text.left(list));
    box.setDetailedText(text.mid(list + 2));
    for (QAbstractButton *button : box.buttons()) {
        if (box.buttonRole(button) == QMessageBox::ActionRole)
            button->click();
    }
}

void box(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    if (script()) {
        script()(title, text, QMessageBox::Ok);
        return;
    }
    QMessageBox shown(icon, title, text, QMessageBox::Ok);
    fitOnScreen(shown, text);
    shown.exec();
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
