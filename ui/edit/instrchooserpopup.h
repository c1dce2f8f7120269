// The instrument chooser of a channel strip: the 16 General MIDI families and
// the instruments of the pressed one, or every drum kit for a drum channel.
// It lists one snapshot of the live name tables, so the index of a chosen
// item always names a row of the table it was listed from. A click chooses
// and closes it; the rest of a double-click is eaten, not given to what lay
// beneath the chooser.
#pragma once

#include "MIDI_const.h"

#include <QPointF>
#include <QStandardItemModel>
#include <QWidget>

namespace Ui {
class InstrChooserPopup;
}

class InstrChooserPopup : public QWidget
{
    Q_OBJECT

public:
    InstrChooserPopup(QWidget *parent, bool drumMode);
    ~InstrChooserPopup() override;

    // Shows the channel's instrument (or kit), named as the strip names it,
    // chosen in its family and in sight.
    void markCurrent(const QString &name);

signals:
    void instrChanged(const GS_INSTRUMENT_NAME *row);
    void dkChanged(const GS_DRUM_KIT_NAME *row);

private slots:
    // Lists the instruments of family row f: programs 8f to 8f + 7, every bank.
    void listFamily(const QModelIndex &index);
    void chooseInstrument(const QModelIndex &index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void addItem(const char *name, int index);

    Ui::InstrChooserPopup *ui;
    const GS_NAME_TABLES *m_tables;
    bool m_drumMode;
    QStandardItemModel m_families;
    QStandardItemModel m_items;
    // The last release of the left button on the instruments, on the screen
    // and in the window system's time.
    QPointF m_releasedAt;
    quint64 m_releasedTime = 0;
};
