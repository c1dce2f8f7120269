// The header bar at every width the window may have. Where it has room for
// every part as designed and for a song's title and artist at some length,
// it shows them all; narrower, the maker's logo goes first, then the
// labelled buttons put the second half of their texts under the first, so
// that the names keep that length as long as they can; the song display
// takes what is left (title and artist cut to fit, its values whole), and
// the transport buttons keep their size.
#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>

#include <functional>

class QPushButton;
class QWidget;

class HeaderFit : public QObject
{
public:
    // bar: the header, fitted whenever its width changes; logo: the part
    // that goes first; labelled: the buttons whose texts may fold;
    // namesRoom: the width the song display wants beyond its least before
    // the labels and the logo take room.
    HeaderFit(QWidget *bar, QWidget *logo, const QList<QPushButton *> &labelled, std::function<int()> namesRoom);

    // The text the button shows and every text it may show in turn: it
    // keeps the width of the widest, so that a press moves nothing.
    void setTexts(QPushButton *button, const QString &shown, const QStringList &all = {});
    void fit();

    // The text in two lines, broken at the blank, hyphen or soft hyphen
    // (then drawn) nearest its middle; a text without any as it is.
    static QString folded(const QString &text);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Texts {
        QString shown;
        QStringList all;
    };
    // The width the button needs for every one of its texts, folded or not.
    int widthFor(QPushButton *button, bool fold) const;

    QWidget *m_bar;
    QWidget *m_logo;
    QList<QPushButton *> m_labelled;
    std::function<int()> m_namesRoom;
    QHash<QPushButton *, Texts> m_texts;
};
