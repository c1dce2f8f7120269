// A text for the user kept as what it says rather than as the words of one
// language: a message still on screen when the user chooses another language
// is told again in it. Its values may be phrases of their own (a reason
// inside a sentence) or texts no catalogue holds (a song's title, the
// store's own words).
#pragma once

#include <QList>
#include <QString>

class Phrase
{
public:
    Phrase() = default;
    // A catalogue text, as tr() takes it in `context` (the class's name).
    // Both pointers must live as long as the program: string literals.
    Phrase(const char *context, const char *source) : m_context(context), m_source(source) {}
    // A text said as it is, in every language.
    static Phrase verbatim(const QString &text);

    // The next %N of the text, lowest first, as QString::arg fills them.
    Phrase arg(const Phrase &value) const;
    Phrase arg(const QString &value) const { return arg(verbatim(value)); }
    Phrase arg(qint64 value) const { return arg(verbatim(QString::number(value))); }

    // The text in the language now loaded.
    QString text() const;
    bool isEmpty() const { return !m_source && m_verbatim.isEmpty(); }

private:
    const char *m_context = nullptr;
    const char *m_source = nullptr;
    QString m_verbatim;
    QList<Phrase> m_values;
};
