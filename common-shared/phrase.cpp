#include "phrase.h"

#include <QCoreApplication>

#include <map>

Phrase Phrase::verbatim(const QString &text)
{
    Phrase p;
    p.m_verbatim = text;
    return p;
}

Phrase Phrase::arg(const Phrase &value) const
{
    Phrase p = *this;
    p.m_values << value;
    return p;
}

QString Phrase::text() const
{
    const QString base = m_source ? QCoreApplication::translate(m_context, m_source) : m_verbatim;
    if (m_values.isEmpty())
        return base;
    // The markers %1 to %99, each where it stands.
    struct Marker { qsizetype at, length; int number; };
    QList<Marker> markers;
    for (qsizetype i = 0; i + 1 < base.size(); ++i) {
        if (base[i] != u'%' || !base[i + 1].isDigit())
            continue;
        const bool two = i + 2 < base.size() && base[i + 2].isDigit();
        const int number = two ? base[i + 1].digitValue() * 10 + base[i + 2].digitValue() : base[i + 1].digitValue();
        markers.append({i, two ? 3 : 2, number});
    }
    // All values in one pass, the lowest marker taking the first, as
    // QString's arg with several values does: a value holding "%2" (a
    // title) is not filled by the next one.
    std::map<int, qsizetype> value;
    for (const Marker &m : markers)
        value[m.number];
    qsizetype next = 0;
    for (auto &[number, index] : value)
        index = next++;
    QString out;
    qsizetype from = 0;
    for (const Marker &m : markers) {
        const qsizetype index = value.at(m.number);
        if (index >= m_values.size())
            continue;
        out += QStringView(base).mid(from, m.at - from);
        out += m_values[index].text();
        from = m.at + m.length;
    }
    out += QStringView(base).mid(from);
    return out;
}
