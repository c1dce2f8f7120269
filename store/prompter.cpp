#include "prompter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QSpacerItem>

#include <algorithm>

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

// A short text makes a narrow box, whose title bar then shows its title cut
// ("Det…Info"): the box is made wide enough for the title, with room for the
// window's own icon and buttons beside it.
void fitTitle(QMessageBox &box)
{
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    QFont bold = QApplication::font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const int wide = metrics.horizontalAdvance(box.windowTitle()) + 8 * metrics.height();
    const int most = QGuiApplication::primaryScreen()->availableGeometry().width() * 2 / 3;
    grid->addItem(new QSpacerItem(std::min(wide, most), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

void box(QMessageBox::Icon icon, const QString &title, const QString &text)
{
    if (script()) {
        script()(title, text, QMessageBox::Ok);
        return;
    }
    QMessageBox shown(icon, title, text, QMessageBox::Ok);
    fitOnScreen(shown, text);
    fitTitle(shown);
    shown.exec();
}
} // namespace

QMessageBox::StandardButton Prompter::question(const QString &title, const QString &text,
                                               QMessageBox::StandardButtons buttons)
{
    if (script())
        return script()(title, text, buttons);
    QMessageBox shown(QMessageBox::Question, title, text, buttons);
    shown.setDefaultButton(QMessageBox::NoButton);
    fitTitle(shown);
    return QMessageBox::StandardButton(shown.exec());
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
