#include "headerfit.h"

#include <QEvent>
#include <QLayout>
#include <QPushButton>

#include <utility>

namespace {

int widestLine(const QFontMetrics &metrics, const QString &text)
{
    int widest = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    return widest;
}

// What the header's layout takes for the widget at the least.
int leastWidth(const QWidget *w)
{
    return w->minimumWidth() > 0 ? w->minimumWidth() : w->minimumSizeHint().width();
}

} // namespace

HeaderFit::HeaderFit(QWidget *bar, QWidget *logo, const QList<QPushButton *> &labelled,
                     std::function<int()> namesRoom)
    : QObject(bar), m_bar(bar), m_logo(logo), m_labelled(labelled), m_namesRoom(std::move(namesRoom))
{
    for (QPushButton *b : labelled)
        m_texts.insert(b, {b->text(), {}});
    // A part that asks for another width (the song display in another
    // language) makes the bar lay itself out again.
    bar->installEventFilter(this);
}

void HeaderFit::setTexts(QPushButton *button, const QString &shown, const QStringList &all)
{
    m_texts[button] = {shown, all.isEmpty() ? QStringList{shown} : all};
    fit();
}

QString HeaderFit::folded(const QString &text)
{
    // A word that a translation may break (German's "Lautstärke") carries
    // a soft hyphen, drawn only where the word is broken.
    constexpr QChar kSoftHyphen(0x00AD);
    const qsizetype middle = text.size() / 2;
    qsizetype at = -1;
    for (qsizetype i = 1; i + 1 < text.size(); ++i) {
        if ((text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('-') || text.at(i) == kSoftHyphen)
            && (at < 0 || qAbs(i - middle) < qAbs(at - middle)))
            at = i;
    }
    if (at < 0)
        return text;
    // A hyphen stays at the end of the first line, a blank goes.
    const qsizetype second = at + 1;
    if (text.at(at) == kSoftHyphen)
        return text.left(at) + QStringLiteral("-\n") + text.mid(second);
    const qsizetype first = text.at(at) == QLatin1Char('-') ? second : at;
    return text.left(first) + QLatin1Char('\n') + text.mid(second);
}

int HeaderFit::widthFor(QPushButton *button, bool fold) const
{
    const QFontMetrics metrics(button->font());
    int widest = 0;
    for (const QString &text : m_texts.value(button).all)
        widest = qMax(widest, widestLine(metrics, fold ? folded(text) : text));
    // What the button's style puts around its text, and a little air.
    const int around = button->sizeHint().width() - widestLine(metrics, button->text());
    return qMax(around + widest, widest + button->iconSize().width() + 12);
}

void HeaderFit::fit()
{
    QLayout *layout = m_bar->layout();
    const int spacing = layout->spacing();
    // The parts that never change, the song display at its least included.
    int others = layout->minimumSize().width();
    if (!m_logo->isHidden())
        others -= leastWidth(m_logo) + spacing;
    int whole = 0;
    for (QPushButton *b : m_labelled) {
        others -= leastWidth(b);
        whole += widthFor(b, false);
    }
    // The names come first, then the labels whole, then the logo.
    const int width = m_bar->width() - m_namesRoom();
    const bool logo = others + whole + leastWidth(m_logo) + spacing <= width;
    const bool fold = !logo && others + whole > width;
    for (QPushButton *b : m_labelled) {
        const QString shown = m_texts.value(b).shown;
        b->setText(fold ? folded(shown) : shown);
        b->setMinimumWidth(widthFor(b, fold));
    }
    m_logo->setVisible(logo);
}

bool HeaderFit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_bar && (event->type() == QEvent::Resize || event->type() == QEvent::LayoutRequest))
        fit();
    return QObject::eventFilter(watched, event);
}
