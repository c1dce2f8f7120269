// How well a text stands out from what it is drawn on, reckoned as the
// accessibility guidelines do (relative luminance of the sRGB colours; 1:1
// up to 21:1, 4.5:1 the least for ordinary text), and the colours a widget's
// style sheet gives its rules.
#pragma once

#include <QColor>
#include <QImage>
#include <QRegularExpression>
#include <QString>

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

} // namespace Contrast
