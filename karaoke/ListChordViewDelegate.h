// Paints one chord cell of the chord strip: the chord's name alone, or over a
// guitar or piano diagram, red and large for the current chord. The diagram
// backgrounds are the pictures ":/icon2x/guitar-tab.png" (a chord up the
// neck), ":/icon2x/guitar-tab-fr.png" (a chord at the nut) and
// ":/icon2x/piano-tab.png"; the dots are drawn over them from the picture's
// top-left corner: strings 29 pixels apart, frets 45, piano keys as in
// drawPianoChord.
#pragma once

#include "ChordsParser.h"

#include <QStyledItemDelegate>

class ViewParameter;

class ListChordViewDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int CELL_HEIGHT = 100;

    explicit ListChordViewDelegate(QObject *parent = nullptr);

    void setPlayPos(int pos) { m_playPos = pos; }
    int playPos() const { return m_playPos; }
    void setInstanceViewParam(ViewParameter *viewParam) { m_viewParam = viewParam; }
    void setChordViewSize(QSize size);
    void setSongLoaded(bool loaded) { m_songLoaded = loaded; }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    static void drawGuitarChord(QPainter *painter, int x, int y, const S_GUITAR_CHORD *diagram, bool current);
    static void drawPianoChord(QPainter *painter, int x, int y, const S_PIANO_FRAME *frame, bool current);

private:
    int m_playPos = -1;
    bool m_songLoaded = false;
    ViewParameter *m_viewParam = nullptr;
};
