// How well a text stands out from what it is drawn on, reckoned as the
// accessibility guidelines do (relative luminance of the sRGB colours; 1:1
// up to 21:1, 4.5:1 the least for ordinary text), and the colours a widget's
// style sheet gives its rules.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace Contrast {

inline double luminance(const QColor &c)
{
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

inline double ratio(const QColor &a, const QColor &b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The lowest ratio of `text` against any pixel of `ground`.
inline double worstOver(const QColor &text, const QImage &ground)
{
    double worst = 21;
    for (int y = 0; y < ground.height(); ++y)
        for (int x = 0; x < ground.width(); ++x)
            worst = std::min(worst, ratio(text, ground.pixelColor(x, y)));
    return worst;
}

// The value of `property` in the rule of `sheet` whose selector is
// `selector` (blanks are not compared); empty when there is none.
inline QString property(const QString &sheet, const QString &selector, const QString &property)
{
    const auto bare = [](QString s) { return s.remove(QRegularExpression(QStringLiteral("\\s"))); };
    static const QRegularExpression rule(QStringLiteral("([^{}]+)\\{([^}]*)\\}"));
    for (auto m = rule.globalMatch(sheet); m.hasNext();) {
        const auto r = m.next();
        if (bare(r.captured(1)) != bare(selector))
            continue;
        for (const QString &declaration : r.captured(2).split(QLatin1Char(';'))) {
            const qsizetype colon = declaration.indexOf(QLatin1Char(':'));
            if (colon > 0 && declaration.left(colon).trimmed() == property)
                return declaration.mid(colon + 1).trimmed();
        }
    }
    return QString();
}

// A style sheet colour: "rgb(r, g, b)", "#rrggbb" or a colour name.
inline QColor colour(const QString &value)
{
    static const QRegularExpression rgb(QStringLiteral("^rgb\\(\\s*(\\d+)\\s*,\\s*(\\d+)\\s*,\\s*(\\d+)\\s*\\)$"));
    const auto m = rgb.match(value);
    if (m.hasMatch())
        return QColor(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    return QColor::fromString(value);
}

// The colour most pixels of `image` have: the ground a text is drawn on.
inline QColor ground(const QImage &image)
{
    QHash<QRgb, int> count;
    QRgb most = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y) | 0xff000000u;
            if (++count[c] > count.value(most))
                most = c;
        }
    return QColor::fromRgb(most);
}

// How far what `w` draws (a text, an icon) stands out from its ground in
// `shown`, a picture of w's window: the ink is the pixel that stands out
// most, where the drawing is in full (a style sheet's colour need not be
// the palette's).
inline double standsOut(QWidget *w, const QImage &shown)
{
    const QImage drawn = shown.copy(QRect(w->mapTo(w->window(), QPoint()), w->size()) & shown.rect());
    const QColor under = ground(drawn);
    double r = 1;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x)
            r = std::max(r, ratio(drawn.pixelColor(x, y), under));
    return r;
}

// Every visible label, line edit and button with a text under `top` whose
// text stands out from its ground by less than `least`, as "name ratio",
// measured on the window as drawn.
inline QStringList faint(QWidget *top, double least = 4.5)
{
    QStringList out;
    const QImage shown = top->window()->grab().toImage();
    for (QWidget *w : top->findChildren<QWidget *>()) {
        auto *label = qobject_cast<QLabel *>(w);
        auto *edit = qobject_cast<QLineEdit *>(w);
        auto *button = qobject_cast<QAbstractButton *>(w);
        const QString text = label ? (label->pixmap().isNull() ? label->text() : QString())
                             : edit ? edit->text()
                             : button ? button->text()
                                      : QString();
        if (!w->isVisible() || text.trimmed().isEmpty() || w->width() < 2 || w->height() < 2)
            continue;
        const double r = standsOut(w, shown);
        if (r < least)
            out << QStringLiteral("%1 \"%2\" %3").arg(w->objectName(), text.left(20)).arg(r, 0, 'f', 2);
    }
    return out;
}

} // namespace Contrast
